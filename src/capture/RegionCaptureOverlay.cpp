#include "RegionCaptureOverlay.h"

#include "SelectionModel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

RegionCaptureOverlay::RegionCaptureOverlay(FrozenFrame frame, std::vector<QRectF> screens)
    : QWidget(nullptr,
        // Bypassing the window manager keeps the overlay above everything, docks and panels
        // included, and out of task bars; the price is that it never gets the focus by
        // itself, which the controller's keyboard grab makes up for.
        Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint
            | Qt::Tool)
    , m_frame(std::move(frame))
    , m_screens(std::move(screens))
    , m_unionFrame(unionFrame(m_screens))
{
    // The frozen frame covers every pixel, so nothing below needs to show through: an X11
    // window without a compositor could not be translucent anyway.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::CrossCursor);
    setFocusPolicy(Qt::StrongFocus);
    setGeometry(m_unionFrame.toAlignedRect());
    m_dimmingPath = SelectionModel::dimmingPath(m_screens, m_selection);
}

QColor RegionCaptureOverlay::dimmingColour()
{
    QColor colour(Qt::black);
    colour.setAlphaF(0.35f);
    return colour;
}

QRectF RegionCaptureOverlay::unionFrame(const std::vector<QRectF> &screens)
{
    QRectF frame;
    for (const QRectF &screen : screens)
        frame = frame.united(screen);
    return frame;
}

void RegionCaptureOverlay::setSelection(const QRectF &selection)
{
    // Only the old and the new hole change; repainting just them keeps dragging smooth on
    // large desktops.
    const QRectF changed = m_selection.united(selection);
    m_selection = selection;
    m_dimmingPath = SelectionModel::dimmingPath(m_screens, m_selection);
    if (changed.isEmpty())
        return;
    update(changed.translated(-m_unionFrame.topLeft()).toAlignedRect().adjusted(-2, -2, 2, 2));
}

void RegionCaptureOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // Paint in global coordinates, like the screens and the selection.
    painter.translate(-m_unionFrame.topLeft());
    painter.fillRect(m_unionFrame, Qt::black);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    for (const FrozenScreen &screen : m_frame.screens)
        painter.drawImage(screen.geometry, screen.image);
    painter.fillPath(m_dimmingPath, dimmingColour());
    painter.end();
    Q_EMIT painted();
}

void RegionCaptureOverlay::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        Q_EMIT pressed(event->globalPosition());
}

void RegionCaptureOverlay::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton)
        Q_EMIT dragged(event->globalPosition());
}

void RegionCaptureOverlay::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        Q_EMIT released(event->globalPosition());
}

void RegionCaptureOverlay::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        Q_EMIT escapePressed();
        return;
    }
    event->ignore();
}
