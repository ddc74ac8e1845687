#include "capture/SelectionModel.h"

#include <gtest/gtest.h>

namespace {

TEST(SelectionModel, DragUpAndLeft_GivesTheNormalisedRectangle)
{
    SelectionModel model;
    model.press({ 100, 100 });
    model.drag({ 40, 160 });
    EXPECT_EQ(model.selectionRect(), QRectF(40, 100, 60, 60));
    EXPECT_EQ(model.release({ 40, 160 }), SelectionModel::Release::selected);
    EXPECT_EQ(model.finishedRect(), QRectF(40, 100, 60, 60));
    EXPECT_FALSE(model.anchor().has_value());
}

TEST(SelectionModel, Press_SetsAnchorAndAnEmptySelectionAtThePoint)
{
    SelectionModel model;
    model.press({ 12.5, 30 });
    ASSERT_TRUE(model.anchor().has_value());
    EXPECT_EQ(*model.anchor(), QPointF(12.5, 30));
    EXPECT_EQ(model.selectionRect(), QRectF(12.5, 30, 0, 0));
}

TEST(SelectionModel, NarrowerThanFivePoints_Cancels)
{
    SelectionModel model;
    model.press({ 10, 10 });
    model.drag({ 14.9, 310 });
    EXPECT_EQ(model.release({ 14.9, 310 }), SelectionModel::Release::cancelled);
}

TEST(SelectionModel, ExactlyFiveByFive_IsASelection)
{
    SelectionModel model;
    model.press({ 10, 10 });
    EXPECT_EQ(model.release({ 15, 15 }), SelectionModel::Release::selected);
    EXPECT_EQ(model.finishedRect(), QRectF(10, 10, 5, 5));
}

TEST(SelectionModel, ClickWithoutMovement_Cancels)
{
    SelectionModel model;
    model.press({ 300, 200 });
    EXPECT_EQ(model.release({ 300, 200 }), SelectionModel::Release::cancelled);
}

TEST(SelectionModel, ReleaseBeforeAnyPress_ChangesNothing)
{
    SelectionModel model;
    EXPECT_EQ(model.release({ 300, 200 }), SelectionModel::Release::ignored);
    EXPECT_FALSE(model.anchor().has_value());
    EXPECT_EQ(model.selectionRect(), QRectF());
}

TEST(SelectionModel, DragBeforeAnyPress_ChangesNothing)
{
    SelectionModel model;
    model.drag({ 300, 200 });
    EXPECT_EQ(model.selectionRect(), QRectF());
}

TEST(SelectionModel, SecondPress_RestartsFromTheNewAnchor)
{
    SelectionModel model;
    model.press({ 10, 10 });
    model.drag({ 300, 300 });
    model.press({ 500, 500 });
    EXPECT_EQ(*model.anchor(), QPointF(500, 500));
    EXPECT_EQ(model.selectionRect(), QRectF(500, 500, 0, 0));
    model.drag({ 600, 650 });
    EXPECT_EQ(model.release({ 600, 650 }), SelectionModel::Release::selected);
    EXPECT_EQ(model.finishedRect(), QRectF(500, 500, 100, 150));
}

TEST(SelectionModel, DimmingPath_HasOneRectanglePerScreenAndAHoleForTheSelection)
{
    const std::vector<QRectF> screens { QRectF(0, 0, 1920, 1080), QRectF(1920, 0, 1280, 1024) };
    const QPainterPath path = SelectionModel::dimmingPath(screens, QRectF(100, 100, 200, 50));
    EXPECT_EQ(path.fillRule(), Qt::OddEvenFill);
    EXPECT_TRUE(path.contains(QPointF(50, 50)));
    EXPECT_TRUE(path.contains(QPointF(2000, 500)));
    EXPECT_FALSE(path.contains(QPointF(150, 120))); // the hole
    EXPECT_FALSE(path.contains(QPointF(2000, 1050))); // below the shorter second screen
    EXPECT_EQ(path.elementCount(), 3 * 5); // three closed rectangles
}

TEST(SelectionModel, DimmingPath_HoleOnTheSecondScreen)
{
    const std::vector<QRectF> screens { QRectF(0, 0, 1920, 1080), QRectF(1920, 0, 1280, 1024) };
    const QPainterPath path = SelectionModel::dimmingPath(screens, QRectF(2000, 100, 100, 100));
    EXPECT_FALSE(path.contains(QPointF(2050, 150)));
    EXPECT_TRUE(path.contains(QPointF(1950, 150)));
}

TEST(SelectionModel, ZeroSizeSelection_MakesNoHole)
{
    const std::vector<QRectF> screens { QRectF(0, 0, 1920, 1080) };
    const QPainterPath screensOnly = SelectionModel::dimmingPath(screens, QRectF());
    EXPECT_EQ(SelectionModel::dimmingPath(screens, QRectF(100, 100, 0, 0)), screensOnly);
    EXPECT_EQ(SelectionModel::dimmingPath(screens, QRectF(100, 100, 0, 300)), screensOnly);
    EXPECT_EQ(SelectionModel::dimmingPath(screens, QRectF(100, 100, 300, 0)), screensOnly);
    EXPECT_EQ(screensOnly.elementCount(), 5);
    EXPECT_TRUE(screensOnly.contains(QPointF(100, 100)));
}

TEST(SelectionModel, NoScreens_PathIsEmpty)
{
    EXPECT_TRUE(SelectionModel::dimmingPath({}, QRectF()).isEmpty());
}

} // namespace
