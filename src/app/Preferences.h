#pragma once

#include <QObject>

class UserDefaults;

// The user's settings. The clipboard settings live in the user defaults and are read by the
// capture workflow at the moment of use; every assignment is written at once.
class Preferences : public QObject {
    Q_OBJECT
public:
    explicit Preferences(UserDefaults &defaults, QObject *parent = nullptr);

    // The process-wide instance over the standard user defaults, made on first use.
    static Preferences &shared();

    bool autoCopy() const { return m_autoCopy; }
    void setAutoCopy(bool value);
    bool additiveClipboard() const { return m_additiveClipboard; }
    void setAdditiveClipboard(bool value);

Q_SIGNALS:
    // Sent before a field changes.
    void objectWillChange();

private:
    UserDefaults &m_defaults;
    bool m_autoCopy;
    bool m_additiveClipboard;
};
