#include "fakes/DBusStandIn.h"
#include "fakes/PrivateBus.h"
#include "platform/AppScope.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QThread>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString appId = u"io.glyphwell.Glyphwell"_s;

// The units a portal names a program by, as xdg-desktop-portal reads them; a terminal's
// scope names the terminal, or nothing.
TEST(AppScope, UnitsAndTheApplicationIdsTheyGive)
{
    const struct {
        QByteArray cgroup;
        QString unit;
        std::optional<QString> appId;
    } rows[] = {
        { "0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
          "app-io.glyphwell.Glyphwell-4242.scope\n",
            u"app-io.glyphwell.Glyphwell-4242.scope"_s, appId },
        { "0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
          "app-gnome-io.glyphwell.Glyphwell-77.scope\n",
            u"app-gnome-io.glyphwell.Glyphwell-77.scope"_s, appId },
        { "1:name=systemd:/\n0::/user.slice/user-1000.slice/user@1000.service/app.slice/"
          "app-org.kde.konsole@x1.service\n",
            u"app-org.kde.konsole@x1.service"_s, u"org.kde.konsole"_s },
        { "0::/user.slice/user-1000.slice/user@1000.service/app.slice/vte-spawn-0a1b.scope\n",
            u"vte-spawn-0a1b.scope"_s, std::nullopt },
        { "0::/user.slice/user-1000.slice/session-2.scope\n", u"session-2.scope"_s, std::nullopt },
        { "0::/\n", QString(), std::nullopt },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.cgroup.toStdString());
        EXPECT_EQ(AppScope::unitOf(row.cgroup), row.unit);
        EXPECT_EQ(AppScope::appIdOfUnit(row.unit), row.appId);
    }
}

// Started outside a launcher, the program asks the user manager for a scope named for it,
// holding its own process; without a manager it asks nothing and goes on.
TEST(AppScope, MovesItselfIntoAScopeNamedForIt)
{
    PrivateBus daemon;
    ASSERT_FALSE(daemon.address.isEmpty());
    QDBusConnection client = daemon.connect(u"client"_s);
    EXPECT_FALSE(AppScope::moveInto(client, appId, std::chrono::milliseconds(200))); // no manager

    // The systemd user manager, as far as StartTransientUnit goes: keeps what it was asked.
    QMutex mutex;
    QString unit, mode, signature;
    QList<uint> pids;
    QDBusConnection managerBus = daemon.connect(u"systemd"_s);
    DBusStandIn systemd(managerBus, [&](const QDBusMessage &message, QDBusConnection &bus) {
        const QMutexLocker lock(&mutex);
        unit = message.arguments().value(0).toString();
        mode = message.arguments().value(1).toString();
        signature = message.signature();
        const QDBusArgument properties = message.arguments().value(2).value<QDBusArgument>();
        properties.beginArray();
        while (!properties.atEnd()) {
            QString name;
            QDBusVariant value;
            properties.beginStructure();
            properties >> name >> value;
            properties.endStructure();
            if (name == QLatin1String("PIDs"))
                pids = qdbus_cast<QList<uint>>(value.variant());
        }
        properties.endArray();
        return bus.send(
            message.createReply(QVariant::fromValue(QDBusObjectPath(u"/org/freedesktop/systemd1/job/1"_s))));
    });
    ASSERT_TRUE(managerBus.registerVirtualObject(u"/org/freedesktop/systemd1"_s, &systemd));
    QThread thread;
    thread.start();
    systemd.moveToThread(&thread);
    ASSERT_TRUE(managerBus.registerService(u"org.freedesktop.systemd1"_s));
    // The stand-in moves nothing, so the process is not seen in the scope.
    EXPECT_FALSE(AppScope::moveInto(client, appId, std::chrono::milliseconds(200)));
    const QMutexLocker lock(&mutex);
    const uint pid = uint(QCoreApplication::applicationPid());
    EXPECT_EQ(unit, u"app-io.glyphwell.Glyphwell-%1.scope"_s.arg(pid));
    EXPECT_EQ(mode, u"fail"_s);
    EXPECT_EQ(signature, u"ssa(sv)a(sa(sv))"_s);
    EXPECT_EQ(pids, QList<uint> { pid });
    managerBus.unregisterObject(u"/org/freedesktop/systemd1"_s);
    thread.quit();
    thread.wait();
}

} // namespace
