#include "LoginItem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

XdgAutostartLoginItem::XdgAutostartLoginItem(QString entryPath, QString executable)
    : m_entryPath(std::move(entryPath))
    , m_executable(std::move(executable))
{ }

QString XdgAutostartLoginItem::defaultEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/io.glyphwell.Glyphwell.desktop");
}

bool XdgAutostartLoginItem::isEnabled() const
{
    QFile file(m_entryPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    bool inDesktopEntry = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('['))
            inDesktopEntry = line == "[Desktop Entry]";
        else if (inDesktopEntry && line.startsWith("Hidden")) {
            const int equals = line.indexOf('=');
            if (equals > 0 && line.left(equals).trimmed() == "Hidden"
                && line.mid(equals + 1).trimmed() == "true")
                return false;
        }
    }
    return true;
}

QString XdgAutostartLoginItem::execLine(const QString &executable)
{
    // Inside a quoted argument ", `, $ and \ take a backslash; the desktop entry's own
    // string escaping then doubles every backslash, and % must be doubled for field codes.
    QString quoted;
    for (const QChar c : executable) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool XdgAutostartLoginItem::setEnabled(bool enabled)
{
    if (!enabled)
        return !QFileInfo::exists(m_entryPath) || QFile::remove(m_entryPath);

    if (!QDir().mkpath(QFileInfo(m_entryPath).absolutePath()))
        return false;
    QSaveFile file(m_entryPath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Glyphwell\n"
                                         "Comment=Read text from any part of the screen\n"
                                         "Exec=%1 --background\n"
                                         "Icon=io.glyphwell.Glyphwell\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execLine(m_executable));
    file.write(entry.toUtf8());
    return file.commit();
}
