#include "capture/SelectionModel.h"

#include <gtest/gtest.h>

namespace {

// The mouse rules, each case in one place: the controller and the windows only pass device
// points through to them.
TEST(SelectionModel, MouseSequences)
{
    enum Kind { press, press2x, drag, release };
    struct Step {
        Kind kind;
        QPointF point;
    };
    using Release = SelectionModel::Release;
    struct Case {
        const char *name;
        std::vector<Step> steps;
        // What the last step left: the release's answer (none when the last step is no release).
        std::optional<Release> released;
        QRectF rect; // finishedRect() after a release, selectionRect() otherwise
    };
    const Case cases[] {
        { "drag up and left gives the normalised rectangle",
            { { press, { 100, 100 } }, { drag, { 70, 130 } }, { drag, { 40, 160 } },
                { release, { 40, 160 } } },
            Release::selected, QRectF(40, 100, 60, 60) },
        { "a press starts an empty selection at the point", { { press, { 12.5, 30 } } }, std::nullopt,
            QRectF(12.5, 30, 0, 0) },
        { "exactly five by five is a selection", { { press, { 10, 10 } }, { release, { 15, 15 } } },
            Release::selected, QRectF(10, 10, 5, 5) },
        { "4.9 by 300 cancels",
            { { press, { 10, 10 } }, { drag, { 14.9, 310 } }, { release, { 14.9, 310 } } },
            Release::cancelled, QRectF() },
        { "a click without movement cancels", { { press, { 300, 200 } }, { release, { 300, 200 } } },
            Release::cancelled, QRectF() },
        { "a release before any press changes nothing", { { release, { 300, 200 } } }, Release::ignored,
            QRectF() },
        { "a drag before any press changes nothing", { { drag, { 300, 200 } } }, std::nullopt, QRectF() },
        { "a second press restarts from the new anchor",
            { { press, { 10, 10 } }, { drag, { 300, 300 } }, { press, { 500, 500 } } }, std::nullopt,
            QRectF(500, 500, 0, 0) },
        { "after a second press the drag spans from it",
            { { press, { 10, 10 } }, { drag, { 300, 300 } }, { press, { 500, 500 } }, { drag, { 600, 650 } },
                { release, { 600, 650 } } },
            Release::selected, QRectF(500, 500, 100, 150) },
        // Five points on a scale-2 screen are ten device pixels.
        { "scale 2: 4.9 points by 300 cancels", { { press2x, { 10, 10 } }, { release, { 19.8, 610 } } },
            Release::cancelled, QRectF() },
        { "scale 2: five by five points is a selection",
            { { press2x, { 201, 101 } }, { release, { 211, 111 } } }, Release::selected,
            QRectF(201, 101, 10, 10) },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SelectionModel model;
        std::optional<Release> released;
        for (const Step &step : c.steps) {
            released.reset();
            switch (step.kind) {
            case press:
                model.press(step.point);
                break;
            case press2x:
                model.press(step.point, 2.0);
                break;
            case drag:
                model.drag(step.point);
                break;
            case release:
                released = model.release(step.point);
                break;
            }
        }
        EXPECT_EQ(released, c.released);
        EXPECT_EQ(released ? model.finishedRect() : model.selectionRect(), c.rect);
        // A release always ends the selection; a press always leaves an anchor.
        if (released)
            EXPECT_FALSE(model.anchor().has_value());
        else if (c.steps.back().kind != drag)
            EXPECT_EQ(model.anchor(), std::optional<QPointF>(c.steps.back().point));
    }
}

} // namespace
