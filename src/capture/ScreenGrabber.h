#pragma once

#include <QCoro/QCoroTask>
#include <QImage>
#include <QRectF>

// Captures a rectangle of the screen. The rectangle is in Qt's global logical coordinates
// (top-left origin, y down) exactly as the region selector delivered it.
// Throws CaptureError (noCapturedImage, or a platform error with its description).
class ScreenGrabber {
public:
    virtual ~ScreenGrabber() = default;
    virtual QCoro::Task<QImage> captureRegion(QRectF rect) = 0;
};
