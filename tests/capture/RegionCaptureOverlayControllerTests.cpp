#include "capture/OCRServiceError.h"
#include "capture/RegionCaptureOverlay.h"
#include "capture/RegionCaptureOverlayController.h"
#include "fakes/FakeScreenList.h"
#include "fakes/FakeServices.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString cancelledText = QStringLiteral("Screen capture was cancelled before an image was produced.");

struct SelectionRun {
    bool done = false;
    std::optional<QRectF> rect;
    std::optional<QString> error;
    // What the caller finds when it resumes.
    bool overlayVisibleAtDelivery = true;
    bool cursorOverriddenAtDelivery = true;
};

// A plain function, not a capturing lambda: the detached coroutine must not refer to a
// closure that is gone.
QCoro::Task<> runSelection(
    RegionCaptureOverlayController *controller, QPointer<RegionCaptureOverlay> *overlay, SelectionRun *run)
{
    try {
        auto selection = controller->selectRegion();
        run->rect = co_await selection;
    } catch (const CaptureError &error) {
        run->error = error.localizedDescription();
    }
    run->overlayVisibleAtDelivery = *overlay && (*overlay)->isVisible();
    run->cursorOverriddenAtDelivery = QGuiApplication::overrideCursor() != nullptr;
    run->done = true;
}

