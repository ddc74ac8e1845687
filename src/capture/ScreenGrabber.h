#pragma once

#include <QCoro/QCoroTask>
#include <QImage>
#include <QRectF>

#include <vector>

// One screen as it looked when a selection started: its logical frame (global coordinates),
// its scale, where its pixels start on the X root window (or the platform's equivalent), and
// the image in device pixels.
struct FrozenScreen {
    QRectF geometry;
    qreal scale = 1.0;
    QPoint nativeOrigin;
    QImage image;
};

// A picture of every screen, taken before the overlay covers them: the overlay paints it and
// the capture is cut from it, so the capture never contains the overlay and never depends on
// how fast the windows below repaint once it is gone.
struct FrozenFrame {
    std::vector<FrozenScreen> screens;
    bool isEmpty() const { return screens.empty(); }
};

// Captures a rectangle of the screen. The rectangle is in Qt's global logical coordinates
// (top-left origin, y down) exactly as the region selector delivered it.
// Throws CaptureError (noCapturedImage, or a platform error with its description).
class ScreenGrabber {
public:
    virtual ~ScreenGrabber() = default;
    // Cuts the rectangle out of the frozen frame and releases the frame; without a frame it
    // reads the screen as it is now.
    virtual QCoro::Task<QImage> captureRegion(QRectF rect) = 0;
    // Takes and keeps a frame of every screen (replacing an older one) and hands it back for
    // painting. An empty frame means the grabber cannot freeze; captures are then live.
    virtual QCoro::Task<FrozenFrame> freezeFrame() { co_return FrozenFrame(); }
    // Drops the kept frame, e.g. when the selection was cancelled.
    virtual void releaseFrame() { }
};
