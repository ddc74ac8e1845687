#include "XTestInput.h"
#include "capture/DesktopPattern.h"
#include "capture/OCRServiceError.h"
#include "capture/RegionCaptureOverlay.h"
#include "capture/RegionCaptureOverlayController.h"
#include "capture/ScreenList.h"
#include "capture/x11/X11ScreenGrabber.h"
#include "fakes/FakeScreenList.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QRegion>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString cancelledText = u"Screen capture was cancelled before an image was produced."_s;
const QRect textWindowGeometry(200, 200, 760, 120);

// Black 36 px text on white in a window of its own, where the test expects it.
std::unique_ptr<QLabel> showTextWindow(const QString &text)
{
    auto label = std::make_unique<QLabel>(text);
    label->setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    label->setStyleSheet(u"background: white; color: black; font-size: 36px"_s);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(textWindowGeometry);
    label->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(label.get()));
    QTest::qWait(100);
    return label;
}

QImage liveRootImage(QRect area)
{
    X11Grab grab = grabRootRects({ area }, X11GrabMethod::getImage);
    return grab.images.empty() ? QImage() : grab.images.front();
}

// A coroutine of the capture path, run while the test goes on: its value or its error.
template <typename T> struct Awaited {
    bool done = false;
    std::optional<T> value;
    std::optional<QString> error;
};

// A plain function: the detached coroutine must not refer to a closure that is gone.
template <typename T> QCoro::Task<> runInto(QCoro::Task<T> task, Awaited<T> *run)
{
    try {
        run->value = co_await task;
    } catch (const CaptureError &error) {
        run->error = error.localizedDescription();
    }
    run->done = true;
}

// The same, waited for.
template <typename T> Awaited<T> finish(QCoro::Task<T> task)
{
    Awaited<T> run;
    runInto(std::move(task), &run);
    EXPECT_TRUE(QTest::qWaitFor([&] { return run.done; }, 10000));
    return run;
}

QImage captureNow(ScreenGrabber &grabber, QRectF rect)
{
    return finish(grabber.captureRegion(rect)).value.value_or(QImage());
}

