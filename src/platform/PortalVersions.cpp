#include "PortalVersions.h"

#include <QDBusMessage>
#include <QDBusVariant>

std::optional<uint> portalInterfaceVersion(const QDBusConnection &bus, const QString &interface)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    call << interface << QStringLiteral("version");
    // Activating the portal can take a moment on a fresh session; a hung one must not hang us.
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    bool ok = false;
    const uint version = reply.arguments().first().value<QDBusVariant>().variant().toUInt(&ok);
    return ok ? std::optional<uint>(version) : std::nullopt;
}

PortalVersions PortalVersions::query(const QDBusConnection &bus)
{
    if (!bus.isConnected())
        return {};
    return { portalInterfaceVersion(bus, QStringLiteral("org.freedesktop.portal.Screenshot")),
        portalInterfaceVersion(bus, QStringLiteral("org.freedesktop.portal.GlobalShortcuts")) };
}
