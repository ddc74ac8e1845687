#pragma once

#include "capture/ScreenGrabber.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <memory>
#include <vector>

class ScreenList;

enum class X11GrabMethod {
    automatic, // shared memory when the server offers it, GetImage otherwise
    sharedMemory, // MIT-SHM only; fails without it
    getImage, // the core request only
};

// How the root window's pixels come in a Z-pixmap image.
struct X11PixelLayout {
    int depth = 24;
    int bitsPerPixel = 32;
    int scanlinePad = 32;
    bool mostSignificantByteFirst = false;
    // XCB_VISUAL_CLASS_*; only true colour carries the colour in the pixel itself.
    int visualClass = 4;
    quint32 redMask = 0xff0000;
    quint32 greenMask = 0xff00;
    quint32 blueMask = 0xff;

    int bytesPerLine(int width) const;
    // Empty when convertZPixmap() reads this layout; otherwise what the user is told.
    QString unsupportedReason() const;
};

// Z-pixmap data of that layout (rows padded as it says) as an RGB32 image of the given size.
// Null when the layout is unsupported or the data is too short.
QImage convertZPixmap(const uchar *data, std::size_t length, QSize size, const X11PixelLayout &layout);

struct X11Grab {
    // One image per requested rectangle, in device pixels. Parts of a rectangle beyond the
    // root window are black.
    std::vector<QImage> images;
    bool usedSharedMemory = false;
    // Why nothing was read; the images are then empty.
    QString error;
};

// A connection to the X server and a shared-memory segment kept from one grab to the next:
// opening both for each frame costs a third of the grab. One grab uses it at a time.
class X11GrabConnection;
std::shared_ptr<X11GrabConnection> makeGrabConnection();

// Reads rectangles of the root window (device pixels) on a connection of its own (or on the
// kept one), so it can run on any thread. Either every rectangle is read or none is.
X11Grab grabRootRects(
    const std::vector<QRect> &rects, X11GrabMethod method, X11GrabConnection *kept = nullptr);

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
    std::shared_ptr<X11GrabConnection> m_connection;
};
