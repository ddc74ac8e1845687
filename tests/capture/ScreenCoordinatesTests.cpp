#include "capture/ScreenCoordinates.h"
#include "fakes/FakeScreenList.h"

#include <gtest/gtest.h>

namespace {

struct MappingCase {
    const char *name;
    std::vector<ScreenInfo> screens;
    std::size_t screen;
    QPointF logical;
    QPointF device;
    std::optional<std::size_t> screenAtDevice;
    qreal scaleAtDevice;
};

TEST(ScreenCoordinates, LogicalPointsMapToTheDevicePixelUnderThePointerAndBack)
{
    const std::vector<ScreenInfo> oneAndAHalf { x11Screen(QRect(0, 0, 1920, 1080), 1.5) };
    // A monitor left of the primary, and one whose pixels do not touch the others.
    const std::vector<ScreenInfo> apart { x11Screen(QRect(-1280, 0, 1280, 1000), 2.0),
        x11Screen(QRect(0, 0, 1920, 1080), 1.0), x11Screen(QRect(2000, 0, 800, 600), 1.0) };
    const MappingCase cases[] {
        { "scale 1", sideBySide(1, 1), 0, { 100, 50 }, { 100, 50 }, 0, 1.0 },
        { "scale 1, second screen", sideBySide(1, 1), 1, { 1300.25, 7 }, { 1300.25, 7 }, 1, 1.0 },
        { "scale 1.5, whole logical point", oneAndAHalf, 0, { 134, 67 }, { 201, 100.5 }, 0, 1.5 },
        { "scale 1.5, half point", oneAndAHalf, 0, { 0.5, 1 }, { 0.75, 1.5 }, 0, 1.5 },
        // The pixel (201, 101) is the logical point (100.5, 50.5): whole points would miss it.
        { "scale 2", sideBySide(2, 2), 0, { 100.5, 50.5 }, { 201, 101 }, 0, 2.0 },
        { "scale 2, second screen counts from its own top-left", sideBySide(2, 2), 1, { 1380.5, 50 },
            { 1481, 100 }, 1, 2.0 },
        { "scales 1 and 2: last pixel of the first", sideBySide(1, 2), 0, { 1279, 999 }, { 1279, 999 }, 0,
            1.0 },
        { "scales 1 and 2: first pixel of the second", sideBySide(1, 2), 1, { 1280, 0 }, { 1280, 0 }, 1,
            2.0 },
        // Between two scale-2 screens logical space has a gap (640 to 1280): the first screen's
        // last pixel is at 639.5, the second's first at 1280, yet in device pixels they touch.
        { "gap: last pixel of the first", sideBySide(2, 2), 0, { 639.5, 0 }, { 1279, 0 }, 0, 2.0 },
        { "gap: first pixel of the second", sideBySide(2, 2), 1, { 1280, 0 }, { 1280, 0 }, 1, 2.0 },
        // A window holding the pointer grab gets positions beyond itself at its own scale;
        // they still land on the right pixel of the next screen.
        { "beyond the window, on the next screen", sideBySide(2, 1), 0, { 700, 10 }, { 1400, 20 }, 1, 1.0 },
        { "screen left of the primary", apart, 0, { -1000, 10 }, { -720, 20 }, 0, 2.0 },
        { "between screens whose pixels do not touch", apart, 1, { 1950, 0 }, { 1950, 0 }, std::nullopt,
            1.0 },
        { "below a shorter screen", apart, 2, { 2100, 700 }, { 2100, 700 }, std::nullopt, 1.0 },
    };
    for (const MappingCase &c : cases) {
        SCOPED_TRACE(c.name);
        const ScreenCoordinates coordinates(c.screens);
        EXPECT_EQ(coordinates.toDevice(c.screen, c.logical), c.device);
        EXPECT_EQ(coordinates.toLogical(c.screen, c.device), c.logical);
        EXPECT_EQ(coordinates.screenAt(c.device), c.screenAtDevice);
        EXPECT_EQ(coordinates.scaleAt(c.device), c.scaleAtDevice);
    }
}

TEST(ScreenCoordinates, EveryDevicePixelOfTwoScaledScreensBelongsToExactlyOneOfThem)
{
    for (const auto &[left, right] : { std::pair { 1.0, 1.0 }, { 1.0, 2.0 }, { 2.0, 2.0 }, { 1.5, 1.0 } }) {
        SCOPED_TRACE(testing::Message() << left << ";" << right);
        const ScreenCoordinates coordinates(sideBySide(left, right));
        for (int x = 0; x < 2560; ++x) {
            const std::optional<std::size_t> screen = coordinates.screenAt(QPointF(x + 0.5, 500));
            ASSERT_EQ(screen, std::optional<std::size_t>(x < 1280 ? 0 : 1)) << x;
            // The pixel's logical point on its screen lies inside that screen's logical frame.
            const QPointF logical = coordinates.toLogical(*screen, QPointF(x, 500));
            ASSERT_TRUE(coordinates.screens()[*screen].geometry.contains(logical)) << x;
            ASSERT_EQ(coordinates.toDevice(*screen, logical), QPointF(x, 500)) << x;
        }
    }
}

} // namespace
