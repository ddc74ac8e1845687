#pragma once

#include <QCoro/QCoroTask>
#include <QRectF>

// Lets the user drag a rectangle over the screens. Yields it in Qt's global logical
// coordinates; throws CaptureError(captureCancelled) when the user cancels.
class RegionSelector {
public:
    virtual ~RegionSelector() = default;
    virtual QCoro::Task<QRectF> selectRegion() = 0;
};
