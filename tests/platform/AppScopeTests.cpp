#include "fakes/PrivateBus.h"
#include "platform/AppScope.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QThread>
#include <gtest/gtest.h>

namespace {

const QString appId = QStringLiteral("io.glyphwell.Glyphwell");

// The units a portal names a program by, as xdg-desktop-portal reads them; a terminal's
// scope names the terminal, or nothing.
TEST(AppScope, UnitsAndTheApplicationIdsTheyGive)
{
    const struct {
        QByteArray cgroup;
        QString unit;
        std::optional<QString> appId;
    } rows[] = {
        { "0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-io.glyphwell.Glyphwell-4242.scope\n",
            QStringLiteral("app-io.glyphwell.Glyphwell-4242.scope"), appId },
        { "0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-io.glyphwell.Glyphwell-77.scope\n",
            QStringLiteral("app-gnome-io.glyphwell.Glyphwell-77.scope"), appId },
        { "1:name=systemd:/\n0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-org.kde.konsole@x1.service\n",
            QStringLiteral("app-org.kde.konsole@x1.service"), QStringLiteral("org.kde.konsole") },
        { "0::/user.slice/user-1000.slice/user@1000.service/app.slice/vte-spawn-0a1b.scope\n",
            QStringLiteral("vte-spawn-0a1b.scope"), std::nullopt },
        { "0::/user.slice/user-1000.slice/session-2.scope\n", QStringLiteral("session-2.scope"), std::nullopt },
        { "0::/\n", QString(), std::nullopt },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.cgroup.toStdString());
        EXPECT_EQ(AppScope::unitOf(row.cgroup), row.unit);
        EXPECT_EQ(AppScope::appIdOfUnit(row.unit), row.appId);
    }
}

// The systemd user manager, as far as StartTransientUnit goes: keeps what it was asked.
class FakeSystemd : public QDBusVirtualObject {
public:
    explicit FakeSystemd(QDBusConnection bus)
        : m_bus(std::move(bus))
    { }
    QMutex mutex;
    QString unit, mode, signature;
    QList<uint> pids;
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
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
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(QStringLiteral("/org/freedesktop/systemd1/job/1")))));
        return true;
    }

private:
    QDBusConnection m_bus;
};

// Started outside a launcher, the program asks the user manager for a scope named for it,
// holding its own process; without a manager it asks nothing and goes on.
TEST(AppScope, MovesItselfIntoAScopeNamedForIt)
{
    PrivateBus daemon;
    ASSERT_FALSE(daemon.address.isEmpty());
    QDBusConnection client = daemon.connect(QStringLiteral("client"));
    EXPECT_FALSE(AppScope::moveInto(client, appId, std::chrono::milliseconds(200))); // no manager

    QDBusConnection managerBus = daemon.connect(QStringLiteral("systemd"));
    FakeSystemd systemd(managerBus);
    ASSERT_TRUE(managerBus.registerVirtualObject(QStringLiteral("/org/freedesktop/systemd1"), &systemd));
    QThread thread;
    thread.start();
    systemd.moveToThread(&thread);
    ASSERT_TRUE(managerBus.registerService(QStringLiteral("org.freedesktop.systemd1")));
    // The stand-in moves nothing, so the process is not seen in the scope.
    EXPECT_FALSE(AppScope::moveInto(client, appId, std::chrono::milliseconds(200)));
    const QMutexLocker lock(&systemd.mutex);
    const uint pid = uint(QCoreApplication::applicationPid());
    EXPECT_EQ(systemd.unit, QStringLiteral("app-io.glyphwell.Glyphwell-%1.scope").arg(pid));
    EXPECT_EQ(systemd.mode, QStringLiteral("fail"));
    EXPECT_EQ(systemd.signature, QStringLiteral("ssa(sv)a(sa(sv))"));
    EXPECT_EQ(systemd.pids, QList<uint> { pid });
    managerBus.unregisterObject(QStringLiteral("/org/freedesktop/systemd1"));
    thread.quit();
    thread.wait();
}

} // namespace
