#include "RegionCaptureOverlay.h"

#include "SelectionModel.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
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
        setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint
            | Qt::Tool | Qt::WindowDoesNotAcceptFocus);
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

QColor RegionCaptureOverlay::outlineColour()
{
    return QGuiApplication::palette().color(QPalette::Highlight);
}

QString RegionCaptureOverlay::sizeText(const QRectF &selection)
{
    return QStringLiteral("%1 \u00d7 %2").arg(qRound(selection.width())).arg(qRound(selection.height()));
}

QFont RegionCaptureOverlay::labelFont() const
{
    // The desktop's font at this screen's scale, as the windows on it show text.
    QFont font = QGuiApplication::font();
    font.setPixelSize(qMax(1, qRound(QFontInfo(font).pixelSize() * screenInfo().scale)));
    return font;
}

QRect RegionCaptureOverlay::labelRectFor(const QRectF &selection, std::optional<QPointF> pointer) const
{
    const QRect pixels = screenInfo().nativeRect;
    if (!pointer || selection.width() < 1 || selection.height() < 1 || !QRectF(pixels).contains(*pointer))
        return {};
    const qreal scale = screenInfo().scale;
    const QFontMetrics metrics(labelFont());
    const QSize size = QSize(metrics.horizontalAdvance(sizeText(selection)), metrics.height())
        + QSize(qRound(12 * scale), qRound(6 * scale));
    // Below and right of the pointer, clear of the cursor; flipped where the screen ends.
    const int gap = qRound(16 * scale);
    const QPoint at = pointer->toPoint();
    QRect label(at + QPoint(gap, gap), size);
    if (label.right() > pixels.right())
        label.moveRight(at.x() - gap);
    if (label.bottom() > pixels.bottom())
        label.moveBottom(at.y() - gap);
    return label.intersected(pixels);
}

void RegionCaptureOverlay::updateDevice(const QRectF &deviceRect)
{
    const QRectF changed = deviceRect.intersected(QRectF(screenInfo().nativeRect));
    if (changed.isEmpty())
        return;
    const QPointF topLeft = m_coordinates.toLogical(m_screen, changed.topLeft()) - position();
    const QPointF bottomRight = m_coordinates.toLogical(m_screen, changed.bottomRight()) - position();
    update(QRectF(topLeft, bottomRight).toAlignedRect().adjusted(-2, -2, 2, 2));
}

void RegionCaptureOverlay::setSelection(const QRectF &selection, std::optional<QPointF> pointer)
{
    const QRectF pixels(screenInfo().nativeRect);
    // Only the old and the new hole with their outlines and labels change; repainting just
    // them keeps dragging smooth on large screens.
    const QRect label = labelRectFor(selection, pointer);
    const QRectF changedHole = m_selection.united(selection);
    const QRect changedLabel = m_labelRect.united(label);
    m_selection = selection;
    m_labelRect = label;
    m_dimmingPath = SelectionModel::dimmingPath({ pixels }, m_selection);
    if (!changedHole.isEmpty())
        updateDevice(changedHole.adjusted(-1, -1, 1, 1));
    if (!changedLabel.isEmpty())
        updateDevice(QRectF(changedLabel));
}

void RegionCaptureOverlay::paintPicture(QPainter &painter) const
{
    const ScreenInfo &info = screenInfo();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.fillRect(QRect(QPoint(0, 0), info.nativeRect.size()), Qt::black);
    QImage frozen = m_frozen;
    frozen.setDevicePixelRatio(1.0);
    painter.drawImage(QPoint(0, 0), frozen);
    const QPointF origin(info.nativeRect.topLeft());
    painter.fillPath(m_dimmingPath.translated(-origin), dimmingColour());
    if (m_selection.width() >= 1 && m_selection.height() >= 1) {
        // Outside the hole, so every selected pixel shows as it will be read.
        QPainterPath ring;
        ring.setFillRule(Qt::OddEvenFill);
        ring.addRect(m_selection.adjusted(-1, -1, 1, 1).translated(-origin));
        ring.addRect(m_selection.translated(-origin));
        painter.fillPath(ring, outlineColour());
    }
    if (!m_labelRect.isEmpty()) {
        const QPalette palette = QGuiApplication::palette();
        const QRect label = m_labelRect.translated(-info.nativeRect.topLeft());
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette.color(QPalette::Highlight));
        const qreal radius = 4 * info.scale;
        painter.drawRoundedRect(label, radius, radius);
        painter.setPen(palette.color(QPalette::HighlightedText));
        painter.setFont(labelFont());
        painter.drawText(label, Qt::AlignCenter, sizeText(m_selection));
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    const QRectF hole = m_selection.intersected(QRectF(info.nativeRect));
    if (m_busyTimer.isActive() && !hole.isEmpty()) {
        // Over the middle of this screen's part of the selection, dark under light so it
        // shows on any text.
        const qreal size = 24 * info.scale;
        const QRectF arc(
            hole.center() - QPointF(info.nativeRect.topLeft()) - QPointF(size, size) / 2, QSizeF(size, size));
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
