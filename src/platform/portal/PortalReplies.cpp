#include "PortalReplies.h"

#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDir>
#include <QUrl>

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcutEntry &entry)
{
    argument.beginStructure();
    argument << entry.id << entry.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcutEntry &entry)
{
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.endStructure();
    return argument;
}

void registerPortalShortcutTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<PortalShortcutEntry>();
        qDBusRegisterMetaType<QList<PortalShortcutEntry>>();
        return true;
    }();
    Q_UNUSED(registered);
}

QString portalObjectPath(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    if (value.metaType() == QMetaType::fromType<QString>())
        return value.toString();
    return {};
}

namespace {

// QtDBus reads a received value as whatever type it is asked for, and libdbus crashes on a
// container read as another: the value's own signature must match before it is read.
bool hasSignature(const QVariant &value, QLatin1StringView signature)
{
    return value.metaType() == QMetaType::fromType<QDBusArgument>()
        && value.value<QDBusArgument>().currentSignature() == signature;
}

} // namespace

QList<PortalShortcutEntry> portalShortcutEntries(const QVariant &value)
{
    if (!hasSignature(value, QLatin1StringView("a(sa{sv})")))
        return {};
    return qdbus_cast<QList<PortalShortcutEntry>>(value.value<QDBusArgument>());
}

std::optional<std::pair<QString, QString>> portalSessionAndShortcut(const QList<QVariant> &arguments)
{
    if (arguments.size() < 2)
        return std::nullopt;
    return std::pair { portalObjectPath(arguments[0]), arguments[1].toString() };
}

std::optional<QString> portalScreenshotFile(const QVariantMap &results)
{
    const QUrl uri(results.value(QStringLiteral("uri")).toString());
    if (!uri.isLocalFile())
        return std::nullopt;
    const QString file = uri.toLocalFile();
    if (file.isEmpty() || !QDir::isAbsolutePath(file))
        return std::nullopt;
    return file;
}

bool portalPermissionDenied(const QVariant &table, const QStringList &ids)
{
    if (!hasSignature(table, QLatin1StringView("a{sas}")))
        return false;
    QMap<QString, QStringList> permissions;
    table.value<QDBusArgument>() >> permissions;
    for (const QString &id : ids) {
        const auto found = permissions.constFind(id);
        if (found != permissions.constEnd() && found->contains(QStringLiteral("no")))
            return true;
    }
    return false;
}
