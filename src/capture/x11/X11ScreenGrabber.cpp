#include "X11ScreenGrabber.h"

#include "XcbPointers.h"
#include "capture/OCRServiceError.h"
#include "capture/ScreenList.h"

#include <QCoro/QCoroFuture>
#include <QDebug>
#include <QtConcurrent/QtConcurrentRun>

#include <xcb/shm.h>

#include <algorithm>
#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace {

// Only the layout every current X server uses for true colour: 32 bits per pixel holding
// 0x00RRGGBB in the server's byte order, which QImage::Format_RGB32 reads as is on a
// little-endian client.
bool rootIsPlainTrueColour(xcb_connection_t *connection, const xcb_screen_t *screen)
{
    const xcb_setup_t *setup = xcb_get_setup(connection);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST || Q_BYTE_ORDER != Q_LITTLE_ENDIAN)
        return false;
    bool thirtyTwoBits = false;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem; xcb_format_next(&formats)) {
        if (formats.data->depth == screen->root_depth)
            thirtyTwoBits = formats.data->bits_per_pixel == 32;
    }
    if (!thirtyTwoBits)
        return false;
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem; xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == screen->root_visual)
                return visuals.data->red_mask == 0xff0000 && visuals.data->green_mask == 0xff00
                    && visuals.data->blue_mask == 0xff;
        }
    }
    return false;
}

bool sharedMemoryOffered(xcb_connection_t *connection)
{
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection, &xcb_shm_id);
    if (!extension || !extension->present)
        return false;
    XcbReply<xcb_shm_query_version_reply_t> version(
        xcb_shm_query_version_reply(connection, xcb_shm_query_version(connection), nullptr));
    return version != nullptr;
}

// A System V segment the server has attached; detached and removed when it goes.
class SharedSegment {
public:
    SharedSegment(xcb_connection_t *connection, std::size_t size)
        : m_connection(connection)
    {
        m_id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (m_id < 0)
            return;
        void *address = shmat(m_id, nullptr, 0);
        if (address == reinterpret_cast<void *>(-1)) {
            shmctl(m_id, IPC_RMID, nullptr);
            m_id = -1;
            return;
        }
        m_address = static_cast<uchar *>(address);
        m_segment = xcb_generate_id(connection);
        XcbReply<xcb_generic_error_t> error(
            xcb_request_check(connection, xcb_shm_attach_checked(connection, m_segment, m_id, 0)));
        // Removed at once, so the segment cannot outlive us even if we crash; both sides
        // keep their attachment.
        shmctl(m_id, IPC_RMID, nullptr);
        m_attached = error == nullptr;
    }
    ~SharedSegment()
    {
        if (m_attached)
            xcb_shm_detach(m_connection, m_segment);
        if (m_address)
            shmdt(m_address);
    }
    SharedSegment(const SharedSegment &) = delete;
    SharedSegment &operator=(const SharedSegment &) = delete;

    bool isValid() const { return m_attached; }
    xcb_shm_seg_t segment() const { return m_segment; }
    const uchar *data() const { return m_address; }

private:
    xcb_connection_t *m_connection;
    int m_id = -1;
    uchar *m_address = nullptr;
    xcb_shm_seg_t m_segment = 0;
    bool m_attached = false;
};

QImage readWithSharedMemory(
    xcb_connection_t *connection, xcb_window_t root, const QRect &area, const SharedSegment &segment)
{
    XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(connection,
        xcb_shm_get_image(connection, root, area.x(), area.y(), area.width(), area.height(), ~0u,
            XCB_IMAGE_FORMAT_Z_PIXMAP, segment.segment(), 0),
        nullptr));
    if (!reply)
        return QImage();
    return QImage(segment.data(), area.width(), area.height(), area.width() * 4, QImage::Format_RGB32).copy();
}

QImage readWithGetImage(xcb_connection_t *connection, xcb_window_t root, const QRect &area)
{
    XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, root, area.x(), area.y(), area.width(),
            area.height(), ~0u),
        nullptr));
    if (!reply)
        return QImage();
    const int length = xcb_get_image_data_length(reply.get());
    if (length < area.width() * area.height() * 4)
        return QImage();
    return QImage(
        xcb_get_image_data(reply.get()), area.width(), area.height(), area.width() * 4, QImage::Format_RGB32)
        .copy();
}

} // namespace

