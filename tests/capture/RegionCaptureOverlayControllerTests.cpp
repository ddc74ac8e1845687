#include "capture/DesktopPattern.h"
#include "capture/OCRServiceError.h"
#include "capture/RegionCaptureOverlay.h"
#include "capture/RegionCaptureOverlayController.h"
#include "fakes/FakeScreenList.h"
#include "fakes/FakeServices.h"
#include "fakes/SelectionRun.h"

#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

// What the overlay shows around the selection goes to the screenshots, to be looked at.
void saveOverlayPicture(const QImage &picture, const QRect &around, const QString &name)
{
    const QString folder = qEnvironmentVariable("GLYPHWELL_SCREENSHOTS");
    if (folder.isEmpty() || around.isEmpty())
        return;
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(picture.copy(around.adjusted(-40, -40, 40, 40).intersected(picture.rect()))
                    .save(QDir(folder).absoluteFilePath(name + QStringLiteral(".png"))));
}

const QString cancelledText = QStringLiteral("Screen capture was cancelled before an image was produced.");

// A grabber whose reading fails with a fault that is none of the capture's own errors.
class FailingFreezeGrabber : public FakeScreenGrabber {
public:
    QCoro::Task<FrozenFrame> freezeFrame() override
    {
        ++freezeCalls;
        throw std::runtime_error("out of memory");
        co_return FrozenFrame();
    }
};

class OverlayControllerTest : public ::testing::Test {
protected:
    using Placement = RegionCaptureOverlay::Placement;
    FakeScreenList screens;
    FakeScreenGrabber grabber;
    std::unique_ptr<RegionCaptureOverlayController> controller;
    std::vector<QPointer<RegionCaptureOverlay>> windows;
    SelectionRun run;

    // The screens, each frozen with the desktop pattern (a fresh frame: the grabber hands its
    // frame over).
    void useScreens(std::vector<ScreenInfo> list)
    {
        screens.list = std::move(list);
        grabber.frame = FrozenFrame();
        for (const ScreenInfo &screen : screens.list)
            grabber.frame.screens.push_back({ screen, desktopPattern(screen.nativeRect) });
    }

    // A new controller on fresh screens, its selection started.
    void restart(std::vector<ScreenInfo> list, Placement placement = Placement::positioned)
    {
        controller.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        useScreens(std::move(list));
        controller = std::make_unique<RegionCaptureOverlayController>(grabber, screens, placement);
        run = SelectionRun();
        start();
    }

    void SetUp() override
    {
        useScreens(sideBySide(1, 1));
        controller = std::make_unique<RegionCaptureOverlayController>(grabber, screens);
    }

    void TearDown() override
    {
        controller.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void start()
    {
        runSelection(controller.get(), &run);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->overlayWindows().empty(); }, 5000));
        windows.clear();
        for (RegionCaptureOverlay *window : controller->overlayWindows()) {
            windows.emplace_back(window);
            ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        }
    }

    // A mouse event on one screen's window at a device pixel of the desktop, with the
    // fractional window position Qt gives.
    void mouse(std::size_t window, QEvent::Type type, QPointF device, Qt::MouseButtons buttons)
    {
        ASSERT_LT(window, windows.size());
        ASSERT_TRUE(windows[window]);
        RegionCaptureOverlay *target = windows[window];
        const ScreenCoordinates coordinates(screens.list);
        const QPointF local = coordinates.toLogical(window, device) - QPointF(target->position());
        QMouseEvent event(type, local, local + QPointF(target->position()),
            type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QGuiApplication::sendEvent(target, &event);
    }
    void press(QPointF p, std::size_t window = 0)
    {
        mouse(window, QEvent::MouseButtonPress, p, Qt::LeftButton);
    }
    void drag(QPointF p, std::size_t window = 0) { mouse(window, QEvent::MouseMove, p, Qt::LeftButton); }
    void release(QPointF p, std::size_t window = 0)
    {
        mouse(window, QEvent::MouseButtonRelease, p, Qt::NoButton);
    }

    // A press alone: the overlay is gone before a release could reach it.
    static void escape(RegionCaptureOverlay *window)
    {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QGuiApplication::sendEvent(window, &key);
    }

    bool waitDone()
    {
        return QTest::qWaitFor([&] { return run.done; }, 5000);
    }
};

