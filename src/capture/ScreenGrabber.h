#pragma once

#include "ScreenList.h"

#include <QCoro/QCoroTask>
#include <QImage>
#include <QRectF>

#include <vector>

// One screen as it looked when a selection started: where it is, and its pixels (the size of
// its nativeRect).
struct FrozenScreen {
    ScreenInfo screen;
    QImage image;
};

// A picture of every screen, taken before the overlay covers them: the overlay paints it and
// the capture is cut from it, so the capture never contains the overlay and never depends on
// how fast the windows below repaint once it is gone.
struct FrozenFrame {
    std::vector<FrozenScreen> screens;
    bool isEmpty() const { return screens.empty(); }
};

// Captures a rectangle of the screen, given in device pixels of the whole desktop exactly as
// the region selector delivered it. The image has the pixels of every screen the rectangle
// touches, one to one.
// Throws CaptureError (noCapturedImage, or a platform error with its description).
class ScreenGrabber {
public:
    virtual ~ScreenGrabber() = default;
    // Cuts the rectangle out of the frozen frame and releases the frame; without a frame it
    // reads the screen as it is now.
    virtual QCoro::Task<QImage> captureRegion(QRectF rect) = 0;
    // Takes and keeps a frame of every screen (replacing an older one) and hands it back for
    // painting. An empty frame means the grabber cannot freeze; captures are then live. Throws
    // CaptureError with the reason when the screens cannot be read.
    virtual QCoro::Task<FrozenFrame> freezeFrame() { co_return FrozenFrame(); }
    // Drops the kept frame, e.g. when the selection was cancelled.
    virtual void releaseFrame() { }
};