X11Grab grabRootRects(const std::vector<QRect> &rects, X11GrabMethod method)
{
    X11Grab grab;
    grab.images.resize(rects.size());
    int screenNumber = 0;
    XcbConnection connection = connectToDisplay(nullptr, &screenNumber);
    if (!connection)
        return grab;
    xcb_connection_t *c = connection.get();
    const xcb_screen_t *screen = screenOfNumber(c, screenNumber);
    if (!screen || !rootIsPlainTrueColour(c, screen)) {
        qWarning() << "X11 screen grab: the root window's pixel format is not supported";
        return grab;
    }
    const QRect rootRect(0, 0, screen->width_in_pixels, screen->height_in_pixels);

    std::size_t largest = 0;
    for (const QRect &rect : rects)
        largest = std::max(largest,
            std::size_t(rect.intersected(rootRect).width()) * std::size_t(rect.intersected(rootRect).height())
                * 4);
    std::unique_ptr<SharedSegment> segment;
    if (method != X11GrabMethod::getImage && largest > 0 && sharedMemoryOffered(c)) {
        segment = std::make_unique<SharedSegment>(c, largest);
        if (!segment->isValid())
            segment.reset();
    }
    if (method == X11GrabMethod::sharedMemory && !segment)
        return grab;
    grab.usedSharedMemory = segment != nullptr;

    for (std::size_t i = 0; i < rects.size(); ++i) {
        const QRect &wanted = rects[i];
        if (wanted.isEmpty())
            continue;
        const QRect area = wanted.intersected(rootRect);
        QImage part;
        if (!area.isEmpty()) {
            part = segment ? readWithSharedMemory(c, screen->root, area, *segment)
                           : readWithGetImage(c, screen->root, area);
            if (part.isNull())
                continue;
        }
        if (area == wanted) {
            grab.images[i] = std::move(part);
            continue;
        }
        // Partly or wholly off the root window: what is not there is black.
        QImage image(wanted.size(), QImage::Format_RGB32);
        image.fill(Qt::black);
        for (int y = 0; y < part.height(); ++y)
            std::memcpy(image.scanLine(y + area.y() - wanted.y()) + (area.x() - wanted.x()) * 4,
                part.constScanLine(y), std::size_t(part.width()) * 4);
        grab.images[i] = std::move(image);
    }
    return grab;
}

X11ScreenGrabber::X11ScreenGrabber(ScreenList &screens, X11GrabMethod method)
    : m_screens(screens)
    , m_method(method)
{ }

QCoro::Task<QImage> X11ScreenGrabber::captureRegion(QRectF rect)
{
    if (!m_frame.isEmpty()) {
        FrozenFrame frame = std::move(m_frame);
        m_frame = FrozenFrame();
        auto cropping
            = QtConcurrent::run([frame = std::move(frame), rect] { return cropFrozenFrame(frame, rect); });
        QImage image = co_await cropping;
        if (image.isNull())
            throw CaptureError(OCRServiceError::noCapturedImage);
        co_return image;
    }

    const std::vector<ScreenInfo> displays = m_screens.displays();
    const std::optional<CapturePlan> plan = planCapture(rect, displays, m_screens.screens());
    if (!plan)
        throw CaptureError(OCRServiceError::noCapturedImage);
    const QRect area = plan->pixelRect.translated(displays[plan->displayIndex].nativeOrigin);
    auto grabbing = QtConcurrent::run([area, method = m_method] { return grabRootRects({ area }, method); });
    X11Grab grab = co_await grabbing;
    m_lastGrabUsedSharedMemory = grab.usedSharedMemory;
    if (grab.images.empty() || grab.images.front().isNull())
        throw CaptureError(OCRServiceError::noCapturedImage);
    co_return grab.images.front();
}

QCoro::Task<FrozenFrame> X11ScreenGrabber::freezeFrame()
{
    m_frame = FrozenFrame();
    const std::vector<ScreenInfo> displays = m_screens.displays();
    const std::vector<ScreenInfo> screens = m_screens.screens();
    FrozenFrame frame;
    std::vector<QRect> areas;
    for (const ScreenInfo &display : displays) {
        ScreenInfo scaled = display;
        scaled.scale = scaleForDisplay(display, screens);
        frame.screens.push_back(
            FrozenScreen { scaled.geometry, scaled.scale, scaled.nativeOrigin, QImage() });
        areas.push_back(scaled.nativeRect());
    }
    if (areas.empty())
        throw CaptureError(OCRServiceError::noCapturedImage);
    auto grabbing = QtConcurrent::run(
        [areas = std::move(areas), method = m_method] { return grabRootRects(areas, method); });
    X11Grab grab = co_await grabbing;
    m_lastGrabUsedSharedMemory = grab.usedSharedMemory;
    for (std::size_t i = 0; i < frame.screens.size(); ++i) {
        if (i >= grab.images.size() || grab.images[i].isNull())
            throw CaptureError(OCRServiceError::noCapturedImage);
        frame.screens[i].image = grab.images[i];
    }
    m_frame = frame;
    co_return frame;
}

void X11ScreenGrabber::releaseFrame()
{
    m_frame = FrozenFrame();
}