// Pixel-exact drags are x11 TwoMonitors'; here one from the second screen back to the first,
// and the size beside the pointer on its screen only.
TEST_F(OverlayControllerTest, DragBackToTheFirstScreen_ShowsTheSizeOnThePointersScreenOnly)
{
    restart(sideBySide(2, 2));
    const QRectF expected(1201, 101, 280, 200);
    press({ 1481, 101 }, 1);
    drag({ 1300, 200 }, 1);
    drag({ 1201, 301 }, 1);
    EXPECT_EQ(controller->selection().selectionRect(), expected);
    for (std::size_t i = 0; i < windows.size(); ++i) {
        SCOPED_TRACE(i);
        const QRect pixels = screens.list[i].nativeRect;
        const QRect label = windows[i]->sizeLabelRect();
        ASSERT_EQ(!label.isEmpty(), i == 0);
        if (label.isEmpty())
            continue;
        EXPECT_TRUE(pixels.contains(label));
        EXPECT_LT((label.center() - QPoint(1201, 301)).manhattanLength(), 400);
        const QImage picture = windows[i]->picture();
        const QRect inPicture = label.translated(-pixels.topLeft());
        int ink = 0;
        for (int y = inPicture.top(); y <= inPicture.bottom(); ++y)
            for (int x = inPicture.left(); x <= inPicture.right(); ++x)
                ink += picture.pixel(x, y) == RegionCaptureOverlay::outlineColour().rgb() ? 0 : 1;
        EXPECT_GT(ink, 20); // the digits, drawn over the highlight
        saveOverlayPicture(picture, inPicture.united(expected.toRect().translated(-pixels.topLeft())),
            u"overlay-dragging"_s);
    }
    EXPECT_EQ(RegionCaptureOverlay::sizeText(expected), u"280 \u00d7 200"_s);
    EXPECT_EQ(RegionCaptureOverlay::outlineColour(), QGuiApplication::palette().color(QPalette::Highlight));
    release({ 1201, 301 }, 0);
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(run.rect, std::optional<QRectF>(expected));
}

// Wayland, outputs of scales 1 and 2: the drag stays with the surface it began on, so its far
// end maps with the other output's origin and scale. (Text read across: two_outputs_on_sway.)
TEST_F(OverlayControllerTest, WaylandDragAcrossOutputsOfTwoScales_MapsEachEndOnItsOwnOutput)
{
    restart({ ScreenInfo { QRectF(0, 0, 1280, 1000), 1, QRect(0, 0, 1280, 1000) },
                ScreenInfo { QRectF(1280, 0, 640, 500), 2, QRect(2560, 0, 1280, 1000) } },
        Placement::fullScreen);
    // Events in the first surface's logical coordinates, wherever the pointer is.
    const auto send = [&](QEvent::Type type, QPointF logical, Qt::MouseButtons buttons) {
        QMouseEvent event(type, logical, logical, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
            buttons, Qt::NoModifier);
        QGuiApplication::sendEvent(windows[0], &event);
    };
    send(QEvent::MouseButtonPress, { 1180, 400 }, Qt::LeftButton);
    send(QEvent::MouseMove, { 1300, 300 }, Qt::LeftButton);
    send(QEvent::MouseMove, { 1380, 100 }, Qt::LeftButton);
    // (1380, 100) is 100 points into the 2x output: device (2560 + 200, 200).
    const QRectF expected(QPointF(1180, 200), QPointF(2760, 400));
    EXPECT_EQ(controller->selection().selectionRect(), expected);
    const QImage far = windows[1]->picture();
    EXPECT_EQ(far.pixel(100, 300) & 0xffffff, desktopPatternAt(2660, 300) & 0xffffff); // in the hole
    EXPECT_NE(far.pixel(300, 300) & 0xffffff, desktopPatternAt(2860, 300) & 0xffffff); // dimmed
    send(QEvent::MouseButtonRelease, { 1380, 100 }, Qt::NoButton);
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(run.rect, std::optional<QRectF>(expected));
    controller->dismissSelection();
}

