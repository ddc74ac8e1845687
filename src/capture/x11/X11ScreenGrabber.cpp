#include "X11ScreenGrabber.h"

#include "capture/OCRServiceError.h"
#include "capture/ScreenList.h"
#include "platform/x11/XcbPointers.h"

#include <QCoro/QCoroFuture>
#include <QtConcurrent/QtConcurrentRun>

#include <xcb/shm.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace {

const char *visualClassName(int visualClass)
{
    switch (visualClass) {
    case XCB_VISUAL_CLASS_STATIC_GRAY:
        return "static grey";
    case XCB_VISUAL_CLASS_GRAY_SCALE:
        return "grey scale";
    case XCB_VISUAL_CLASS_STATIC_COLOR:
        return "static colour";
    case XCB_VISUAL_CLASS_PSEUDO_COLOR:
        return "colour map";
    case XCB_VISUAL_CLASS_TRUE_COLOR:
        return "true colour";
    case XCB_VISUAL_CLASS_DIRECT_COLOR:
        return "direct colour";
    }
    return "unknown visual";
}

bool isContiguous(quint32 mask)
{
    if (mask == 0)
        return false;
    const quint32 shifted = mask >> std::countr_zero(mask);
    return (shifted & (shifted + 1)) == 0;
}

// One colour channel of a pixel: where it sits and its largest value.
struct Channel {
    int shift;
    quint32 maximum;

    explicit Channel(quint32 mask)
        : shift(std::countr_zero(mask))
        , maximum(mask >> shift)
    { }
    // Scaled to 0..255 with rounding, so a full 5-, 6- or 10-bit value is 255.
    uint eightBits(quint32 pixel) const
    {
        const quint32 value = (pixel >> shift) & maximum;
        return uint((quint64(value) * 255 + maximum / 2) / maximum);
    }
};

X11PixelLayout rootPixelLayout(xcb_connection_t *connection, const xcb_screen_t *screen)
{
    const xcb_setup_t *setup = xcb_get_setup(connection);
    X11PixelLayout layout;
    layout.depth = screen->root_depth;
    layout.bitsPerPixel = 0;
    layout.mostSignificantByteFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem; xcb_format_next(&formats)) {
        if (formats.data->depth == screen->root_depth) {
            layout.bitsPerPixel = formats.data->bits_per_pixel;
            layout.scanlinePad = formats.data->scanline_pad;
        }
    }
    layout.visualClass = -1;
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem; xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == screen->root_visual) {
                layout.visualClass = visuals.data->_class;
                layout.redMask = visuals.data->red_mask;
                layout.greenMask = visuals.data->green_mask;
                layout.blueMask = visuals.data->blue_mask;
            }
        }
    }
    return layout;
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
        , m_size(size)
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
    std::size_t size() const { return m_size; }

private:
    xcb_connection_t *m_connection;
    std::size_t m_size;
    int m_id = -1;
    uchar *m_address = nullptr;
    xcb_shm_seg_t m_segment = 0;
    bool m_attached = false;
};

QString xError(const xcb_generic_error_t *error)
{
    return QStringLiteral("The X server refused to read the screen (X error %1).")
        .arg(error ? int(error->error_code) : 0);
}

QImage readWithSharedMemory(xcb_connection_t *connection, xcb_window_t root, const QRect &area,
    const SharedSegment &segment, const X11PixelLayout &layout, QString *error)
{
    xcb_generic_error_t *failure = nullptr;
    XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(connection,
        xcb_shm_get_image(connection, root, area.x(), area.y(), area.width(), area.height(), ~0u,
            XCB_IMAGE_FORMAT_Z_PIXMAP, segment.segment(), 0),
        &failure));
    XcbReply<xcb_generic_error_t> failureHolder(failure);
    if (!reply) {
        *error = xError(failure);
        return QImage();
    }
    return convertZPixmap(segment.data(), segment.size(), area.size(), layout);
}

QImage readWithGetImage(xcb_connection_t *connection, xcb_window_t root, const QRect &area,
    const X11PixelLayout &layout, QString *error)
{
    xcb_generic_error_t *failure = nullptr;
    XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, root, area.x(), area.y(), area.width(),
            area.height(), ~0u),
        &failure));
    XcbReply<xcb_generic_error_t> failureHolder(failure);
    if (!reply) {
        *error = xError(failure);
        return QImage();
    }
    return convertZPixmap(xcb_get_image_data(reply.get()),
        std::size_t(xcb_get_image_data_length(reply.get())), area.size(), layout);
}

} // namespace

