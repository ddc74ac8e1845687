#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <optional>
#include <utility>

// What the desktop's portals send us, read without trusting its shapes: a portal is another
// program, and a value of an unexpected type must read as nothing, never as a crash.

// One entry of the portal's a(sa{sv}) shortcut lists: an id and its properties
// ("description", "preferred_trigger", "trigger_description").
struct PortalShortcutEntry {
    QString id;
    QVariantMap properties;
    friend bool operator==(const PortalShortcutEntry &, const PortalShortcutEntry &) = default;
};
QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcutEntry &entry);
const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcutEntry &entry);
void registerPortalShortcutTypes();

// An object path, or a string standing for one (older portals); empty for anything else.
QString portalObjectPath(const QVariant &value);
// A shortcut list as received; empty for a value of any other type.
QList<PortalShortcutEntry> portalShortcutEntries(const QVariant &value);
// The session and the shortcut id that Activated, Deactivated (and ShortcutsChanged, with its
// list) begin with.
std::optional<std::pair<QString, QString>> portalSessionAndShortcut(const QList<QVariant> &arguments);
// The local file a Screenshot response's "uri" names; nothing for another scheme or type.
std::optional<QString> portalScreenshotFile(const QVariantMap &results);
// Whether the permission store's Lookup answer (its a{sas} table) says "no" for one of `ids`.
bool portalPermissionDenied(const QVariant &table, const QStringList &ids);

Q_DECLARE_METATYPE(PortalShortcutEntry)
