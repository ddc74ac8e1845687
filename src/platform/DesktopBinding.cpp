#include "DesktopBinding.h"

#include <QStringList>
#include <QtGlobal>

DesktopFamily desktopFamily(const QString &currentDesktop)
{
    const QStringList names = currentDesktop.toLower().split(QLatin1Char(':'), Qt::SkipEmptyParts);
    // The last names are the more general ones ("ubuntu:GNOME"); any of them will do.
    for (const QString &name : names) {
        if (name == QLatin1String("gnome"))
            return DesktopFamily::gnome;
        if (name == QLatin1String("kde"))
            return DesktopFamily::kde;
        if (name == QLatin1String("sway"))
            return DesktopFamily::sway;
    }
    return DesktopFamily::other;
}

DesktopFamily currentDesktopFamily()
{
    return desktopFamily(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
}

QString desktopBindingHint(DesktopFamily family)
{
    switch (family) {
    case DesktopFamily::gnome:
        return QStringLiteral(
            "In GNOME Settings > Keyboard > Keyboard Shortcuts > Custom Shortcuts, add one running "
            "\"glyphwell --capture\", or let Glyphwell add it: Settings > Shortcuts > Add to GNOME's "
            "keyboard shortcuts.");
    case DesktopFamily::kde:
        return QStringLiteral(
            "In KDE System Settings > Shortcuts, add a command running \"glyphwell --capture\" "
            "(Add New > Command or Script).");
    case DesktopFamily::sway:
        return QStringLiteral(
            "In sway's config (~/.config/sway/config): bindsym Mod4+Shift+x exec glyphwell --capture");
    case DesktopFamily::other:
        break;
    }
    return QStringLiteral(
        "Bind a key to the command \"glyphwell --capture\" in the desktop's keyboard settings.");
}