int X11PixelLayout::bytesPerLine(int width) const
{
    const qint64 bits = qint64(width) * bitsPerPixel;
    const qint64 pad = scanlinePad > 0 ? scanlinePad : 8;
    return int((bits + pad - 1) / pad * pad / 8);
}

QString X11PixelLayout::unsupportedReason() const
{
    const quint32 all = redMask | greenMask | blueMask;
    const bool masksFit = isContiguous(redMask) && isContiguous(greenMask) && isContiguous(blueMask)
        && (redMask & greenMask) == 0 && (redMask & blueMask) == 0 && (greenMask & blueMask) == 0
        && (bitsPerPixel >= 32 || all < (quint32(1) << bitsPerPixel));
    const bool padFits = scanlinePad == 8 || scanlinePad == 16 || scanlinePad == 32;
    if (visualClass == XCB_VISUAL_CLASS_TRUE_COLOR
        && (bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32) && masksFit && padFits)
        return {};
    return QStringLiteral("The screen cannot be captured: the X server's pixel format (depth %1, %2 bits per "
                          "pixel, %3) is not supported.")
        .arg(depth)
        .arg(bitsPerPixel)
        .arg(QLatin1String(visualClassName(visualClass)));
}

QImage convertZPixmap(const uchar *data, std::size_t length, QSize size, const X11PixelLayout &layout)
{
    if (!layout.unsupportedReason().isEmpty() || size.isEmpty())
        return QImage();
    const int stride = layout.bytesPerLine(size.width());
    if (length < std::size_t(stride) * std::size_t(size.height()))
        return QImage();
    QImage image(size, QImage::Format_RGB32);
    const bool plain = layout.bitsPerPixel == 32 && layout.redMask == 0xff0000 && layout.greenMask == 0xff00
        && layout.blueMask == 0xff && layout.mostSignificantByteFirst == (Q_BYTE_ORDER == Q_BIG_ENDIAN);
    if (plain) {
        // What nearly every server sends: already 0x??RRGGBB in our byte order.
        for (int y = 0; y < size.height(); ++y)
            std::memcpy(image.scanLine(y), data + std::size_t(y) * stride, std::size_t(size.width()) * 4);
        return image;
    }
    const Channel red(layout.redMask), green(layout.greenMask), blue(layout.blueMask);
    const int bytes = layout.bitsPerPixel / 8;
    for (int y = 0; y < size.height(); ++y) {
        const uchar *in = data + std::size_t(y) * stride;
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x, in += bytes) {
            quint32 pixel = 0;
            for (int b = 0; b < bytes; ++b)
                pixel |= quint32(in[layout.mostSignificantByteFirst ? b : bytes - 1 - b])
                    << (8 * (bytes - 1 - b));
            out[x] = qRgb(int(red.eightBits(pixel)), int(green.eightBits(pixel)), int(blue.eightBits(pixel)));
        }
    }
    return image;
}

class X11GrabConnection {
public:
    std::mutex mutex;
    XcbConnection connection;
    int screenNumber = 0;
    std::unique_ptr<SharedSegment> segment; // dropped before the connection it is attached on
};

std::shared_ptr<X11GrabConnection> makeGrabConnection()
{
    return std::make_shared<X11GrabConnection>();
}

