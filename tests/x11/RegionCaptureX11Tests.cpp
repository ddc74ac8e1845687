#include "XTestInput.h"
#include "app/AppState.h"
#include "app/Preferences.h"
#include "capture/OCRService.h"
#include "capture/OCRServiceError.h"
#include "capture/RegionCaptureOverlay.h"
#include "capture/RegionCaptureOverlayController.h"
#include "capture/ScreenList.h"
#include "capture/TesseractEngine.h"
#include "capture/ZXingBarcodeEngine.h"
#include "capture/x11/X11ScreenAccess.h"
#include "capture/x11/X11ScreenGrabber.h"
#include "fakes/FakeScreenList.h"
#include "fakes/FakeServices.h"
#include "platform/AppActivation.h"
#include "platform/InMemoryUserDefaults.h"
#include "platform/LoginItem.h"
#include "platform/QtPasteboard.h"
#include "platform/loader/PlatformLoader.h"

#include <QApplication>
#include <QClipboard>
#include <QCoro/QCoroFuture>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

const QString cancelledText = QStringLiteral("Screen capture was cancelled before an image was produced.");
const QRect textWindowGeometry(200, 200, 760, 120);

// Black 36 px text on white in a window of its own, where the test expects it.
std::unique_ptr<QLabel> showTextWindow(const QString &text)
{
    auto label = std::make_unique<QLabel>(text);
    label->setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    label->setAutoFillBackground(true);
    QFont font = label->font();
    font.setPixelSize(36);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(textWindowGeometry);
    label->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(label.get()));
    QTest::qWait(100);
    return label;
}

// A light-coloured window over the whole screen, standing in for a desktop background (the
// bare Xvfb root is black, and black stays black when dimmed).
std::unique_ptr<QWidget> showDesktop()
{
    auto desktop = std::make_unique<QWidget>();
    desktop->setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    QPalette palette = desktop->palette();
    palette.setColor(QPalette::Window, QColor(120, 170, 220));
    desktop->setPalette(palette);
    desktop->setAutoFillBackground(true);
    desktop->setGeometry(0, 0, 1920, 1080);
    desktop->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(desktop.get()));
    return desktop;
}

QImage liveRootImage(QRect area)
{
    X11Grab grab = grabRootRects({ area }, X11GrabMethod::getImage);
    return grab.images.empty() ? QImage() : grab.images.front();
}

struct SelectionRun {
    bool done = false;
    std::optional<QRectF> rect;
    std::optional<QString> error;
};

QCoro::Task<> runSelection(RegionSelector *selector, SelectionRun *run)
{
    try {
        auto selection = selector->selectRegion();
        run->rect = co_await selection;
    } catch (const CaptureError &error) {
        run->error = error.localizedDescription();
    }
    run->done = true;
}

struct CaptureRun {
    bool done = false;
    QImage image;
    std::optional<QString> error;
};

QCoro::Task<> runCapture(ScreenGrabber *grabber, QRectF rect, CaptureRun *run)
{
    try {
        auto capture = grabber->captureRegion(rect);
        run->image = co_await capture;
    } catch (const CaptureError &error) {
        run->error = error.localizedDescription();
    }
    run->done = true;
}

QImage captureNow(ScreenGrabber &grabber, QRectF rect, std::optional<QString> *error = nullptr)
{
    CaptureRun run;
    runCapture(&grabber, rect, &run);
    EXPECT_TRUE(QTest::qWaitFor([&] { return run.done; }, 10000));
    if (error)
        *error = run.error;
    return run.image;
}

// Waits until the overlay is painted and holds the pointer and the keyboard.
bool waitForOverlay(RegionCaptureOverlayController &controller)
{
    return QTest::qWaitFor(
               [&] {
                   return controller.overlayWindow() && controller.overlayWindow()->isVisible()
                       && controller.hasInputGrab();
               },
               10000)
        && QTest::qWaitForWindowExposed(controller.overlayWindow()) && (QTest::qWait(100), true);
}

bool sameColour(QRgb a, QRgb b)
{
    return (a & 0xffffff) == (b & 0xffffff);
}

// How many of the pixels differ.
int differingPixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return a.width() * a.height() + 1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += sameColour(a.pixel(x, y), b.pixel(x, y)) ? 0 : 1;
    return count;
}

class RegionCaptureX11 : public ::testing::Test {
protected:
    XTestInput input;
    QtScreenList screens;
    X11ScreenGrabber grabber { screens };
    std::unique_ptr<RegionCaptureOverlayController> controller
        = std::make_unique<RegionCaptureOverlayController>(grabber, screens);

    void SetUp() override
    {
        ASSERT_TRUE(input.isValid());
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        // Out of the way of the text window.
        input.moveTo(1800, 1000);
    }

