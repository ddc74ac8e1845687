#include "UnreadableFile.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcFiles, "glyphwell.files", QtInfoMsg)
}

QString keepUnreadableFileAside(const QString &path, const QDateTime &now)
{
    if (!QFileInfo::exists(path))
        return {};
    // No colons: the name must also survive being copied to a FAT stick.
    const QString stem = path + QStringLiteral(".unreadable-")
        + now.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString target = stem;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = stem + QLatin1Char('-') + QString::number(n);
    if (!QFile::rename(path, target))
        return {}; // the caller's save then fails and says so
    qCWarning(lcFiles, "%s could not be read; it was kept as %s and a new one is started", qPrintable(path),
        qPrintable(target));
    return target;
}

void SaveFailureLog::note(bool saved, const QString &path, const QString &reason)
{
    if (saved == !m_failing)
        return;
    m_failing = !saved;
    if (m_failing)
        qCWarning(lcFiles,
            "Could not save the %s to %s%s%s; the previous file is left as it was, and saving is "
            "tried again at the next change",
            qPrintable(m_what), qPrintable(path), reason.isEmpty() ? "" : ": ", qPrintable(reason));
    else
        qCInfo(lcFiles, "The %s is saved to %s again", qPrintable(m_what), qPrintable(path));
}
