#include "RegionCaptureOverlay.h"

#include "SelectionModel.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

RegionCaptureOverlay::RegionCaptureOverlay(
    ScreenCoordinates coordinates, std::size_t screen, QImage frozen, Placement placement)
    : m_coordinates(std::move(coordinates))
    , m_screen(screen)
    , m_frozen(std::move(frozen))
    , m_placement(placement)
{
    if (placement == Placement::positioned) {
        // Bypassing the window manager keeps the overlay above everything, docks and panels
        // included, and out of task bars. It never takes the focus: the controller's keyboard
        // grab is enough to see Escape, and the window the user will paste into keeps it.
        setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
            | Qt::BypassWindowManagerHint | Qt::Tool | Qt::WindowDoesNotAcceptFocus);
    } else {
        // The compositor puts a full-screen window above the panels and gives the focus back
        // to the window below when it closes.
        setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    }
    // A name for window lists and for tests that look for it.
    setTitle(QStringLiteral("Glyphwell Selection"));
    const ScreenInfo &info = screenInfo();
    // Logical space has gaps and overlaps between screens of other scales than 1, so the
    // screen is named rather than found from the position.
    for (QScreen *candidate : QGuiApplication::screens()) {
        if (QRectF(candidate->geometry()) == info.geometry) {
            setScreen(candidate);
            break;
        }
    }
    setGeometry(info.geometry.toRect());
    setCursor(Qt::CrossCursor);
    m_dimmingPath = SelectionModel::dimmingPath({ QRectF(info.nativeRect) }, m_selection);
    m_busyTimer.setInterval(80);
    connect(&m_busyTimer, &QTimer::timeout, this, [this] {
        ++m_busyStep;
        update();
    });
}

void RegionCaptureOverlay::setBusy(bool busy)
{
    if (busy == m_busyTimer.isActive())
        return;
    if (busy)
        m_busyTimer.start();
    else
        m_busyTimer.stop();
    update();
}

void RegionCaptureOverlay::present()
{
    if (m_placement == Placement::positioned) {
        show();
        raise();
        return;
    }
    showFullScreen();
    requestActivate();
}

QColor RegionCaptureOverlay::dimmingColour()
{
    QColor colour(Qt::black);
    colour.setAlphaF(0.35f);
    return colour;
}

void RegionCaptureOverlay::setSelection(const QRectF &selection)
{
    const QRectF pixels(screenInfo().nativeRect);
    // Only the old and the new hole change; repainting just them keeps dragging smooth on
    // large screens.
    const QRectF changed = m_selection.united(selection).intersected(pixels);
    m_selection = selection;
    m_dimmingPath = SelectionModel::dimmingPath({ pixels }, m_selection);
    if (changed.isEmpty())
        return;
    const QPointF topLeft = m_coordinates.toLogical(m_screen, changed.topLeft()) - position();
    const QPointF bottomRight = m_coordinates.toLogical(m_screen, changed.bottomRight()) - position();
    update(QRectF(topLeft, bottomRight).toAlignedRect().adjusted(-2, -2, 2, 2));
}

void RegionCaptureOverlay::paintPicture(QPainter &painter) const
{
    const ScreenInfo &info = screenInfo();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.fillRect(QRect(QPoint(0, 0), info.nativeRect.size()), Qt::black);
    QImage frozen = m_frozen;
    frozen.setDevicePixelRatio(1.0);
    painter.drawImage(QPoint(0, 0), frozen);
    painter.fillPath(m_dimmingPath.translated(-QPointF(info.nativeRect.topLeft())), dimmingColour());
    const QRectF hole = m_selection.intersected(QRectF(info.nativeRect));
    if (m_busyTimer.isActive() && !hole.isEmpty()) {
        // Over the middle of this screen's part of the selection, dark under light so it
        // shows on any text.
        const qreal size = 24 * info.scale;
        const QRectF arc(hole.center() - QPointF(info.nativeRect.topLeft()) - QPointF(size, size) / 2,
            QSizeF(size, size));
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(0, 0, 0, 140), 5 * info.scale, Qt::SolidLine, Qt::RoundCap));
        painter.drawEllipse(arc);
        painter.setPen(QPen(Qt::white, 3 * info.scale, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(arc, -m_busyStep * 30 * 16, 100 * 16);
    }
}

QImage RegionCaptureOverlay::picture() const
{
    QImage image(screenInfo().nativeRect.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    paintPicture(painter);
    return image;
}

void RegionCaptureOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // One unit per device pixel, whatever scale the backing store paints at.
    const qreal ratio = devicePixelRatio();
    painter.scale(1.0 / ratio, 1.0 / ratio);
    paintPicture(painter);
    painter.end();
    Q_EMIT painted();
}

QPointF RegionCaptureOverlay::devicePoint(const QMouseEvent *event) const
{
    if (m_placement == Placement::fullScreen) {
        // A Wayland drag stays with the surface it began on, in that surface's coordinates,
        // which run on into the compositor's layout of the other outputs (no gaps, no
        // overlaps there): the output under the point maps it, at its own origin and scale.
        const QPointF logical = screenInfo().geometry.topLeft() + event->position();
        const std::vector<ScreenInfo> &screens = m_coordinates.screens();
        for (std::size_t i = 0; i < screens.size(); ++i) {
            const QRectF &frame = screens[i].geometry;
            if (logical.x() >= frame.left() && logical.x() < frame.right() && logical.y() >= frame.top()
                && logical.y() < frame.bottom())
                return m_coordinates.toDevice(i, logical);
        }
        return m_coordinates.toDevice(m_screen, logical);
    }
    // The window-relative position, not the global one: while this window holds the X
    // pointer grab it gets the events from every screen, relative to itself and at its own
    // scale, which maps back to the device pixel exactly.
    return m_coordinates.toDevice(m_screen, QPointF(position()) + event->position());
}

void RegionCaptureOverlay::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const QPointF point = devicePoint(event);
        Q_EMIT pressed(point, m_coordinates.scaleAt(point));
    }
}

void RegionCaptureOverlay::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton)
        Q_EMIT dragged(devicePoint(event));
}

void RegionCaptureOverlay::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        Q_EMIT released(devicePoint(event));
}
