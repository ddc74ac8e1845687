#include "capture/OCRServiceError.h"
#include "capture/RegionSelector.h"
#include "capture/ScreenAccess.h"
#include "capture/ScreenGrabber.h"
#include "entry/PlatformLoader.h"
#include "platform/QtPasteboard.h"
#include "platform/x11/X11WindowActivation.h"

#include <QTest>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <gtest/gtest.h>

namespace {

TEST(PlatformLoader, DetectsTheSessionAndHonoursTheOverride)
{
    EXPECT_EQ(detectPlatform({ {}, QStringLiteral("x11"), {}, QStringLiteral(":0") }), QStringLiteral("x11"));
    EXPECT_EQ(
        detectPlatform({ {}, QStringLiteral("wayland"), QStringLiteral("wayland-0"), QStringLiteral(":0") }),
        QStringLiteral("wayland"));
    // No session type (a bare X server, ssh): the display decides.
    EXPECT_EQ(detectPlatform({ {}, {}, {}, QStringLiteral(":1") }), QStringLiteral("x11"));
    EXPECT_EQ(detectPlatform({ {}, QStringLiteral("tty"), QStringLiteral("wayland-1"), {} }),
        QStringLiteral("wayland"));
    EXPECT_EQ(detectPlatform({}), QStringLiteral("null"));
    EXPECT_EQ(detectPlatform({ QStringLiteral("NULL"), QStringLiteral("x11"), {}, QStringLiteral(":0") }),
        QStringLiteral("null"));
    EXPECT_EQ(detectPlatform({ QStringLiteral("x11"), QStringLiteral("wayland"), QStringLiteral("w"), {} }),
        QStringLiteral("x11"));
    // An unknown override is ignored rather than leaving the program without a platform.
    EXPECT_EQ(detectPlatform({ QStringLiteral("mir"), QStringLiteral("x11"), {}, QStringLiteral(":0") }),
        QStringLiteral("x11"));
}

TEST(PlatformLoader, NullPlatformRefusesCaptureWithAReason)
{
    Platform platform = loadPlatform(QStringLiteral("null"));
    EXPECT_EQ(platform.name, QStringLiteral("null"));
    EXPECT_FALSE(platform.unavailableReason.isEmpty());
    ASSERT_TRUE(platform.screenAccess && platform.screenGrabber && platform.regionSelector);
    ASSERT_TRUE(platform.pasteboard && platform.dialogs);
    EXPECT_FALSE(platform.screenAccess->preflight());

    bool cancelled = false;
    bool done = false;
    auto selection = [&]() -> QCoro::Task<> {
        try {
            auto task = platform.regionSelector->selectRegion();
            co_await task;
        } catch (const CaptureError &error) {
            cancelled = error.code() == OCRServiceError::captureCancelled;
        }
        done = true;
    };
    selection();
    ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 1000));
    EXPECT_TRUE(cancelled);
}

TEST(X11WindowActivationTest, TakesTheLaunchersTimeFromTheStartupId)
{
    EXPECT_EQ(X11WindowActivation::startupTimestamp(QStringLiteral("xfce4-appfinder-42-host_TIME1234567")),
        1234567u);
    // Without one: the current time.
    EXPECT_EQ(X11WindowActivation::startupTimestamp(QString()), 0u);
    EXPECT_EQ(X11WindowActivation::startupTimestamp(QStringLiteral("_TIMEsoon")), 0u);
}

} // namespace

namespace {

// A capture's text replaces the clipboard without an empty moment between, in which a paste
// would get nothing and a clipboard manager could put the old text back.
// Qt's Wayland plugin sends whatever XDG_ACTIVATION_TOKEN holds with the next activation
// request and then unsets it; here nothing sends it, so each step's value is what Qt would send.
TEST(WaylandWindowActivationTest, HandsTheTokenOverOnce_KeepsTheLaunchersOwn)
{
    const auto token = [] { return qgetenv("XDG_ACTIVATION_TOKEN"); };
    qputenv("XDG_ACTIVATION_TOKEN", "from-our-own-launch");
    WaylandWindowActivation activation;
    activation.expectActivation(QString());
    EXPECT_EQ(token(), "from-our-own-launch");
    activation.expectActivation(QStringLiteral("capture-1"));
    EXPECT_EQ(token(), "capture-1");
    // The overlay never came: the next capture, without a token, does not show that one.
    activation.expectActivation(QString());
    EXPECT_TRUE(token().isEmpty());
    activation.expectActivation(QStringLiteral("capture-2"));
    qunsetenv("XDG_ACTIVATION_TOKEN"); // as Qt does when it sends it
    qputenv("XDG_ACTIVATION_TOKEN", "another-launch");
    activation.expectActivation(QString());
    EXPECT_EQ(token(), "another-launch");
    qunsetenv("XDG_ACTIVATION_TOKEN");
}

TEST(QtPasteboardTest, ReplacingTheTextNeverLeavesTheClipboardEmpty_ALoneClearStillEmptiesIt)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    QtPasteboard pasteboard;
    pasteboard.setString(QStringLiteral("before"));
    QStringList seen;
    const QMetaObject::Connection watching = QObject::connect(clipboard, &QClipboard::dataChanged,
        [&] { seen << clipboard->text(QClipboard::Clipboard); });
    pasteboard.clearContents();
    pasteboard.setString(QStringLiteral("after"));
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, QStringList { QStringLiteral("after") });
    EXPECT_EQ(pasteboard.string(), QStringLiteral("after"));

    pasteboard.clearContents();
    EXPECT_EQ(pasteboard.string(), std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (QStringList { QStringLiteral("after"), QString() }));
    EXPECT_EQ(pasteboard.string(), std::nullopt);
    QObject::disconnect(watching);
}

} // namespace
