#include "NullPlatform.h"

QCoro::Task<QRectF> NullRegionSelector::selectRegion()
{
    throw CaptureError(OCRServiceError::captureCancelled);
    co_return QRectF();
}

QCoro::Task<QImage> NullScreenGrabber::captureRegion(QRectF)
{
    throw CaptureError(OCRServiceError::noCapturedImage);
    co_return QImage();
}

QCoro::Task<FrozenFrame> NullScreenGrabber::freezeFrame()
{
    co_return FrozenFrame();
}