X11Grab grabRootRects(const std::vector<QRect> &rects, X11GrabMethod method, X11GrabConnection *kept)
{
    X11Grab grab;
    X11GrabConnection own;
    X11GrabConnection &held = kept ? *kept : own;
    std::unique_lock lock(held.mutex);
    // A server that went away (or a connection broken by an error) is connected to anew.
    if (held.connection && xcb_connection_has_error(held.connection.get())) {
        held.segment.reset();
        held.connection.reset();
    }
    if (!held.connection)
        held.connection = connectToDisplay(nullptr, &held.screenNumber);
    XcbConnection &connection = held.connection;
    const int screenNumber = held.screenNumber;
    if (!connection) {
        grab.error = QStringLiteral("The screen cannot be captured: the X display \"%1\" cannot be opened.")
                         .arg(qEnvironmentVariable("DISPLAY"));
        return grab;
    }
    xcb_connection_t *c = connection.get();
    const xcb_screen_t *screen = screenOfNumber(c, screenNumber);
    if (!screen) {
        grab.error = QStringLiteral("The screen cannot be captured: the X display has no screen %1.")
                         .arg(screenNumber);
        return grab;
    }
    const X11PixelLayout layout = rootPixelLayout(c, screen);
    grab.error = layout.unsupportedReason();
    if (!grab.error.isEmpty())
        return grab;
    const QRect rootRect(0, 0, screen->width_in_pixels, screen->height_in_pixels);

    std::size_t largest = 0;
    for (const QRect &rect : rects) {
        const QRect area = rect.intersected(rootRect);
        largest
            = std::max(largest, std::size_t(layout.bytesPerLine(area.width())) * std::size_t(area.height()));
    }
    std::unique_ptr<SharedSegment> &segment = held.segment;
    if (method == X11GrabMethod::getImage) {
        segment.reset();
    } else if (largest > 0 && (!segment || segment->size() < largest) && sharedMemoryOffered(c)) {
        segment.reset();
        segment = std::make_unique<SharedSegment>(c, largest);
        if (!segment->isValid())
            segment.reset();
    }
    if (method == X11GrabMethod::sharedMemory && !segment) {
        grab.error
            = QStringLiteral("The screen cannot be captured: the X server's shared memory is not available.");
        return grab;
    }
    grab.usedSharedMemory = segment != nullptr;

    std::vector<QImage> images(rects.size());
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const QRect &wanted = rects[i];
        if (wanted.isEmpty())
            continue;
        const QRect area = wanted.intersected(rootRect);
        QImage part;
        if (!area.isEmpty()) {
            part = segment ? readWithSharedMemory(c, screen->root, area, *segment, layout, &grab.error)
                           : readWithGetImage(c, screen->root, area, layout, &grab.error);
            if (part.isNull()) {
                if (grab.error.isEmpty())
                    grab.error = QStringLiteral("The X server sent a screen image of the wrong size.");
                return grab;
            }
        }
        if (area == wanted) {
            images[i] = std::move(part);
            continue;
        }
        // Partly or wholly off the root window: what is not there is black.
        QImage image(wanted.size(), QImage::Format_RGB32);
        image.fill(Qt::black);
        for (int y = 0; y < part.height(); ++y)
            std::memcpy(image.scanLine(y + area.y() - wanted.y()) + (area.x() - wanted.x()) * 4,
                part.constScanLine(y), std::size_t(part.width()) * 4);
        images[i] = std::move(image);
    }
    grab.images = std::move(images);
    return grab;
}

X11ScreenGrabber::X11ScreenGrabber(ScreenList &screens, X11GrabMethod method)
    : m_screens(screens)
    , m_method(method)
    , m_connection(makeGrabConnection())
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

    // The root window holds every screen's pixels, so a live read is one rectangle of it.
    const std::optional<CapturePlan> plan = planCapture(rect, m_screens.displays(), m_screens.screens());
    if (!plan)
        throw CaptureError(OCRServiceError::noCapturedImage);
    auto grabbing = QtConcurrent::run([area = plan->pixelRect, method = m_method, kept = m_connection] {
        return grabRootRects({ area }, method, kept.get());
    });
    X11Grab grab = co_await grabbing;
    m_lastGrabUsedSharedMemory = grab.usedSharedMemory;
    if (!grab.error.isEmpty())
        throw CaptureError(grab.error);
    if (grab.images.empty() || grab.images.front().isNull())
        throw CaptureError(OCRServiceError::noCapturedImage);
    QImage image = grab.images.front();
    image.setDevicePixelRatio(plan->scale);
    co_return image;
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
        frame.screens.push_back(FrozenScreen { scaled, QImage() });
        areas.push_back(scaled.nativeRect);
    }
    if (areas.empty())
        throw CaptureError(OCRServiceError::noCapturedImage);
    auto grabbing = QtConcurrent::run([areas = std::move(areas), method = m_method, kept = m_connection] {
        return grabRootRects(areas, method, kept.get());
    });
    X11Grab grab = co_await grabbing;
    m_lastGrabUsedSharedMemory = grab.usedSharedMemory;
    if (!grab.error.isEmpty())
        throw CaptureError(grab.error);
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