    void TearDown() override
    {
        controller.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

TEST_F(RegionCaptureX11, QtSeesTheXvfbScreen)
{
    const std::vector<ScreenInfo> list = screens.displays();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].geometry, QRectF(0, 0, 1920, 1080));
    EXPECT_EQ(list[0].scale, 1.0);
    EXPECT_EQ(list[0].nativeRect(), QRect(0, 0, 1920, 1080));
}

TEST_F(RegionCaptureX11, LiveGrab_ReadsTheWindowsPixels_WithAndWithoutSharedMemory)
{
    auto window = showTextWindow(QStringLiteral("Glyphwell"));
    const X11Grab shm = grabRootRects({ textWindowGeometry }, X11GrabMethod::sharedMemory);
    const X11Grab plain = grabRootRects({ textWindowGeometry }, X11GrabMethod::getImage);
    EXPECT_TRUE(shm.usedSharedMemory);
    EXPECT_FALSE(plain.usedSharedMemory);
    ASSERT_EQ(shm.images.size(), 1u);
    ASSERT_EQ(plain.images.size(), 1u);
    ASSERT_EQ(plain.images[0].size(), textWindowGeometry.size());
    EXPECT_EQ(differingPixels(shm.images[0], plain.images[0]), 0);
    // The corners of the window are its white background; the middle holds dark text.
    EXPECT_TRUE(sameColour(plain.images[0].pixel(2, 2), qRgb(255, 255, 255)));
    int dark = 0;
    for (int x = 0; x < plain.images[0].width(); ++x)
        dark += qGray(plain.images[0].pixel(x, 60)) < 100 ? 1 : 0;
    EXPECT_GT(dark, 10);

    // Without a frozen frame captureRegion reads the screen as it is.
    const QImage captured = captureNow(grabber, QRectF(textWindowGeometry));
    EXPECT_EQ(differingPixels(captured, plain.images[0]), 0);
    EXPECT_TRUE(grabber.lastGrabUsedSharedMemory());
}

TEST_F(RegionCaptureX11, LiveGrab_BeyondTheRootWindowIsBlack)
{
    auto window = showTextWindow(QStringLiteral("Glyphwell"));
    const QImage image = captureNow(grabber, QRectF(1900, 1060, 40, 40));
    ASSERT_EQ(image.size(), QSize(40, 40));
    EXPECT_TRUE(sameColour(image.pixel(30, 30), qRgb(0, 0, 0)));
    EXPECT_TRUE(sameColour(image.pixel(5, 5), liveRootImage(QRect(1905, 1065, 1, 1)).pixel(0, 0)));
}

TEST_F(RegionCaptureX11, NoScreens_CaptureFailsWithNoCapturedImage)
{
    FakeScreenList none;
    X11ScreenGrabber empty(none);
    std::optional<QString> error;
    const QImage image = captureNow(empty, QRectF(0, 0, 50, 50), &error);
    EXPECT_TRUE(image.isNull());
    EXPECT_EQ(error, errorDescription(OCRServiceError::noCapturedImage));
}

