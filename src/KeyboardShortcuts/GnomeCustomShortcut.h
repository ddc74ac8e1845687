#pragma once

#include <QCoro/QCoroTask>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>

// A custom keyboard shortcut of GNOME (Settings > Keyboard > Custom Shortcuts), made or
// updated through gsettings, the desktop's own settings: where GNOME gives programs no global
// shortcuts, this is how a key runs "glyphwell --capture". gnome-settings-daemon picks the
// change up at once.
namespace GnomeCustomShortcut {

inline const QString listSchema = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");
inline const QString listKey = QStringLiteral("custom-keybindings");
inline const QString entrySchema
    = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding");
inline const QString pathPrefix
    = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom");

// Where to write: the entry whose command is a Glyphwell capture (updated in place), else the
// first free "customN" slot, appended to the list.
struct Plan {
    QString path;
    QStringList list; // the list as it is to be stored
    bool added = false;
};
Plan plan(const QStringList &paths, const std::map<QString, QString> &commands);
// Whether an entry's command runs a Glyphwell capture (any path to the program, any quoting).
bool isCaptureCommand(const QString &command);

// The GVariant text of a string array as gsettings prints it ("@as []", "['/a/', '/b/']"),
// and back. The paths hold no quotes.
QStringList parseStringArray(const QString &text);
QString formatStringArray(const QStringList &strings);
// A gsettings string value, quoted for its parser.
QString quotedString(const QString &text);

// Makes or updates the entry: name, command, binding (a GNOME accelerator such as
// "<Shift><Super>x"). Runs gsettings without blocking; the error for the user, or nothing.
QCoro::Task<std::optional<QString>> apply(QString name, QString command, QString binding);

} // namespace GnomeCustomShortcut
