#include "PortalScreenshot.h"

#include <QDBusPendingCallWatcher>

#include "capture/OCRServiceError.h"
#include "capture/ScreenList.h"
#include "platform/PortalVersions.h"
#include "platform/portal/PortalReplies.h"
#include "platform/portal/PortalRequest.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QDebug>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QLoggingCategory>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {

Q_LOGGING_CATEGORY(lcCapture, "glyphwell.capture.portal", QtInfoMsg)

const QString screenshotInterface = QStringLiteral("org.freedesktop.portal.Screenshot");

// Keys under which the permission store may know this program: a program outside a sandbox
// has the empty id; a sandboxed build has its application id.
const QStringList permissionIds = { QString(), QStringLiteral("io.glyphwell.Glyphwell") };

QRectF boundingBox(const std::vector<ScreenInfo> &screens)
{
    QRectF box;
    for (const ScreenInfo &screen : screens)
        box = box.isNull() ? screen.geometry : box.united(screen.geometry);
    return box;
}

} // namespace

PortalScreenshot::PortalScreenshot(QDBusConnection bus, std::chrono::milliseconds timeout)
    : m_bus(std::move(bus))
    , m_timeout(timeout)
{ }

uint PortalScreenshot::version() const
{
    if (!m_version)
        m_version = portalInterfaceVersion(m_bus, screenshotInterface).value_or(0);
    return *m_version;
}

QDBusMessage PortalScreenshot::permissionLookup() const
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.impl.portal.PermissionStore"),
            QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"),
            QStringLiteral("org.freedesktop.impl.portal.PermissionStore"), QStringLiteral("Lookup"));
    call << QStringLiteral("screenshot") << QStringLiteral("screenshot");
    return call;
}

namespace {

// No store, or no entry yet: nothing was refused, the desktop asks when it wants to.
bool deniedIn(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return portalPermissionDenied(reply.arguments().first(), permissionIds);
}

} // namespace

bool PortalScreenshot::lookUpDenied() const
{
    m_permission->denied = deniedIn(m_bus.call(permissionLookup(), QDBus::Block, 2000));
    return m_permission->denied;
}

bool PortalScreenshot::isDeniedByPermissionStore() const
{
    if (!m_permission->lookingUp) {
        m_permission->lookingUp = true;
        auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(permissionLookup(), 2000));
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [watcher, permission = m_permission] {
            permission->lookingUp = false;
            permission->denied = deniedIn(watcher->reply());
            watcher->deleteLater();
        });
    }
    return m_permission->denied;
}

QCoro::Task<QImage> PortalScreenshot::take()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        Portal::service, Portal::path, screenshotInterface, QStringLiteral("Screenshot"));
    call << QString()
         << QVariantMap { { QStringLiteral("interactive"), false }, { QStringLiteral("modal"), false } };
    auto request = callPortalRequest(m_bus, call, m_timeout);
    const PortalResponse response = co_await request;
    switch (response.status) {
    case PortalResponse::Status::success:
        break;
    case PortalResponse::Status::cancelled:
        throw CaptureError::screenAccessRefused(QStringLiteral("the screenshot request was cancelled"));
    case PortalResponse::Status::failed:
        throw CaptureError::screenAccessRefused(QStringLiteral("the desktop refused the screenshot request"));
    case PortalResponse::Status::timedOut:
        throw CaptureError::screenAccessRefused(
            QStringLiteral("the desktop did not answer the screenshot request"));
    case PortalResponse::Status::callFailed:
        throw CaptureError::screenAccessRefused(
            QStringLiteral("the screenshot portal could not be called: ") + response.error);
    }
    const std::optional<QString> file = portalScreenshotFile(response.results);
    if (!file)
        throw CaptureError(OCRServiceError::noCapturedImage);
    QImageReader reader(*file);
    QImage picture = reader.read();
    if (picture.isNull())
        throw CaptureError(QStringLiteral("The screenshot could not be read: ") + reader.errorString());
    // The picture is ours alone: leaving it would fill the user's folders with screenshots, and
    // the next request may write the same name. A file that is no picture is left alone: it
    // is not one the request wrote for us.
    if (!QFile::remove(*file))
        qCWarning(lcCapture).noquote() << "Could not remove the screenshot file" << *file;
    co_return picture.convertToFormat(QImage::Format_RGB32);
}

