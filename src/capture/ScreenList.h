#pragma once

#include "ScreenGrabber.h"

#include <QImage>
#include <QPoint>
#include <QRectF>
#include <QSize>

#include <optional>
#include <vector>

// One screen in Qt's global logical coordinates. nativeOrigin is where its pixels start on
// the X root window: Qt keeps a screen's native top-left as its logical top-left and scales
// only the size, so the two differ from the frame only in size.
struct ScreenInfo {
    QRectF geometry;
    qreal scale = 1.0;
    QPoint nativeOrigin;

    // The screen's pixels on the root window.
    QRect nativeRect() const;
};

// Where the screens are. Behind an interface so tests can give several, odd ones.
class ScreenList {
public:
    virtual ~ScreenList() = default;
    // The screens that can be captured, in order (the primary first).
    virtual std::vector<ScreenInfo> displays() const = 0;
    // The screens the scale is read from; matched to a display by frame.
    virtual std::vector<ScreenInfo> screens() const { return displays(); }
};

// QGuiApplication::screens(), devicePixelRatio as the scale. Main thread only.
class QtScreenList : public ScreenList {
public:
    std::vector<ScreenInfo> displays() const override;
};

// What one capture reads: which display, where on it (points, relative to its frame), at
// which scale, how many pixels, and where those pixels lie in the display's own image.
struct CapturePlan {
    std::size_t displayIndex = 0;
    QRectF sourceRect;
    qreal scale = 2.0;
    QSize pixelSize;
    // sourceRect in device pixels, relative to the display's top-left pixel.
    QRect pixelRect;
};

// The first display whose frame contains or meets the rectangle, else the first display;
// absent when there are none.
std::optional<std::size_t> chooseDisplay(const QRectF &rect, const std::vector<ScreenInfo> &displays);
// The scale of the first screen whose frame differs from the display's by less than 1 point
// in x, y, width and height; 2 when none does.
qreal scaleForDisplay(const ScreenInfo &display, const std::vector<ScreenInfo> &screens);
// max(1, scale × points), truncated toward zero.
int pixelLength(qreal points, qreal scale);
std::optional<CapturePlan> planCapture(
    const QRectF &rect, const std::vector<ScreenInfo> &displays, const std::vector<ScreenInfo> &screens);

// The rectangle cut out of a frozen frame, following the plan over the frame's screens;
// pixels beyond the chosen screen's image stay black. Null when the frame has no screens.
QImage cropFrozenFrame(const FrozenFrame &frame, const QRectF &rect);
