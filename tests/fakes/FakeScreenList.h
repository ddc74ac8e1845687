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