FrozenFrame splitDesktopPicture(const QImage &picture, const std::vector<ScreenInfo> &screens)
{
    FrozenFrame frame;
    const QRectF box = boundingBox(screens);
    if (picture.isNull() || box.isEmpty())
        return frame;
    const qreal scaleX = picture.width() / box.width();
    const qreal scaleY = picture.height() / box.height();
    for (const ScreenInfo &screen : screens) {
        const QRectF source((screen.geometry.x() - box.x()) * scaleX,
            (screen.geometry.y() - box.y()) * scaleY, screen.geometry.width() * scaleX,
            screen.geometry.height() * scaleY);
        QImage image(screen.nativeRect.size(), QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        // Smooth only where the picture is not already at this screen's pixels.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, source.size() != QSizeF(image.size()));
        painter.drawImage(QRectF(QPointF(0, 0), QSizeF(image.size())), picture, source);
        painter.end();
        frame.screens.push_back(FrozenScreen { screen, std::move(image) });
    }
    return frame;
}

PortalScreenGrabber::PortalScreenGrabber(PortalScreenshot &portal, ScreenList &screens)
    : m_portal(portal)
    , m_screens(screens)
{ }

QCoro::Task<FrozenFrame> PortalScreenGrabber::takeFrame()
{
    std::vector<ScreenInfo> displays = m_screens.displays();
    const std::vector<ScreenInfo> screens = m_screens.screens();
    if (displays.empty())
        throw CaptureError(OCRServiceError::noCapturedImage);
    for (ScreenInfo &display : displays)
        display.scale = scaleForDisplay(display, screens);
    auto taking = m_portal.take();
    const QImage picture = co_await taking;
    FrozenFrame frame = splitDesktopPicture(picture, displays);
    if (frame.isEmpty())
        throw CaptureError(OCRServiceError::noCapturedImage);
    co_return frame;
}

QCoro::Task<FrozenFrame> PortalScreenGrabber::freezeFrame()
{
    m_frame = FrozenFrame();
    auto taking = takeFrame();
    m_frame = co_await taking;
    co_return m_frame;
}

QCoro::Task<QImage> PortalScreenGrabber::captureRegion(QRectF rect)
{
    FrozenFrame frame = std::move(m_frame);
    m_frame = FrozenFrame();
    if (frame.isEmpty()) {
        auto taking = takeFrame();
        frame = co_await taking;
    }
    QImage image = cropFrozenFrame(frame, rect);
    if (image.isNull())
        throw CaptureError(OCRServiceError::noCapturedImage);
    co_return image;
}

void PortalScreenGrabber::releaseFrame()
{
    m_frame = FrozenFrame();
}

PortalScreenAccess::PortalScreenAccess(PortalScreenshot &portal)
    : m_portal(portal)
{ }

bool PortalScreenAccess::preflight()
{
    return m_portal.version() > 0 && !m_portal.isDeniedByPermissionStore();
}

std::vector<ScreenInfo> placeLogicalScreens(const std::vector<std::pair<QRectF, qreal>> &screens)
{
    qreal largest = 1.0;
    for (const auto &[frame, scale] : screens)
        largest = std::max(largest, scale);
    std::vector<ScreenInfo> result;
    for (const auto &[frame, scale] : screens) {
        const QPoint topLeft(qRound(frame.x() * largest), qRound(frame.y() * largest));
        const QSize pixels(qRound(frame.width() * scale), qRound(frame.height() * scale));
        result.push_back(ScreenInfo { frame, scale, QRect(topLeft, pixels) });
    }
    return result;
}

std::vector<ScreenInfo> WaylandScreenList::displays() const
{
    std::vector<std::pair<QRectF, qreal>> screens;
    for (QScreen *screen : QGuiApplication::screens())
        screens.emplace_back(QRectF(screen->geometry()), screen->devicePixelRatio());
    return placeLogicalScreens(screens);
}
