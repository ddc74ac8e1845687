#pragma once

#include <QDateTime>
#include <QString>

// A file of the user's that the program cannot read is never overwritten: it is renamed to
// "<name>.unreadable-<UTC time>" next to itself, so what it held can still be recovered by
// hand. Returns the new path, or empty when the file could not be moved (then it must not be
// replaced either). Logs the move.
QString keepUnreadableFileAside(const QString &path, const QDateTime &now = QDateTime::currentDateTimeUtc());

// Says once that saving a file fails, and once that it works again, instead of at every write.
class SaveFailureLog {
public:
    explicit SaveFailureLog(QString what)
        : m_what(std::move(what))
    { }
    void note(bool saved, const QString &path, const QString &reason = {});
    bool failing() const { return m_failing; }

private:
    QString m_what;
    bool m_failing = false;
};
