#pragma once

#include "capture/ScreenGrabber.h"

#include <QImage>
#include <QRect>

#include <atomic>
#include <vector>

class ScreenList;

enum class X11GrabMethod {
    automatic, // shared memory when the server offers it, GetImage otherwise
    sharedMemory, // MIT-SHM only; fails without it
    getImage, // the core request only
};

struct X11Grab {
    // One image per requested rectangle, in device pixels; null ones failed. Parts of a
    // rectangle beyond the root window are black.
    std::vector<QImage> images;
    bool usedSharedMemory = false;
};

// Reads rectangles of the root window (device pixels) on a connection of its own, so it can
// run on any thread.
X11Grab grabRootRects(const std::vector<QRect> &rects, X11GrabMethod method);

// Screen capture on X11 through xcb. The frame and the live grabs are read on the thread pool;
// the screen list is read on the calling (main) thread.
class X11ScreenGrabber : public ScreenGrabber {
public:
    explicit X11ScreenGrabber(ScreenList &screens, X11GrabMethod method = X11GrabMethod::automatic);

    QCoro::Task<QImage> captureRegion(QRectF rect) override;
    QCoro::Task<FrozenFrame> freezeFrame() override;
    void releaseFrame() override;

    bool holdsFrame() const { return !m_frame.isEmpty(); }
    // Whether the last read of the screen went through MIT-SHM.
    bool lastGrabUsedSharedMemory() const { return m_lastGrabUsedSharedMemory; }

private:
    ScreenList &m_screens;
    X11GrabMethod m_method;
    FrozenFrame m_frame;
    bool m_lastGrabUsedSharedMemory = false;
};
