#pragma once

#include "capture/ScreenList.h"

#include <vector>

// Screens the test sets; the scale is read from the same list, as on a real desktop.
class FakeScreenList : public ScreenList {
public:
    std::vector<ScreenInfo> list;

    std::vector<ScreenInfo> displays() const override { return list; }
};

// A screen as Qt on X11 lays it out: its device top-left is its logical top-left and its
// logical size is the device size divided by the scale.
inline ScreenInfo x11Screen(QRect pixels, qreal scale)
{
    return ScreenInfo { QRectF(QPointF(pixels.topLeft()), QSizeF(pixels.size()) / scale), scale, pixels };
}

// Two 1280 × 1000 monitors side by side, as Qt on X11 lays them out at the given scales.
inline std::vector<ScreenInfo> sideBySide(qreal left, qreal right)
{
    return { x11Screen(QRect(0, 0, 1280, 1000), left), x11Screen(QRect(1280, 0, 1280, 1000), right) };
}