// Waits until every overlay window is up and painted and the pointer and keyboard are held.
bool waitForOverlay(RegionCaptureOverlayController &controller)
{
    bool shown = false;
    const QMetaObject::Connection connection
        = QObject::connect(&controller, &RegionCaptureOverlayController::overlayShown, [&] { shown = true; });
    const bool up = QTest::qWaitFor([&] { return shown && controller.hasInputGrab(); }, 10000);
    QObject::disconnect(connection);
    if (!up)
        return false;
    for (RegionCaptureOverlay *window : controller.overlayWindows()) {
        if (!window->isVisible() || !QTest::qWaitForWindowExposed(window))
            return false;
    }
    QTest::qWait(100);
    return true;
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
        ASSERT_EQ(QGuiApplication::platformName(), u"xcb"_s);
        input.moveTo(1800, 1000); // out of the way of the text window
    }
    void TearDown() override
    {
        controller.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

// Beyond the root window black (the colours within: X11RootFormat); with no screens no image.
TEST_F(RegionCaptureX11, LiveGrab_BlackBeyondTheRoot_KeptSegmentReadsTheScreenAsItIsNow)
{
    auto window = showTextWindow(u"Glyphwell"_s);
    const QImage corner = captureNow(grabber, QRectF(1900, 1060, 40, 40));
    ASSERT_EQ(corner.size(), QSize(40, 40));
    EXPECT_TRUE(grabber.lastGrabUsedSharedMemory());
    EXPECT_TRUE(sameColour(corner.pixel(30, 30), qRgb(0, 0, 0)));
    EXPECT_TRUE(sameColour(corner.pixel(5, 5), liveRootImage(QRect(1905, 1065, 1, 1)).pixel(0, 0)));
    FakeScreenList none;
    X11ScreenGrabber empty(none);
    const Awaited<QImage> nothing = finish(empty.captureRegion(QRectF(0, 0, 50, 50)));
    EXPECT_FALSE(nothing.value);
    EXPECT_EQ(nothing.error, errorDescription(OCRServiceError::noCapturedImage));

    // A kept connection and segment read what is on screen now, a smaller area in the larger
    // segment of an earlier grab included, not what the segment held before.
    const auto kept = makeGrabConnection();
    ASSERT_EQ(
        grabRootRects({ QRect(0, 0, 1920, 1080) }, X11GrabMethod::sharedMemory, kept.get()).images.size(),
        1u);
    const X11Grab again = grabRootRects({ textWindowGeometry }, X11GrabMethod::sharedMemory, kept.get());
    ASSERT_EQ(again.images.size(), 1u);
    EXPECT_TRUE(again.usedSharedMemory);
    const QImage image = liveRootImage(textWindowGeometry);
    EXPECT_EQ(differingPixels(again.images[0], image), 0);
    window.reset();
    QTest::qWait(200);
    const X11Grab gone = grabRootRects({ textWindowGeometry }, X11GrabMethod::sharedMemory, kept.get());
    ASSERT_EQ(gone.images.size(), 1u);
    EXPECT_GT(differingPixels(gone.images[0], image), 1000) << "the closed window is still read";
}

// With the keyboard held by another client the overlay waits for it; Escape in the middle of a
// drag cancels and puts everything away, and the pointer is free for others again.
TEST_F(RegionCaptureX11, KeyboardHeldElsewhereIsWaitedFor_EscapeCancelsAndPutsEverythingAway)
{
    XcbReply<xcb_grab_keyboard_reply_t> held(xcb_grab_keyboard_reply(input.connection(),
        xcb_grab_keyboard(
            input.connection(), 0, input.root(), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr));
    ASSERT_TRUE(held);
    ASSERT_EQ(held->status, XCB_GRAB_STATUS_SUCCESS);
    Awaited<QRectF> run;
    runInto(controller->selectRegion(), &run);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->overlayWindows().empty(); }, 10000));
    QTest::qWait(150);
    EXPECT_FALSE(controller->hasInputGrab());
    xcb_ungrab_keyboard(input.connection(), XCB_CURRENT_TIME);
    input.sync();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->hasInputGrab(); }, 3000));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->overlayWindows().front()));
    QTest::qWait(100);

    QPointer<RegionCaptureOverlay> overlay = controller->overlayWindows().front();
    input.moveTo(300, 300);
    input.press();
    input.moveTo(500, 500);
    input.tapKey(Keysym::escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return run.done; }, 5000));
    EXPECT_EQ(run.error, cancelledText);
    EXPECT_FALSE(overlay && overlay->isVisible());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(grabber.holdsFrame());
    input.release();
    XcbReply<xcb_grab_pointer_reply_t> grab(xcb_grab_pointer_reply(input.connection(),
        xcb_grab_pointer(input.connection(), 0, input.root(), XCB_EVENT_MASK_BUTTON_PRESS,
            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
        nullptr));
    ASSERT_TRUE(grab);
    EXPECT_EQ(grab->status, XCB_GRAB_STATUS_SUCCESS);
    xcb_ungrab_pointer(input.connection(), XCB_CURRENT_TIME);
    input.sync();
}

