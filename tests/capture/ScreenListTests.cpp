#include "capture/ScreenList.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

const ScreenInfo primary { QRectF(0, 0, 1920, 1080), 1.0, QPoint(0, 0) };
const ScreenInfo second { QRectF(1920, 0, 1280, 1024), 1.0, QPoint(1920, 0) };

TEST(ScreenCapturePlan, FractionalPointsAtScaleTwo_TruncateToPixels)
{
    const std::vector<ScreenInfo> screens { { QRectF(0, 0, 1440, 900), 2.0, QPoint(0, 0) } };
    const auto plan = planCapture(QRectF(10, 20, 100.6, 40.2), screens, screens);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->scale, 2.0);
    EXPECT_EQ(plan->pixelSize, QSize(201, 80));
    EXPECT_EQ(plan->pixelRect, QRect(20, 40, 201, 80));
}

TEST(ScreenCapturePlan, TinyWidthAtScaleTwo_IsStillOnePixel)
{
    const std::vector<ScreenInfo> screens { { QRectF(0, 0, 1440, 900), 2.0, QPoint(0, 0) } };
    const auto plan = planCapture(QRectF(10, 20, 0.3, 50), screens, screens);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->pixelSize, QSize(1, 100));
    EXPECT_EQ(pixelLength(0.0, 2.0), 1);
    EXPECT_EQ(pixelLength(0.49, 2.0), 1);
    EXPECT_EQ(pixelLength(0.5, 2.0), 1);
    EXPECT_EQ(pixelLength(0.99, 2.0), 1);
    EXPECT_EQ(pixelLength(1.0, 2.0), 2);
    EXPECT_EQ(pixelLength(10.7, 1.0), 10);
}

TEST(ScreenCapturePlan, RectangleOnNoScreen_UsesTheFirstWithSourceRelativeToIt)
{
    const std::vector<ScreenInfo> displays { { QRectF(100, 50, 800, 600), 1.0, QPoint(100, 50) }, second };
    const auto plan = planCapture(QRectF(5000, 3000, 100, 50), displays, displays);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->displayIndex, 0u);
    EXPECT_EQ(plan->sourceRect, QRectF(4900, 2950, 100, 50));
    EXPECT_EQ(plan->pixelSize, QSize(100, 50));
}

TEST(ScreenCapturePlan, NoScreens_NoPlan)
{
    EXPECT_FALSE(planCapture(QRectF(0, 0, 10, 10), {}, {}).has_value());
    EXPECT_FALSE(chooseDisplay(QRectF(0, 0, 10, 10), {}).has_value());
}

TEST(ScreenCapturePlan, SecondScreenAtX1920_SourceIsRelativeToIt)
{
    const std::vector<ScreenInfo> displays { primary, second };
    const auto plan = planCapture(QRectF(2000, 100, 300, 200), displays, displays);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->displayIndex, 1u);
    EXPECT_EQ(plan->sourceRect, QRectF(80, 100, 300, 200));
    EXPECT_EQ(plan->pixelRect, QRect(80, 100, 300, 200));
    EXPECT_EQ(plan->pixelRect.translated(displays[1].nativeOrigin), QRect(2000, 100, 300, 200));
}

TEST(ScreenCapturePlan, HiDpiSecondScreen_PixelsCountFromItsOwnTopLeft)
{
    const ScreenInfo retina { QRectF(1920, 0, 1440, 900), 2.0, QPoint(1920, 0) };
    const std::vector<ScreenInfo> displays { primary, retina };
    const auto plan = planCapture(QRectF(2000, 100, 100.6, 40.2), displays, displays);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->displayIndex, 1u);
    EXPECT_EQ(plan->scale, 2.0);
    EXPECT_EQ(plan->pixelRect, QRect(160, 200, 201, 80));
}

TEST(ScreenCapturePlan, RectangleAcrossTwoScreens_TakesTheFirstItMeets)
{
    const std::vector<ScreenInfo> displays { primary, second };
    EXPECT_EQ(chooseDisplay(QRectF(1900, 100, 100, 100), displays), 0u);
    const std::vector<ScreenInfo> reversed { second, primary };
    EXPECT_EQ(chooseDisplay(QRectF(1900, 100, 100, 100), reversed), 0u);
    // Sharing only the edge is not meeting.
    EXPECT_EQ(chooseDisplay(QRectF(1920, 100, 100, 100), displays), 1u);
}

