#pragma once

#include <QCoro/QCoroTask>
#include <QRectF>

#include <functional>

// Lets the user drag a rectangle over the screens. Yields it in device pixels of the whole
// desktop (top-left origin, y down), the one space in which a rectangle can span screens of
// different scales; throws CaptureError(captureCancelled) when the user cancels.
class RegionSelector {
public:
    virtual ~RegionSelector() = default;
    virtual QCoro::Task<QRectF> selectRegion() = 0;
    // Where the compositor gives the clipboard only to the client with the keyboard focus
    // (Wayland), the overlay stays up, busy, after a selection until this is called, so the
    // result can be copied while it still has the focus. Elsewhere it is gone already.
    virtual void dismissSelection() { }
    // Called with Escape pressed over that busy overlay: the user wants the reading stopped.
    std::function<void()> onCancelWhileHeld;
};
