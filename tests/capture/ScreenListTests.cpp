#include "capture/DesktopPattern.h"
#include "capture/ScreenGrabber.h"
#include "capture/ScreenList.h"
#include "fakes/FakeScreenList.h"

#include <gtest/gtest.h>

namespace {

// On a 1x screen beside a 2x one: the pixels are the selection's device pixels, truncated and
// at least one; the first screen the rectangle meets gives the scale.
TEST(ScreenCapturePlan, PixelsAndTheScaleOfTheFirstScreenTheSelectionMeets)
{
    const struct {
        const char *name;
        QRectF rect;
        QRect pixels;
        std::size_t display;
    } rows[] {
        { "whole pixels", QRectF(40, 100, 60, 60), QRect(40, 100, 60, 60), 0 },
        { "fractional corner and size", QRectF(10.5, 20.25, 201.6, 80.9), QRect(10, 20, 201, 80), 0 },
        { "thinner than a pixel", QRectF(10, 20, 0.3, 50), QRect(10, 20, 1, 50), 0 },
        { "left of the primary", QRectF(-30, 5, 60, 10), QRect(-30, 5, 60, 10), 0 },
        { "wholly on the second", QRectF(1500, 300, 400, 200), QRect(1500, 300, 400, 200), 1 },
        { "across the boundary: the first it meets", QRectF(1180, 400, 200, 100), QRect(1180, 400, 200, 100),
            0 },
        { "sharing only the edge is not meeting", QRectF(1280, 100, 100, 100), QRect(1280, 100, 100, 100),
            1 },
        { "of no size, inside the second", QRectF(1300, 100, 0, 0), QRect(1300, 100, 1, 1), 1 },
        { "on no screen: the first", QRectF(5000, 3000, 100, 50), QRect(5000, 3000, 100, 50), 0 },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const auto plan = planCapture(row.rect, sideBySide(1, 2), sideBySide(1, 2));
        ASSERT_TRUE(plan.has_value());
        EXPECT_EQ(plan->pixelRect, row.pixels);
        EXPECT_EQ(plan->displayIndex, row.display);
        EXPECT_EQ(plan->scale, row.display == 0 ? 1.0 : 2.0);
    }
    for (const auto &[points, scale, pixels] : { std::tuple { 0.0, 2.0, 1 }, { 0.49, 2.0, 1 },
             { 0.99, 2.0, 1 }, { 1.0, 2.0, 2 }, { 100.6, 2.0, 201 }, { 40.2, 2.0, 80 }, { 10.7, 1.0, 10 } })
        EXPECT_EQ(pixelLength(points, scale), pixels) << points << " at " << scale;
    const std::vector<ScreenInfo> reversed { sideBySide(1, 2)[1], sideBySide(1, 2)[0] };
    EXPECT_EQ(chooseDisplay(QRectF(1180, 400, 200, 100), reversed), 0u);
    EXPECT_FALSE(planCapture(QRectF(0, 0, 10, 10), {}, {}).has_value());
}

TEST(ScreenCapturePlan, DisplayMatchingNoScreenWithinOnePoint_IsReadAtScaleTwo)
{
    const ScreenInfo display { QRectF(0, 0, 1920, 1080), 1.0, QRect(0, 0, 1920, 1080) };
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
        = planCapture(QRectF(10, 10, 100, 50), { display }, { x11Screen(QRect(0, 0, 1280, 720), 1) });
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->scale, 2.0);
}

// A frame of two monitors whose images show the desktop pattern; the second may be shorter.
FrozenFrame patternFrame(qreal left, qreal right, int secondHeight = 1000)
{
    FrozenFrame frame;
    for (const ScreenInfo &screen :
        { x11Screen(QRect(0, 0, 1280, 1000), left), x11Screen(QRect(1280, 0, 1280, secondHeight), right) })
        frame.screens.push_back({ screen, desktopPattern(screen.nativeRect) });
    return frame;
}

// Whole selections on one or both screens are pixel-exact under real X (x11 TwoMonitors); here
// a fractional one, and where no screen is: below a shorter second monitor and beyond the right.
TEST(FrozenFrameCrop, FractionsAreTruncated_WhereNoScreenIsIsBlack)
{
    const QImage fractional = cropFrozenFrame(patternFrame(2, 2), QRectF(201.5, 101, 50.7, 30.2));
    EXPECT_EQ(pixelsOffPattern(fractional, QRect(201, 101, 50, 30)), 0);
    EXPECT_EQ(fractional.devicePixelRatio(), 2.0);
    const QImage image = cropFrozenFrame(patternFrame(1, 1, 800), QRectF(2540, 790, 40, 20));
    ASSERT_EQ(image.size(), QSize(40, 20));
    EXPECT_EQ(image.pixel(0, 0), desktopPatternAt(2540, 790));
    EXPECT_EQ(image.pixel(19, 9), desktopPatternAt(2559, 799));
    EXPECT_EQ(image.pixel(20, 0), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(0, 10), qRgb(0, 0, 0));
    EXPECT_TRUE(cropFrozenFrame(FrozenFrame(), QRectF(0, 0, 10, 10)).isNull());
}

} // namespace