// Z-pixmap data as servers send it (the usual 24-bit, 16 and 30 are also read on real servers:
// X11RootFormat), with the colours it stands for.
TEST(X11PixelConversion, RootFormatsOfRealServers_ReadAsTheirColours)
{
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255);
    const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
    struct Case {
        const char *name;
        X11PixelLayout layout;
        QSize size;
        std::vector<uchar> data;
        std::vector<QRgb> expected;
    };
    auto layout = [](int depth, int bits, quint32 r, quint32 g, quint32 b, bool msb = false) {
        return X11PixelLayout { depth, bits, 32, msb, XCB_VISUAL_CLASS_TRUE_COLOR, r, g, b };
    };
    const Case cases[] {
        // Three pixels a row, padded to 32 bits: two bytes of padding after each row.
        { "16-bit 5:6:5", layout(16, 16, 0xf800, 0x07e0, 0x001f), { 3, 2 },
            { 0x00, 0xf8, 0xe0, 0x07, 0x1f, 0x00, 0xaa, 0xaa, 0xff, 0xff, 0x00, 0x00, 0x10, 0x84, 0xaa,
                0xaa },
            { red, green, blue, white, black, qRgb(132, 130, 132) } },
        { "15-bit 5:5:5", layout(15, 16, 0x7c00, 0x03e0, 0x001f), { 3, 1 },
            { 0x00, 0x7c, 0xe0, 0x03, 0x1f, 0x00, 0, 0 }, { red, green, blue } },
        { "30-bit 10:10:10", layout(30, 32, 0x3ff00000, 0x000ffc00, 0x000003ff), { 4, 1 },
            { 0x00, 0x00, 0xf0, 0x3f, 0x00, 0xfc, 0x0f, 0x00, 0xff, 0x03, 0x00, 0x00, 0x00, 0x02, 0x08,
                0x20 },
            { red, green, blue, qRgb(128, 128, 128) } },
        { "24-bit in 32, most significant byte first", layout(24, 32, 0xff0000, 0xff00, 0xff, true), { 2, 1 },
            { 0x00, 0x12, 0x34, 0x56, 0x00, 0x00, 0x00, 0xff }, { qRgb(0x12, 0x34, 0x56), blue } },
        { "24-bit in 32, blue high", layout(24, 32, 0xff, 0xff00, 0xff0000), { 2, 1 },
            { 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0x00 }, { red, blue } },
        { "24-bit packed", layout(24, 24, 0xff0000, 0xff00, 0xff), { 2, 1 },
            { 0x56, 0x34, 0x12, 0x00, 0x00, 0xff, 0, 0 }, { qRgb(0x12, 0x34, 0x56), red } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.layout.unsupportedReason(), QString());
        ASSERT_EQ(std::size_t(c.layout.bytesPerLine(c.size.width()) * c.size.height()), c.data.size());
        const QImage image = convertZPixmap(c.data.data(), c.data.size(), c.size, c.layout);
        ASSERT_EQ(image.size(), c.size);
        for (int i = 0; i < int(c.expected.size()); ++i)
            EXPECT_EQ(QColor(image.pixel(i % c.size.width(), i / c.size.width())), QColor(c.expected[i]))
                << i;
        // Data shorter than the rows it should hold is no image.
        EXPECT_TRUE(convertZPixmap(c.data.data(), c.data.size() - 1, c.size, c.layout).isNull());
    }
    // A colour map's pixel format: depth-8.X11RootFormat.
    EXPECT_FALSE(layout(16, 16, 0xf800, 0x0fe0, 0x001f).unsupportedReason().isEmpty()); // overlapping masks
    EXPECT_FALSE(layout(16, 16, 0x1f0000, 0x07e0, 0x001f).unsupportedReason().isEmpty()); // beyond the pixel
    EXPECT_FALSE(layout(4, 8, 0xe0, 0x1c, 0x03).unsupportedReason().isEmpty());
}

