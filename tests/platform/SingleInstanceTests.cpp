#include "fakes/PrivateBus.h"
#include "platform/SingleInstance.h"

#include <QDBusConnection>
#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {


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
