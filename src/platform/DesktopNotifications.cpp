#include "DesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>

namespace {
const QString service = QStringLiteral("org.freedesktop.Notifications");
}

bool FreedesktopNotifications::notify(const QString &summary, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusConnectionInterface *daemon = bus.interface();
    if (!bus.isConnected() || !daemon)
        return false;
    // A daemon that starts on demand counts as there.
    if (!daemon->isServiceRegistered(service).value()) {
        const QDBusReply<QStringList> activatable = daemon->call(QStringLiteral("ListActivatableNames"));
        if (!activatable.isValid() || !activatable.value().contains(service))
            return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, QStringLiteral("/org/freedesktop/Notifications"), service, QStringLiteral("Notify"));
    const QVariantMap hints { { QStringLiteral("desktop-entry"), QStringLiteral("io.glyphwell.Glyphwell") },
        { QStringLiteral("urgency"), QVariant::fromValue(uchar(1)) } };
    call << QStringLiteral("Glyphwell") << uint(0) << QStringLiteral("io.glyphwell.Glyphwell") << summary
         << body << QStringList() << hints << int(-1);
    return bus.send(call);
}