// Runs on servers of depth 8, 16, 24 and 30 (GLYPHWELL_XVFB screen=...), without Qt on the server.
TEST(X11RootFormat, RootWindowReadsAsItsColours_OrTheFrameFailsWithTheReasonBeforeAnyOverlay)
{
    XTestInput input;
    ASSERT_TRUE(input.isValid());
    xcb_connection_t *c = input.connection();
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    FakeScreenList screens;
    screens.list = { x11Screen(QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels), 1.0) };
    const xcb_visualtype_t *visual = nullptr;
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem; xcb_depth_next(&depths))
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals))
            if (visuals.data->visual_id == screen->root_visual)
                visual = visuals.data;
    ASSERT_NE(visual, nullptr);
    std::cout << "root depth " << int(screen->root_depth) << std::endl;

    if (visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR) {
        X11ScreenGrabber grabber(screens);
        RegionCaptureOverlayController controller(grabber, screens);
        bool shown = false;
        QObject::connect(&controller, &RegionCaptureOverlayController::overlayShown, [&] { shown = true; });
        Awaited<QRectF> run;
        runInto(controller.selectRegion(), &run);
        ASSERT_TRUE(QTest::qWaitFor([&] { return run.done; }, 10000));
        EXPECT_EQ(run.error,
            u"The screen cannot be captured: the X server's pixel format (depth %1, 8 bits per "
            "pixel, colour map) is not supported."_s.arg(int(screen->root_depth)));
        EXPECT_FALSE(shown);
        EXPECT_TRUE(controller.overlayWindows().empty());
        EXPECT_TRUE(QGuiApplication::topLevelWindows().isEmpty());
        return;
    }

    // Five stripes: the full value of each channel, all of them, none.
    const std::vector<std::pair<quint32, QRgb>> stripes { { visual->red_mask, qRgb(255, 0, 0) },
        { visual->green_mask, qRgb(0, 255, 0) }, { visual->blue_mask, qRgb(0, 0, 255) },
        { visual->red_mask | visual->green_mask | visual->blue_mask, qRgb(255, 255, 255) },
        { 0, qRgb(0, 0, 0) } };
    const int width = screen->width_in_pixels / int(stripes.size());
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, input.root(), 0, nullptr);
    for (std::size_t i = 0; i < stripes.size(); ++i) {
        const uint32_t foreground = stripes[i].first;
        xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &foreground);
        const xcb_rectangle_t rect { int16_t(i * width), 0, uint16_t(width), screen->height_in_pixels };
        xcb_poly_fill_rectangle(c, input.root(), gc, 1, &rect);
    }
    xcb_free_gc(c, gc);
    input.sync();

    for (X11GrabMethod method : { X11GrabMethod::sharedMemory, X11GrabMethod::getImage }) {
        SCOPED_TRACE(method == X11GrabMethod::sharedMemory ? "MIT-SHM" : "GetImage");
        X11ScreenGrabber grabber(screens, method);
        const Awaited<FrozenFrame> frozen = finish(grabber.freezeFrame());
        ASSERT_EQ(frozen.error, std::nullopt);
        const FrozenFrame &frame = *frozen.value;
        ASSERT_EQ(frame.screens.size(), 1u);
        const QImage &image = frame.screens[0].image;
        ASSERT_EQ(image.size(), screens.list[0].nativeRect.size());
        int wrong = 0;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < int(stripes.size()) * width; ++x)
                wrong += sameColour(image.pixel(x, y), stripes[std::size_t(x / width)].second) ? 0 : 1;
        EXPECT_EQ(wrong, 0);
        // The capture is cut from the same frame.
        const QImage captured = captureNow(grabber, QRectF(width - 10, 100, 20, 30));
        ASSERT_EQ(captured.size(), QSize(20, 30));
        EXPECT_TRUE(sameColour(captured.pixel(9, 0), stripes[0].second));
        EXPECT_TRUE(sameColour(captured.pixel(10, 29), stripes[1].second));
    }
}

// On a server split into two 1280 × 1000 monitors side by side (GLYPHWELL_XVFB monitors=...), at the
// scale factors QT_SCREEN_SCALE_FACTORS sets, over a root window painted with the desktop
// pattern.
class TwoMonitors : public RegionCaptureX11 {
protected:
    const QRect left { 0, 0, 1280, 1000 };
    const QRect right { 1280, 0, 1280, 1000 };
    qreal leftScale = 1.0, rightScale = 1.0;

    void SetUp() override
    {
        RegionCaptureX11::SetUp();
        const QStringList factors = qEnvironmentVariable("QT_SCREEN_SCALE_FACTORS").split(QLatin1Char(';'));
        if (factors.size() == 2) {
            leftScale = factors[0].toDouble();
            rightScale = factors[1].toDouble();
        }
        const std::vector<ScreenInfo> list = screens.displays();
        ASSERT_EQ(list.size(), 2u) << "run with GLYPHWELL_XVFB=monitors=...";
        EXPECT_EQ(list[0].nativeRect, left);
        EXPECT_EQ(list[1].nativeRect, right);
        EXPECT_EQ(list[0].scale, leftScale);
        EXPECT_EQ(list[1].scale, rightScale);
        EXPECT_EQ(list[1].geometry, QRectF(1280, 0, 1280 / rightScale, 1000 / rightScale));
        paintRootPattern();
    }