QImage solidFrameImage(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

class OverlayControllerTest : public ::testing::Test {
protected:
    FakeScreenList screens;
    FakeScreenGrabber grabber;
    std::unique_ptr<RegionCaptureOverlayController> controller;
    QPointer<RegionCaptureOverlay> overlay;
    SelectionRun run;

    void SetUp() override
    {
        screens.list = { { QRectF(0, 0, 1920, 1080), 1.0, QPoint(0, 0) },
            { QRectF(1920, 0, 1280, 1024), 1.0, QPoint(1920, 0) } };
        for (const ScreenInfo &screen : screens.list)
            grabber.frame.screens.push_back({ screen.geometry, screen.scale, screen.nativeOrigin,
                solidFrameImage(screen.geometry.size().toSize(), QColor(200, 100, 40)) });
        controller = std::make_unique<RegionCaptureOverlayController>(grabber, screens);
    }

    void TearDown() override
    {
        controller.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void start()
    {
        runSelection(controller.get(), &overlay, &run);
        ASSERT_TRUE(QTest::qWaitFor([&] { return controller->overlayWindow() != nullptr; }, 5000));
        overlay = controller->overlayWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(overlay.data()));
    }

    void mouse(QEvent::Type type, QPointF global, Qt::MouseButtons buttons)
    {
        ASSERT_TRUE(overlay);
        QMouseEvent event(type, overlay->mapFromGlobal(global), global,
            type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(overlay.data(), &event);
    }
    void press(QPointF p) { mouse(QEvent::MouseButtonPress, p, Qt::LeftButton); }
    void drag(QPointF p) { mouse(QEvent::MouseMove, p, Qt::LeftButton); }
    void release(QPointF p) { mouse(QEvent::MouseButtonRelease, p, Qt::NoButton); }

    bool waitDone()
    {
        return QTest::qWaitFor([&] { return run.done; }, 5000);
    }
};

TEST_F(OverlayControllerTest, DragFrom100_100To40_160_DeliversOrigin40_100Size60x60)
{
    start();
    press({ 100, 100 });
    drag({ 70, 130 });
    drag({ 40, 160 });
    release({ 40, 160 });
    ASSERT_TRUE(waitDone());
    ASSERT_TRUE(run.rect.has_value());
    EXPECT_EQ(*run.rect, QRectF(40, 100, 60, 60));
    EXPECT_FALSE(run.error.has_value());
}

TEST_F(OverlayControllerTest, Delivery_ComesAfterTheOverlayIsGoneAndTheCursorRestored)
{
    start();
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
    EXPECT_EQ(overlay->cursor().shape(), Qt::CrossCursor);
    press({ 100, 100 });
    release({ 300, 200 });
    // The window is put away synchronously, before the caller can resume.
    EXPECT_FALSE(overlay && overlay->isVisible());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(controller->overlayWindow(), nullptr);
    EXPECT_FALSE(QWidget::mouseGrabber());
    EXPECT_FALSE(QWidget::keyboardGrabber());
    EXPECT_FALSE(run.done);
    ASSERT_TRUE(waitDone());
    EXPECT_FALSE(run.overlayVisibleAtDelivery);
    EXPECT_FALSE(run.cursorOverriddenAtDelivery);
    EXPECT_FALSE(controller->isSelecting());
    // The frame stays with the grabber for the capture that follows.
    EXPECT_EQ(grabber.releaseCalls, 0);
    EXPECT_TRUE(grabber.holdsFrame);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(overlay.isNull());
}

// QApplication hands widgets whole-point global positions (a 104.9 arrives as 105), so the
// fractional 4.9 × 300 case is covered in SelectionModelTests; here the narrowest whole width.
TEST_F(OverlayControllerTest, Narrow4x300_CancelsAndRemovesTheOverlay)
{
    start();
    press({ 100, 100 });
    drag({ 104, 400 });
    release({ 104, 400 });
    ASSERT_TRUE(waitDone());
    EXPECT_FALSE(run.rect.has_value());
    EXPECT_EQ(run.error, cancelledText);
    EXPECT_FALSE(run.overlayVisibleAtDelivery);
    EXPECT_EQ(grabber.releaseCalls, 1);
    EXPECT_FALSE(grabber.holdsFrame);
}

TEST_F(OverlayControllerTest, ClickWithoutMovement_Cancels)
{
    start();
    press({ 500, 500 });
    release({ 500, 500 });
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(run.error, cancelledText);
    EXPECT_FALSE(run.overlayVisibleAtDelivery);
}

TEST_F(OverlayControllerTest, ReleaseBeforeAnyPress_LeavesTheOverlayUpAndChangesNothing)
{
    start();
    const QPainterPath before = overlay->dimmingPath();
    release({ 300, 300 });
    QTest::qWait(50);
    EXPECT_FALSE(run.done);
    ASSERT_TRUE(overlay);
    EXPECT_TRUE(overlay->isVisible());
    EXPECT_TRUE(controller->isSelecting());
    EXPECT_EQ(overlay->dimmingPath(), before);
    EXPECT_FALSE(controller->selection().anchor().has_value());

    press({ 10, 10 });
    release({ 60, 70 });
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(run.rect, QRectF(10, 10, 50, 60));
}

TEST_F(OverlayControllerTest, EscapeWhileDragging_CancelsAndRestoresTheCursor)
{
    start();
    press({ 100, 100 });
    drag({ 400, 300 });
    QTest::keyClick(overlay.data(), Qt::Key_A);
    QTest::qWait(20);
    EXPECT_FALSE(run.done);
    EXPECT_TRUE(overlay && overlay->isVisible());
    QTest::keyClick(overlay.data(), Qt::Key_Escape);
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(run.error, cancelledText);
    EXPECT_FALSE(run.overlayVisibleAtDelivery);
    EXPECT_FALSE(run.cursorOverriddenAtDelivery);
    EXPECT_EQ(grabber.releaseCalls, 1);
}

TEST_F(OverlayControllerTest, EscapeThenRelease_ResumesTheCallerOnce)
{
    start();
    press({ 100, 100 });
    drag({ 400, 300 });
    RegionCaptureOverlay *window = overlay.data();
    QTest::keyClick(window, Qt::Key_Escape);
    // The window is hidden but not yet deleted; a late release must not deliver again.
    QMouseEvent late(QEvent::MouseButtonRelease, QPointF(400, 300), QPointF(400, 300), Qt::LeftButton,
        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window, &late);
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(run.error, cancelledText);
    EXPECT_EQ(grabber.releaseCalls, 1);
}

TEST_F(OverlayControllerTest, SecondPress_RestartsTheAnchor)
{
    start();
    press({ 10, 10 });
    drag({ 300, 300 });
    press({ 500, 500 });
    EXPECT_EQ(controller->selection().selectionRect(), QRectF(500, 500, 0, 0));
    drag({ 600, 650 });
    release({ 600, 650 });
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(run.rect, QRectF(500, 500, 100, 150));
}

TEST_F(OverlayControllerTest, ZeroSizeSelection_MakesNoHole)
{
    start();
    const std::vector<QRectF> frames { screens.list[0].geometry, screens.list[1].geometry };
    const QPainterPath screensOnly = SelectionModel::dimmingPath(frames, QRectF());
    EXPECT_EQ(overlay->dimmingPath(), screensOnly);
    press({ 100, 100 });
    EXPECT_EQ(overlay->dimmingPath(), screensOnly);
    drag({ 100, 300 });
    EXPECT_EQ(overlay->dimmingPath(), screensOnly);
    drag({ 200, 300 });
    EXPECT_NE(overlay->dimmingPath(), screensOnly);
    EXPECT_FALSE(overlay->dimmingPath().contains(QPointF(150, 200)));
    QTest::keyClick(overlay.data(), Qt::Key_Escape);
    ASSERT_TRUE(waitDone());
}

TEST_F(OverlayControllerTest, OverlayCoversTheUnionOfAllScreensAndDimsEachOne)
{
    start();
    EXPECT_EQ(grabber.freezeCalls, 1);
    EXPECT_EQ(overlay->frame(), QRectF(0, 0, 3200, 1080));
    EXPECT_EQ(overlay->geometry(), QRect(0, 0, 3200, 1080));
    const Qt::WindowFlags flags = overlay->windowFlags();
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    const QPainterPath &path = overlay->dimmingPath();
    EXPECT_TRUE(path.contains(QPointF(10, 10)));
    EXPECT_TRUE(path.contains(QPointF(3000, 1000)));
    EXPECT_FALSE(path.contains(QPointF(3000, 1050))); // no screen there
    press({ 2000, 100 });
    drag({ 2100, 200 });
    EXPECT_FALSE(overlay->dimmingPath().contains(QPointF(2050, 150)));
    EXPECT_TRUE(overlay->dimmingPath().contains(QPointF(1950, 150)));
    QTest::keyClick(overlay.data(), Qt::Key_Escape);
    ASSERT_TRUE(waitDone());
}

TEST_F(OverlayControllerTest, ScreensLeftOfThePrimary_OverlayStartsAtTheirOrigin)
{
    screens.list = { { QRectF(0, 0, 1920, 1080), 1.0, QPoint(1280, 0) },
        { QRectF(-1280, 0, 1280, 1024), 1.0, QPoint(0, 0) } };
    grabber.frame = FrozenFrame();
    start();
    EXPECT_EQ(overlay->frame(), QRectF(-1280, 0, 3200, 1080));
    press({ -1000, 100 });
    release({ -900, 200 });
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(run.rect, QRectF(-1000, 100, 100, 100));
}

TEST_F(OverlayControllerTest, Picture_IsTheFrozenFrameDimmedWithAClearHole)
{
    start();
    press({ 100, 100 });
    drag({ 300, 200 });
    const QImage picture = overlay->grab().toImage();
    ASSERT_EQ(picture.size(), QSize(3200, 1080));
    // Inside the hole: the frame as it was.
    EXPECT_EQ(QColor(picture.pixel(200, 150)), QColor(200, 100, 40));
    // Outside: the frame under black at alpha 0.35, about 65 % of each channel.
    const QColor dimmed(picture.pixel(50, 50));
    EXPECT_NEAR(dimmed.red(), 200 * 0.65, 2);
    EXPECT_NEAR(dimmed.green(), 100 * 0.65, 2);
    EXPECT_NEAR(dimmed.blue(), 40 * 0.65, 2);
    const QColor dimmedSecond(picture.pixel(2500, 500));
    EXPECT_NEAR(dimmedSecond.red(), 200 * 0.65, 2);
    // Where no screen is there is nothing to show.
    EXPECT_EQ(QColor(picture.pixel(3000, 1050)), QColor(Qt::black));
    QTest::keyClick(overlay.data(), Qt::Key_Escape);
    ASSERT_TRUE(waitDone());
}

TEST_F(OverlayControllerTest, DimmingColour_IsBlackAtAlpha035)
{
    const QColor colour = RegionCaptureOverlay::dimmingColour();
    EXPECT_EQ(colour.rgb() & 0xffffff, 0u);
    EXPECT_NEAR(colour.alphaF(), 0.35, 0.003);
}

TEST_F(OverlayControllerTest, ASecondSelectionAfterTheFirst_WorksAgain)
{
    start();
    press({ 10, 10 });
    release({ 100, 100 });
    ASSERT_TRUE(waitDone());
    run = SelectionRun();
    overlay.clear();
    start();
    EXPECT_EQ(grabber.freezeCalls, 2);
    press({ 20, 20 });
    release({ 120, 140 });
    ASSERT_TRUE(waitDone());
    EXPECT_EQ(run.rect, QRectF(20, 20, 100, 120));
}

} // namespace
