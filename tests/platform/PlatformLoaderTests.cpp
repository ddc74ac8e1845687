#include "capture/OCRServiceError.h"
#include "capture/RegionSelector.h"
#include "capture/ScreenAccess.h"
#include "capture/ScreenGrabber.h"
#include "entry/PlatformLoader.h"
#include "fakes/SelectionRun.h"
#include "platform/QtPasteboard.h"
#include "platform/x11/X11WindowActivation.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// The session type, else the displays, decide; an override of ours wins unless we do not know it.
TEST(PlatformLoader, DetectsTheSessionAndHonoursTheOverride)
{
    const QString x11 = u"x11"_s, wayland = u"wayland"_s, null = u"null"_s;
    const struct {
        SessionEnvironment environment;
        QString expected;
    } rows[] {
        { { {}, x11, {}, u":0"_s }, x11 },
        { { {}, wayland, u"wayland-0"_s, u":0"_s }, wayland },
        { { {}, {}, {}, u":1"_s }, x11 }, // a bare X server, ssh
        { { {}, u"tty"_s, u"wayland-1"_s, {} }, wayland },
        { {}, null },
        { { u"NULL"_s, x11, {}, u":0"_s }, null },
        { { x11, wayland, u"w"_s, {} }, x11 },
        { { u"mir"_s, x11, {}, u":0"_s }, x11 },
    };
    for (const auto &row : rows)
        EXPECT_EQ(detectPlatform(row.environment), row.expected) << row.environment.forced.toStdString();
}

TEST(PlatformLoader, NullPlatformRefusesCaptureWithAReason)
{
    Platform platform = loadPlatform(u"null"_s);
    EXPECT_EQ(platform.name, u"null"_s);
    EXPECT_FALSE(platform.unavailableReason.isEmpty());
    ASSERT_TRUE(platform.screenAccess && platform.screenGrabber && platform.regionSelector);
    ASSERT_TRUE(platform.pasteboard && platform.dialogs);
    EXPECT_FALSE(platform.screenAccess->preflight());

    SelectionRun run;
    runSelection(platform.regionSelector.get(), &run);
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.done; }, 1000));
    EXPECT_EQ(run.error, errorDescription(OCRServiceError::captureCancelled));
}

TEST(X11WindowActivationTest, TakesTheLaunchersTimeFromTheStartupId)
{
    // Without one: 0, the current time.
    for (const auto &[id, time] : { std::pair("xfce4-appfinder-42-host_TIME1234567", 1234567u),
             std::pair("", 0u), std::pair("_TIMEsoon", 0u) })
        EXPECT_EQ(X11WindowActivation::startupTimestamp(QLatin1String(id)), time) << id;
}

// Qt's Wayland plugin sends whatever XDG_ACTIVATION_TOKEN holds with the next activation
// request and then unsets it; here nothing sends it, so each step's value is what Qt would send.
TEST(WaylandWindowActivationTest, HandsTheTokenOverOnce_KeepsTheLaunchersOwn)
{
    const auto token = [] { return qgetenv("XDG_ACTIVATION_TOKEN"); };
    qputenv("XDG_ACTIVATION_TOKEN", "from-our-own-launch");
    WaylandWindowActivation activation;
    activation.expectActivation(QString());
    EXPECT_EQ(token(), "from-our-own-launch");
    activation.expectActivation(u"capture-1"_s);
    EXPECT_EQ(token(), "capture-1");
    // The overlay never came: the next capture, without a token, does not show that one.
    activation.expectActivation(QString());
    EXPECT_TRUE(token().isEmpty());
    activation.expectActivation(u"capture-2"_s);
    qunsetenv("XDG_ACTIVATION_TOKEN"); // as Qt does when it sends it
    qputenv("XDG_ACTIVATION_TOKEN", "another-launch");
    activation.expectActivation(QString());
    EXPECT_EQ(token(), "another-launch");
    qunsetenv("XDG_ACTIVATION_TOKEN");
}

// A capture's text replaces the clipboard without an empty moment between, in which a paste
// would get nothing and a clipboard manager could put the old text back.
TEST(QtPasteboardTest, ReplacingTheTextNeverLeavesTheClipboardEmpty_ALoneClearStillEmptiesIt)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    QtPasteboard pasteboard;
    pasteboard.setString(u"before"_s);
    QStringList seen;
    const QMetaObject::Connection watching = QObject::connect(
        clipboard, &QClipboard::dataChanged, [&] { seen << clipboard->text(QClipboard::Clipboard); });
    pasteboard.clearContents();
    pasteboard.setString(u"after"_s);
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, QStringList { u"after"_s });
    EXPECT_EQ(pasteboard.string(), u"after"_s);

    pasteboard.clearContents();
    EXPECT_EQ(pasteboard.string(), std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (QStringList { u"after"_s, QString() }));
    EXPECT_EQ(pasteboard.string(), std::nullopt);
    QObject::disconnect(watching);
}

} // namespace