TEST_F(RegionCaptureX11, MidDragScreenshot_ShowsTheDimmedDesktopWithTheTextClearInTheHole)
{
    auto desktop = showDesktop();
    auto window = showTextWindow(QStringLiteral("Glyphwell reads 42 apples"));
    const QImage before = liveRootImage(QRect(0, 0, 1920, 1080));
    ASSERT_FALSE(before.isNull());

    SelectionRun run;
    runSelection(controller.get(), &run);
    ASSERT_TRUE(waitForOverlay(*controller));

    // The text in the middle of the window; white of the window is left on every side.
    const QRect hole(QPoint(330, 215), QPoint(829, 304));
    input.moveTo(hole.left(), hole.top());
    input.press();
    input.moveTo(500, 250);
    input.moveTo(hole.right() + 1, hole.bottom() + 1, 200);
    ASSERT_EQ(controller->selection().selectionRect(), QRectF(hole.left(), hole.top(), 500, 90));

    // The screenshot is taken by another client while the button is held.
    const QString path = QDir(QCoreApplication::applicationDirPath())
                             .absoluteFilePath(QStringLiteral("../overlay-mid-drag.png"));
    QFile::remove(path);
    ASSERT_EQ(QProcess::execute(
                  QStringLiteral("import"), { QStringLiteral("-window"), QStringLiteral("root"), path }),
        0);
    QImage shot(path);
    ASSERT_FALSE(shot.isNull());
    shot = shot.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shot.size(), before.size());

    int insideChecked = 0, insideWrong = 0, outsideChecked = 0, outsideWrong = 0;
    for (int y = 0; y < shot.height(); y += 3) {
        for (int x = 0; x < shot.width(); x += 3) {
            const QRgb original = before.pixel(x, y);
            const QRgb seen = shot.pixel(x, y);
            if (hole.contains(x, y)) {
                ++insideChecked;
                insideWrong += sameColour(original, seen) ? 0 : 1;
            } else {
                ++outsideChecked;
                const bool dimmed = std::abs(qRed(seen) - qRed(original) * 0.65) <= 2.5
                    && std::abs(qGreen(seen) - qGreen(original) * 0.65) <= 2.5
                    && std::abs(qBlue(seen) - qBlue(original) * 0.65) <= 2.5;
                outsideWrong += dimmed ? 0 : 1;
            }
        }
    }
    EXPECT_GT(insideChecked, 4000);
    EXPECT_EQ(insideWrong, 0);
    EXPECT_GT(outsideChecked, 200000);
    EXPECT_EQ(outsideWrong, 0);
    // The white of the text window left of the hole: dimmed to about 65 %, not black.
    ASSERT_TRUE(sameColour(before.pixel(220, 260), qRgb(255, 255, 255)));
    const QColor dimmedWhite(shot.pixel(220, 260));
    EXPECT_NEAR(dimmedWhite.red(), 166, 3);
    EXPECT_NEAR(dimmedWhite.green(), 166, 3);
    EXPECT_NEAR(dimmedWhite.blue(), 166, 3);
    // And the text shows through the hole as it was: dark glyph pixels are there.
    int darkInHole = 0;
    for (int x = hole.left(); x <= hole.right(); ++x)
        darkInHole += qGray(shot.pixel(x, 260)) < 100 ? 1 : 0;
    EXPECT_GT(darkInHole, 10);
    const QColor dimmedDesktop(shot.pixel(1500, 800));
    EXPECT_NEAR(dimmedDesktop.red(), 120 * 0.65, 3);
    EXPECT_NEAR(dimmedDesktop.green(), 170 * 0.65, 3);
    EXPECT_NEAR(dimmedDesktop.blue(), 220 * 0.65, 3);

    input.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.done; }, 5000));
    ASSERT_EQ(run.rect, QRectF(hole.left(), hole.top(), 500, 90));

    // The capture comes from the frozen frame: exactly the desktop as it was, no dimming.
    const QImage captured = captureNow(grabber, *run.rect);
    EXPECT_FALSE(grabber.holdsFrame());
    EXPECT_EQ(differingPixels(captured, before.copy(hole)), 0);
    std::cout << "screenshot: " << QFileInfo(path).canonicalFilePath().toStdString() << std::endl;
}

TEST_F(RegionCaptureX11, EscapeKey_CancelsAndPutsEverythingAway)
{
    SelectionRun run;
    runSelection(controller.get(), &run);
    ASSERT_TRUE(waitForOverlay(*controller));
    QPointer<RegionCaptureOverlay> overlay = controller->overlayWindow();
    input.moveTo(300, 300);
    input.press();
    input.moveTo(500, 500);
    input.tapKey(0xff1b); // Escape
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.done; }, 5000));
    EXPECT_EQ(run.error, cancelledText);
    EXPECT_FALSE(overlay && overlay->isVisible());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(grabber.holdsFrame());
    input.release();

    // The pointer is free again: another client can grab it.
    XcbReply<xcb_grab_pointer_reply_t> grab(xcb_grab_pointer_reply(input.connection(),
        xcb_grab_pointer(input.connection(), 0, input.root(), XCB_EVENT_MASK_BUTTON_PRESS,
            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
        nullptr));
    ASSERT_TRUE(grab);
    EXPECT_EQ(grab->status, XCB_GRAB_STATUS_SUCCESS);
    xcb_ungrab_pointer(input.connection(), XCB_CURRENT_TIME);
    input.sync();
}

TEST_F(RegionCaptureX11, KeyboardHeldByAnotherClient_OverlayRetriesUntilItIsFree)
{
    XcbReply<xcb_grab_keyboard_reply_t> held(xcb_grab_keyboard_reply(input.connection(),
        xcb_grab_keyboard(
            input.connection(), 0, input.root(), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr));
    ASSERT_TRUE(held);
    ASSERT_EQ(held->status, XCB_GRAB_STATUS_SUCCESS);

    SelectionRun run;
    runSelection(controller.get(), &run);
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->overlayWindow() != nullptr; }, 10000));
    QTest::qWait(150);
    EXPECT_FALSE(controller->hasInputGrab());
    xcb_ungrab_keyboard(input.connection(), XCB_CURRENT_TIME);
    input.sync();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->hasInputGrab(); }, 3000));

    input.tapKey(0xff1b);
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.done; }, 5000));
    EXPECT_EQ(run.error, cancelledText);
}

