#pragma once

#include <QImage>
#include <QRect>
#include <QRectF>

#include <optional>
#include <vector>

struct FrozenFrame;

// One screen in both spaces: its frame in Qt's logical coordinates, its scale, and the device
// pixels it shows on the desktop (on X11 the root window). ScreenCoordinates converts between
// the two.
struct ScreenInfo {
    QRectF geometry;
    qreal scale = 1.0;
    QRect nativeRect;
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

// What one capture reads: the display the rectangle is counted on, its scale, and the device
// pixels of the whole desktop that make up the image.
struct CapturePlan {
    std::size_t displayIndex = 0;
    qreal scale = 2.0;
    QRect pixelRect;
};

// The first display whose pixels contain or meet the device rectangle, else the first display;
// absent when there are none.
std::optional<std::size_t> chooseDisplay(const QRectF &rect, const std::vector<ScreenInfo> &displays);
// The scale of the first screen whose frame differs from the display's by less than 1 point
// in x, y, width and height; 2 when none does.
qreal scaleForDisplay(const ScreenInfo &display, const std::vector<ScreenInfo> &screens);
// max(1, scale × points), truncated toward zero.
int pixelLength(qreal points, qreal scale);
// The plan for a rectangle in device pixels of the whole desktop.
std::optional<CapturePlan> planCapture(
    const QRectF &rect, const std::vector<ScreenInfo> &displays, const std::vector<ScreenInfo> &screens);

// The device rectangle cut out of the frozen frame, from every screen it touches; pixels that
// lie on no screen are black. Null when the frame has no screens.
QImage cropFrozenFrame(const FrozenFrame &frame, const QRectF &rect);