TEST(ScreenCapturePlan, DisplayMatchingNoScreenWithinOnePoint_IsReadAtScaleTwo)
{
    const ScreenInfo display { QRectF(0, 0, 1920, 1080), 1.0, QPoint(0, 0) };
    EXPECT_EQ(scaleForDisplay(display, { { QRectF(0, 0, 1921, 1080), 1.0, {} } }), 2.0);
    EXPECT_EQ(scaleForDisplay(display, { { QRectF(-1, 0, 1920, 1080), 1.0, {} } }), 2.0);
    EXPECT_EQ(scaleForDisplay(display, {}), 2.0);
    EXPECT_EQ(scaleForDisplay(display, { { QRectF(0.5, -0.9, 1920.99, 1079.5), 1.25, {} } }), 1.25);
    // The first match wins.
    EXPECT_EQ(scaleForDisplay(display,
                  { { QRectF(5, 0, 1920, 1080), 3.0, {} }, { QRectF(0, 0, 1920, 1080), 1.5, {} },
                      { QRectF(0, 0, 1920, 1080), 1.0, {} } }),
        1.5);

    const auto plan
        = planCapture(QRectF(10, 10, 100, 50), { display }, { { QRectF(0, 0, 1280, 720), 1.0, {} } });
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->scale, 2.0);
    EXPECT_EQ(plan->pixelSize, QSize(200, 100));
}

// An image whose every pixel tells where it is: red = x, green = y (both mod 256), blue the
// screen's mark.
QImage positionImage(QSize size, int mark)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, mark));
    return image;
}

FrozenFrame twoScreenFrame()
{
    FrozenFrame frame;
    frame.screens.push_back(
        { primary.geometry, 1.0, primary.nativeOrigin, positionImage(QSize(1920, 1080), 1) });
    frame.screens.push_back(
        { second.geometry, 1.0, second.nativeOrigin, positionImage(QSize(1280, 1024), 2) });
    return frame;
}

TEST(FrozenFrameCrop, SecondScreen_CutsAtItsOwnOffsets)
{
    const QImage image = cropFrozenFrame(twoScreenFrame(), QRectF(2000, 100, 30, 20));
    ASSERT_EQ(image.size(), QSize(30, 20));
    EXPECT_EQ(image.pixel(0, 0), qRgb(80, 100, 2));
    EXPECT_EQ(image.pixel(29, 19), qRgb(109, 119, 2));
}

TEST(FrozenFrameCrop, PrimaryScreen_CutsTheSelectedPixels)
{
    const QImage image = cropFrozenFrame(twoScreenFrame(), QRectF(40, 100, 60, 60));
    ASSERT_EQ(image.size(), QSize(60, 60));
    EXPECT_EQ(image.pixel(0, 0), qRgb(40, 100, 1));
    EXPECT_EQ(image.pixel(59, 59), qRgb(99, 159, 1));
}

TEST(FrozenFrameCrop, ScaleTwo_CutsDevicePixels)
{
    FrozenFrame frame;
    frame.screens.push_back({ QRectF(0, 0, 100, 100), 2.0, QPoint(0, 0), positionImage(QSize(200, 200), 3) });
    const QImage image = cropFrozenFrame(frame, QRectF(10, 20, 50.6, 30.2));
    ASSERT_EQ(image.size(), QSize(101, 60));
    EXPECT_EQ(image.pixel(0, 0), qRgb(20, 40, 3));
    EXPECT_EQ(image.pixel(100, 59), qRgb(120, 99, 3));
}

TEST(FrozenFrameCrop, BeyondTheScreen_IsBlack)
{
    const QImage image = cropFrozenFrame(twoScreenFrame(), QRectF(3190, 1014, 20, 20));
    ASSERT_EQ(image.size(), QSize(20, 20));
    EXPECT_EQ(image.pixel(0, 0), qRgb(1270 % 256, 1014 % 256, 2));
    EXPECT_EQ(image.pixel(15, 15), qRgb(0, 0, 0));
}

TEST(FrozenFrameCrop, EmptyFrame_GivesNoImage)
{
    EXPECT_TRUE(cropFrozenFrame(FrozenFrame(), QRectF(0, 0, 10, 10)).isNull());
}

} // namespace