TEST(PlatformLoaderX11, X11Session_GetsTheOverlayAndTheX11Grabber)
{
    Platform platform = loadPlatform(QStringLiteral("x11"));
    EXPECT_TRUE(platform.unavailableReason.isEmpty());
    EXPECT_NE(dynamic_cast<X11ScreenGrabber *>(platform.screenGrabber.get()), nullptr);
    EXPECT_NE(dynamic_cast<RegionCaptureOverlayController *>(platform.regionSelector.get()), nullptr);
    EXPECT_NE(dynamic_cast<X11ScreenAccess *>(platform.screenAccess.get()), nullptr);
    ASSERT_NE(platform.screenList, nullptr);
    EXPECT_EQ(platform.screenList->displays().size(), 1u);
}

// The whole road: AppState, the real overlay, the X11 grab, Tesseract, history and clipboard.
class CaptureWorkflowX11 : public RegionCaptureX11 {
protected:
    QTemporaryDir dir;
    InMemoryUserDefaults defaults;
    XdgAutostartLoginItem loginItem { dir.filePath(QStringLiteral("autostart/glyphwell.desktop")),
        QStringLiteral("/usr/bin/glyphwell") };
    Preferences preferences { defaults, loginItem };
    QtPasteboard pasteboard;
    FakeDialogs dialogs;
    X11ScreenAccess access;
    TesseractEngine textEngine;
    ZXingBarcodeEngine barcodeEngine;
    OCRService service { textEngine, barcodeEngine, grabber };
    AppActivation activation;
    std::unique_ptr<AppState> state;

    void SetUp() override
    {
        RegionCaptureX11::SetUp();
        PermissionService permissions(
            { QStringLiteral("/usr/bin/glyphwell"), QString(), [] { return true; } });
        state = std::make_unique<AppState>(
            AppStateServices { defaults, preferences, pasteboard, dialogs, access, *controller, service,
                activation, permissions, dir.filePath(QStringLiteral("capture-history.json")) });
    }

    void TearDown() override
    {
        state.reset();
        RegionCaptureX11::TearDown();
    }

    bool waitUntilNotCapturing()
    {
        return QTest::qWaitFor(
            [&] { return state->captureState().kind() != CaptureState::Kind::capturing; }, 60000);
    }
};

TEST_F(CaptureWorkflowX11, DragOverText_PutsItInResultHistoryAndClipboard)
{
    auto window = showTextWindow(QStringLiteral("Glyphwell reads 42 apples"));
    const QRect selection(QPoint(190, 190), QPoint(969, 329));
    const QImage before = liveRootImage(selection);

    state->startCapture();
    ASSERT_EQ(state->captureState().kind(), CaptureState::Kind::capturing);
    ASSERT_TRUE(waitForOverlay(*controller));
    input.drag(selection.topLeft(), selection.bottomRight() + QPoint(1, 1));
    ASSERT_TRUE(waitUntilNotCapturing());

    EXPECT_EQ(state->captureState().kind(), CaptureState::Kind::success)
        << state->statusMessage().toStdString();
    const QString text = state->extractedText();
    std::cout << "recognised: " << text.toStdString() << std::endl;
    EXPECT_TRUE(text.contains(QStringLiteral("Glyphwell reads 42 apples"))) << text.toStdString();
    ASSERT_FALSE(state->captureHistory().isEmpty());
    EXPECT_EQ(state->captureHistory().first().text, text);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), text);
    EXPECT_EQ(pasteboard.string(), std::optional<QString>(text));

    // The image that was read is the desktop as it was, without any trace of the overlay.
    ASSERT_TRUE(state->lastCapturedImage().has_value());
    const QImage &image = *state->lastCapturedImage();
    EXPECT_EQ(image.size(), selection.size());
    EXPECT_EQ(differingPixels(image, before), 0);
    // The window's white background stays white: nothing of the dimming got in.
    EXPECT_TRUE(sameColour(image.pixel(15, 15), qRgb(255, 255, 255)));
    EXPECT_TRUE(sameColour(image.pixel(image.width() - 15, image.height() - 15), qRgb(255, 255, 255)));
}

TEST_F(CaptureWorkflowX11, EscapeKey_EndsTheCaptureAsCancelled)
{
    auto window = showTextWindow(QStringLiteral("Glyphwell reads 42 apples"));
    state->startCapture();
    ASSERT_TRUE(waitForOverlay(*controller));
    input.tapKey(0xff1b);
    ASSERT_TRUE(waitUntilNotCapturing());
    EXPECT_EQ(state->captureState().kind(), CaptureState::Kind::failure);
    EXPECT_EQ(state->statusMessage(), cancelledText);
    EXPECT_TRUE(state->captureHistory().isEmpty());
}

} // namespace
