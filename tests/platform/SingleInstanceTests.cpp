#include "platform/SingleInstance.h"

#include <QDBusConnection>
#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

// A session bus of the test's own, so nothing on the machine's bus is touched.
class PrivateBus {
public:
    PrivateBus()
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
            { QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1") });
        if (m_daemon.waitForStarted(5000) && m_daemon.waitForReadyRead(5000))
            address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString &name : std::as_const(m_names))
            QDBusConnection::disconnectFromBus(name);
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    // A connection of one process on this bus.
    QDBusConnection connect(const QString &name)
    {
        m_names.append(name);
        return QDBusConnection::connectToBus(address, name);
    }

    QString address;

private:
    QProcess m_daemon;
    QStringList m_names;
};

TEST(SingleInstanceTest, TheFirstOwnsTheNameAndASecondStartAsksIt)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
    auto first = std::make_unique<SingleInstance>(bus.connect(QStringLiteral("first")));
    SingleInstance second(bus.connect(QStringLiteral("second")));
    ASSERT_TRUE(first->becomePrimary());
    EXPECT_FALSE(second.becomePrimary());

    QSignalSpy activated(first.get(), &SingleInstance::activateRequested);
    QSignalSpy actions(first.get(), &SingleInstance::actionRequested);
    // `glyphwell` again, then `glyphwell --capture` and the others.
    EXPECT_TRUE(second.forward(QString()));
    for (const QString &action : SingleInstance::actionNames)
        EXPECT_TRUE(second.forward(action)) << action.toStdString();
    EXPECT_FALSE(second.forward(QStringLiteral("format-disk")));
    EXPECT_EQ(activated.count(), 1);
    ASSERT_EQ(actions.count(), SingleInstance::actionNames.size());
    EXPECT_EQ(actions.at(0).at(0).toString(), QStringLiteral("capture-text"));

    // Once the first is gone, the next start is the running one.
    first.reset();
    EXPECT_TRUE(second.becomePrimary());
    SingleInstance third(bus.connect(QStringLiteral("third")));
    EXPECT_FALSE(third.becomePrimary());
}

TEST(SingleInstanceTest, NothingToAskWithoutARunningInstance)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
    SingleInstance alone(bus.connect(QStringLiteral("alone")));
    EXPECT_FALSE(alone.forward(QStringLiteral("capture-text")));
}

} // namespace