    // As the root window's background, so it comes back wherever an overlay window was.
    void paintRootPattern()
    {
        xcb_connection_t *c = input.connection();
        const QRect desktop = left.united(right);
        const QImage pattern = desktopPattern(desktop);
        const xcb_pixmap_t pixmap = xcb_generate_id(c);
        xcb_create_pixmap(c, 24, pixmap, input.root(), uint16_t(desktop.width()), uint16_t(desktop.height()));
        const xcb_gcontext_t gc = xcb_generate_id(c);
        xcb_create_gc(c, gc, pixmap, 0, nullptr);
        for (int y = 0; y < desktop.height(); y += 50) {
            const int rows = std::min(50, desktop.height() - y);
            xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, uint16_t(desktop.width()), uint16_t(rows),
                0, int16_t(y), 0, 24, uint32_t(rows * pattern.bytesPerLine()), pattern.constScanLine(y));
        }
        xcb_change_window_attributes(c, input.root(), XCB_CW_BACK_PIXMAP, &pixmap);
        xcb_clear_area(c, 0, input.root(), 0, 0, 0, 0);
        xcb_free_gc(c, gc);
        xcb_free_pixmap(c, pixmap);
        input.sync();
        ASSERT_EQ(pixelsOffPattern(liveRootImage(desktop), desktop), 0);
    }
};

TEST_F(TwoMonitors, MidDragOverlayAndCapture_ArePixelExactOnBothMonitors)
{
    struct Case {
        const char *name;
        QRect hole;
    };
    // Odd corners: at scale 2 they are half logical points.
    const Case cases[] { { "second", QRect(1501, 301, 400, 199) }, { "across", QRect(1081, 401, 400, 200) } };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Awaited<QRectF> run;
        runInto(controller->selectRegion(), &run);
        ASSERT_TRUE(waitForOverlay(*controller));
        ASSERT_EQ(controller->overlayWindows().size(), 2u);

        input.moveTo(c.hole.left(), c.hole.top());
        input.press();
        input.moveTo(c.hole.center().x(), c.hole.center().y());
        input.moveTo(c.hole.left() + c.hole.width(), c.hole.top() + c.hole.height());
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return controller->selection().selectionRect() == QRectF(c.hole); }, 5000))
            << controller->selection().selectionRect().x() << ","
            << controller->selection().selectionRect().y();
        QTest::qWait(250);

        // What the monitors show while the button is held.
        const QImage shot = rootScreenshot(u"overlay-two-monitors-scale-%1-%2-%3"_s.arg(leftScale)
                                               .arg(rightScale)
                                               .arg(QLatin1String(c.name)));
        ASSERT_EQ(shot.size(), QSize(2560, 1000));
        EXPECT_EQ(pixelsOffPattern(shot.copy(c.hole), c.hole), 0);
        // The outline around the hole and the size beside the pointer are the overlay's own.
        const QRect ring = c.hole.adjusted(-1, -1, 1, 1);
        QRegion own(ring);
        for (RegionCaptureOverlay *window : controller->overlayWindows())
            own += window->sizeLabelRect();
        EXPECT_EQ(shot.pixel(ring.topLeft()), RegionCaptureOverlay::outlineColour().rgb());
        EXPECT_EQ(shot.pixel(ring.bottomRight()), RegionCaptureOverlay::outlineColour().rgb());
        int notDimmed = 0;
        for (int y = 0; y < shot.height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(shot.constScanLine(y));
            for (int x = 0; x < shot.width(); ++x) {
                if (own.contains(QPoint(x, y)))
                    continue;
                const QRgb original = desktopPatternAt(x, y);
                notDimmed += std::abs(qRed(line[x]) - qRed(original) * 0.65) > 1.5
                        || std::abs(qGreen(line[x]) - qGreen(original) * 0.65) > 1.5
                        || std::abs(qBlue(line[x]) - qBlue(original) * 0.65) > 1.5
                    ? 1
                    : 0;
            }
        }
        EXPECT_EQ(notDimmed, 0);

        input.release();
        ASSERT_TRUE(QTest::qWaitFor([&] { return run.done; }, 5000));
        ASSERT_EQ(run.value, std::optional<QRectF>(QRectF(c.hole)));
        const QImage captured = captureNow(grabber, *run.value);
        EXPECT_FALSE(grabber.holdsFrame());
        EXPECT_EQ(pixelsOffPattern(captured, c.hole), 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

} // namespace
