#include "PortalVersions.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>

std::optional<uint> portalInterfaceVersion(
    const QDBusConnection &bus, const QString &interface, PortalPatience patience)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    call << interface << QStringLiteral("version");
    // Activating the portal can take a moment on a fresh session; a hung one must not hang us.
    QDBusMessage reply = bus.call(call, QDBus::Block, int(patience.first.count()));
    // Silence is not absence: xdg-desktop-portal answers nothing for up to 10 s while it waits
    // on PipeWire as a session starts, just when a program launched at login asks. An absent
    // portal or interface answers at once with an error.
    const QDBusError silence(reply);
    if (silence.type() == QDBusError::NoReply || silence.type() == QDBusError::Timeout)
        reply = bus.call(call, QDBus::Block, int(patience.busy.count()));
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
