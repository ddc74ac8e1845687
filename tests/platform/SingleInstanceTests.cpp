#include "fakes/PrivateBus.h"
#include "fakes/ScopedEnv.h"
#include "platform/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(SingleInstanceTest, TheFirstOwnsTheNameAndASecondStartAsksIt_WithItsLaunchToken)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
    auto first = std::make_unique<SingleInstance>(bus.connect(u"first"_s));
    SingleInstance second(bus.connect(u"second"_s));
    EXPECT_FALSE(second.forward(u"capture-text"_s)); // nobody to ask yet
    ASSERT_TRUE(first->becomePrimary());
    EXPECT_FALSE(second.becomePrimary());

    QSignalSpy activated(first.get(), &SingleInstance::activateRequested);
    QSignalSpy actions(first.get(), &SingleInstance::actionRequested);
    // `glyphwell` again, then `glyphwell --capture` and the others.
    EXPECT_TRUE(second.forward(QString()));
    for (const QString &action : SingleInstance::actionNames)
        EXPECT_TRUE(second.forward(action)) << action.toStdString();
    EXPECT_FALSE(second.forward(u"format-disk"_s));
    // An unknown name is quoted in the error, not sent back whole.
    QDBusMessage call = QDBusMessage::createMethodCall(SingleInstance::serviceName,
        SingleInstance::objectPath, u"org.freedesktop.Application"_s, u"ActivateAction"_s);
    call << QString(4 << 20, QLatin1Char('x')) << QVariantList() << QVariantMap();
    const QDBusMessage reply = bus.connect(u"caller"_s).call(call, QDBus::BlockWithGui, 20'000);
    EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
    EXPECT_LT(reply.errorMessage().size(), 100) << reply.errorMessage().left(100).toStdString();
    EXPECT_EQ(activated.count(), 1);
    ASSERT_EQ(actions.count(), SingleInstance::actionNames.size());
    EXPECT_EQ(actions.at(0).at(0).toString(), u"capture-text"_s);

    // The launch's token goes along, so the running window may take the focus: the X11 startup
    // id where there is one, the Wayland activation token otherwise.
    for (const auto &[startupId, activationToken, expected] :
        { std::tuple { "", "", "" }, { "", "wl-token-1", "wl-token-1" }, { "host_TIME42", "", "host_TIME42" },
            { "same", "same", "same" } }) {
        SCOPED_TRACE(expected);
        const ScopedEnv launch("DESKTOP_STARTUP_ID", startupId);
        const ScopedEnv token("XDG_ACTIVATION_TOKEN", activationToken);
        activated.clear();
        actions.clear();
        EXPECT_TRUE(second.forward(QString()));
        EXPECT_TRUE(second.forward(u"capture-text"_s));
        ASSERT_EQ(activated.count(), 1);
        ASSERT_EQ(actions.count(), 1);
        EXPECT_EQ(activated.at(0).at(0).toString(), QLatin1String(expected));
        EXPECT_EQ(actions.at(0).at(1).toString(), QLatin1String(expected));
    }

    // Once the first is gone, the next start is the running one.
    first.reset();
    EXPECT_TRUE(second.becomePrimary());
    SingleInstance third(bus.connect(u"third"_s));
    EXPECT_FALSE(third.becomePrimary());
}

} // namespace
