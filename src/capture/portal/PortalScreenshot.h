#pragma once

#include "capture/ScreenAccess.h"
#include "capture/ScreenGrabber.h"

#include <QDBusConnection>
#include <QImage>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class ScreenList;

// org.freedesktop.portal.Screenshot: one picture of the whole desktop, without a dialog
// where the desktop allows that.
class PortalScreenshot {
public:
    // Long enough for a desktop that asks the user the first time; never for ever.
    static constexpr std::chrono::milliseconds defaultTimeout { 30000 };

    explicit PortalScreenshot(QDBusConnection bus = QDBusConnection::sessionBus(),
        std::chrono::milliseconds timeout = defaultTimeout);

    // The interface's version; 0 when the desktop does not offer it. Asked once (the
    // desktop does not change it while we run).
    uint version() const;
    // Whether the permission store's "screenshot" entry says "no" for this program, as last
    // read; each call has it read again in the background, so a poll never waits on the bus.
    bool isDeniedByPermissionStore() const;
    // Reads the entry now and waits for the answer (the command line, tests).
    bool lookUpDenied() const;

    // Takes the picture (the file the portal wrote is read and removed). Throws
    // CaptureError::screenAccessRefused when the request is refused, cancelled or unanswered,
    // and a plain CaptureError when the file cannot be read. No parent window is named: Qt
    // cannot export one, and a request without a dialog needs none.
    QCoro::Task<QImage> take();

private:
    QDBusMessage permissionLookup() const;

    QDBusConnection m_bus;
    std::chrono::milliseconds m_timeout;
    mutable std::optional<uint> m_version;
    // Shared with the lookup in flight, which may answer after we are gone.
    struct Permission {
        bool denied = false;
        bool lookingUp = false;
    };
    std::shared_ptr<Permission> m_permission = std::make_shared<Permission>();
};

// The portal's picture of the whole output layout, cut into one image per screen at that
// screen's own pixel size (nativeRect). The picture covers the bounding box of the screens'
// logical frames at some scale (usually the largest one); screens at a smaller scale are
// scaled down to their own pixels.
FrozenFrame splitDesktopPicture(const QImage &picture, const std::vector<ScreenInfo> &screens);

// Screen capture on Wayland: the frame is one portal picture taken as a selection starts.
class PortalScreenGrabber : public ScreenGrabber {
public:
    PortalScreenGrabber(PortalScreenshot &portal, ScreenList &screens);

    QCoro::Task<QImage> captureRegion(QRectF rect) override;
    QCoro::Task<FrozenFrame> freezeFrame() override;
    void releaseFrame() override;

private:
    QCoro::Task<FrozenFrame> takeFrame();

    PortalScreenshot &m_portal;
    ScreenList &m_screens;
    FrozenFrame m_frame;
};

// Screen access on Wayland: allowed while the portal offers screenshots and the permission
// store does not refuse us. Asking is the screenshot request itself, so request() has
// nothing to do of its own.
class PortalScreenAccess : public ScreenAccess {
public:
    explicit PortalScreenAccess(PortalScreenshot &portal);
    bool preflight() override;
    void request() override { }

private:
    PortalScreenshot &m_portal;
};

// Screens on Wayland, where Qt's frames are the compositor's logical layout: device pixels
// of the whole desktop are the layout times the largest scale, and each screen's pixels
// start there. Screens never overlap in that space, whatever their scales.
class WaylandScreenList : public ScreenList {
public:
    std::vector<ScreenInfo> displays() const override;
};

// The same placement for any list of logical frames and scales.
std::vector<ScreenInfo> placeLogicalScreens(const std::vector<std::pair<QRectF, qreal>> &screens);
