#pragma once

#include "OCRServiceError.h"
#include "RegionSelector.h"
#include "ScreenAccess.h"
#include "ScreenGrabber.h"

// Stand-ins where no screen can be read (no display, an unsupported session). The loader's
// Platform carries the reason, so the program explains itself instead of failing oddly.
class NullScreenAccess : public ScreenAccess {
public:
    bool preflight() override { return false; }
    void request() override { }
};

class NullRegionSelector : public RegionSelector {
public:
    QCoro::Task<QRectF> selectRegion() override;
};

class NullScreenGrabber : public ScreenGrabber {
public:
    QCoro::Task<QImage> captureRegion(QRectF rect) override;
    // Nothing can be read, so there is nothing to freeze.
    QCoro::Task<FrozenFrame> freezeFrame() override;
    void releaseFrame() override { }
};