// One window per screen at its scale, never taking the focus. Positioned (X11) they go before
// the caller resumes; full screen (Wayland) they stay up, busy, until dismissed or Escape,
// because only the focused client may set the clipboard there.
TEST_F(OverlayControllerTest, Delivery_ComesAfterTheOverlayIsGoneOrHeldUntilDismissed)
{
    const struct {
        const char *name;
        Placement placement;
        bool held;
        bool escape; // what ends the hold
    } rows[] = {
        { "positioned", Placement::positioned, false, false },
        { "full screen, dismissed", Placement::fullScreen, true, false },
        { "full screen, Escape", Placement::fullScreen, true, true },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        restart(sideBySide(1, 2), row.placement);
        EXPECT_EQ(grabber.freezeCalls, 1);
        ASSERT_EQ(windows.size(), 2u);
        if (row.placement == Placement::positioned) {
            EXPECT_EQ(windows[0]->geometry(), QRect(0, 0, 1280, 1000));
            EXPECT_EQ(windows[1]->geometry(), QRect(1280, 0, 640, 500));
            for (const QPointer<RegionCaptureOverlay> &window : windows) {
                for (const Qt::WindowType flag :
                    { Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint, Qt::WindowDoesNotAcceptFocus })
                    EXPECT_TRUE(window->flags() & flag);
                EXPECT_EQ(window->cursor().shape(), Qt::CrossCursor);
            }
            EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
        }
        grabber.freezeCalls = 0;
        press({ 100, 100 });
        release({ 300, 200 });
        for (const QPointer<RegionCaptureOverlay> &window : windows) {
            EXPECT_EQ(window && window->isVisible(), row.held);
            EXPECT_EQ(window && window->isBusy(), row.held);
        }
        EXPECT_EQ(QGuiApplication::overrideCursor() != nullptr, row.held);
        EXPECT_EQ(controller->isHolding(), row.held);
        EXPECT_FALSE(run.done);
        ASSERT_TRUE(waitDone());
        EXPECT_EQ(run.rect, QRectF(100, 100, 200, 100));
        EXPECT_EQ(run.overlayVisibleAtDelivery, row.held);
        EXPECT_FALSE(controller->isSelecting());
        // The frame stays with the grabber for the capture that follows.
        EXPECT_EQ(grabber.releaseCalls, 0);
        EXPECT_TRUE(grabber.holdsFrame);
        if (row.held && !row.escape) {
            // The busy sign sits on a ring around the middle of the hole, over the frame.
            const QImage shot = windows[0]->picture();
            const QPoint ring(200, 150 - 12);
            EXPECT_NE(shot.pixel(ring) & 0xffffff, desktopPatternAt(ring.x(), ring.y()) & 0xffffff);
            EXPECT_EQ(shot.pixel(120, 120) & 0xffffff, desktopPatternAt(120, 120) & 0xffffff);
            saveOverlayPicture(shot, QRect(40, 40, 320, 220), u"overlay-busy-after-release"_s);
        }
        int readingsStopped = 0;
        controller->onCancelWhileHeld = [&] { ++readingsStopped; };
        if (row.held) {
            // A held overlay ignores the mouse: no new selection starts under the busy sign.
            press({ 400, 400 });
            release({ 600, 600 });
            EXPECT_TRUE(windows[0] && windows[0]->isVisible());
            if (row.escape)
                escape(windows[0]);
            else
                controller->dismissSelection();
        }
        // Escape over the busy overlay stops the reading too; the caller's dismissal does not.
        EXPECT_EQ(readingsStopped, row.escape ? 1 : 0);
        EXPECT_FALSE(controller->isHolding());
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(controller->overlayWindows().empty());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const QPointer<RegionCaptureOverlay> &window : windows)
            EXPECT_TRUE(window.isNull());
        grabber.holdsFrame = false;
    }
}

// Too small, Escape or a window closed by the window manager cancels once, overlay and cursor
// gone first, the frame let go; other keys do nothing. (Escape with real keys: x11.)
TEST_F(OverlayControllerTest, TooSmallEscapeOrAClosedOverlay_Cancel)
{
    const struct {
        const char *how;
        std::function<void(RegionCaptureOverlay *)> end;
    } rows[] = {
        { "too small",
            [&](RegionCaptureOverlay *) {
                release({ 104, 400 });
            } },
        { "closed", [](RegionCaptureOverlay *window) { window->close(); } },
        // The window is hidden but not yet deleted; a late release must not deliver again.
        { "Escape, then a late release",
            [&](RegionCaptureOverlay *window) {
                escape(window);
                QMouseEvent late(QEvent::MouseButtonRelease, QPointF(400, 300), QPointF(400, 300),
                    Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
                QGuiApplication::sendEvent(window, &late);
            } },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.how);
        run = SelectionRun();
        const int releases = grabber.releaseCalls;
        start();
        press({ 100, 100 });
        drag({ 104, 300 });
        QTest::keyClick(windows[0].data(), Qt::Key_A);
        QTest::qWait(20);
        EXPECT_FALSE(run.done);
        EXPECT_TRUE(windows[0] && windows[0]->isVisible());
        row.end(windows[1].data());
        ASSERT_TRUE(waitDone());
        EXPECT_EQ(run.error, cancelledText);
        EXPECT_FALSE(run.overlayVisibleAtDelivery);
        EXPECT_FALSE(run.cursorOverriddenAtDelivery);
        EXPECT_EQ(grabber.releaseCalls - releases, 1);
        EXPECT_FALSE(grabber.holdsFrame);
        EXPECT_FALSE(controller->isSelecting());
    }
}

// A capture error that stops the frame before any overlay is x11 depth-8.X11RootFormat's;
// another fault ends the selection with its reason too.
TEST_F(OverlayControllerTest, FrameThatCannotBeTaken_EndsWithItsReasonAndShowsNothing)
{
    FailingFreezeGrabber failing;
    controller = std::make_unique<RegionCaptureOverlayController>(failing, screens);
    int overlaysSeen = 0;
    QObject::connect(
        controller.get(), &RegionCaptureOverlayController::overlayShown, [&] { ++overlaysSeen; });
    runSelection(controller.get(), &run);
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(run.error, u"out of memory"_s);
    EXPECT_EQ(failing.freezeCalls, 1);
    EXPECT_EQ(overlaysSeen, 0);
    EXPECT_FALSE(run.overlayVisibleAtDelivery);
    EXPECT_FALSE(run.cursorOverriddenAtDelivery);
    EXPECT_FALSE(controller->isSelecting());
    controller.reset();
}

} // namespace
