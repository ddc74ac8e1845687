#pragma once

#include "ScreenList.h"

#include <QPointF>

#include <optional>
#include <vector>

// Qt's logical coordinates of each screen, and the device pixels of the whole desktop, both
// ways. Qt keeps every screen's device top-left as its logical top-left and divides only the
// size by the scale, so at scales other than 1 logical space has gaps and overlaps between
// screens: a point means something only together with its screen, and anything that spans
// screens is held in device pixels.
class ScreenCoordinates {
public:
    ScreenCoordinates() = default;
    explicit ScreenCoordinates(std::vector<ScreenInfo> screens);

    const std::vector<ScreenInfo> &screens() const { return m_screens; }

    // A point in the screen's logical coordinates (fractional, as mouse events give them) to
    // device pixels, and back.
    QPointF toDevice(std::size_t screen, QPointF logical) const;
    QPointF toLogical(std::size_t screen, QPointF device) const;
    // The screen whose pixels hold the device point.
    std::optional<std::size_t> screenAt(QPointF device) const;
    // The scale of that screen; 1 where there is none.
    qreal scaleAt(QPointF device) const;

private:
    std::vector<ScreenInfo> m_screens;
};
