#pragma once

#include "ScreenCoordinates.h"

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QRasterWindow>
#include <QTimer>

#include <optional>

// The overlay window of one screen during a region selection: it covers that screen exactly,
// at its scale, and shows its frozen frame under a black dimming at alpha 0.35 with its part
// of the selection as a clear hole. A one-pixel line in the palette's highlight colour runs
// just outside the hole, so it shows on dark and light screens alike, and while dragging the
// selection's size in pixels stands beside the pointer. It works in device pixels of the
// whole desktop: it reports mouse positions in them and takes the selection in them; the
// rules live in SelectionModel and the controller.
class RegionCaptureOverlay : public QRasterWindow {
    Q_OBJECT
public:
    // How the desktop lets a window cover a screen.
    enum class Placement {
        // Placed at the screen's frame past the window manager, never focused (X11).
        positioned,
        // Full screen on its output, focused so that Escape reaches it (Wayland, where a
        // client may neither place a window nor grab the keyboard).
        fullScreen,
    };

    // frozen: the screen's pixels (null paints black).
    RegionCaptureOverlay(ScreenCoordinates coordinates, std::size_t screen, QImage frozen,
        Placement placement = Placement::positioned);

    // Shows the window the way its placement asks for.
    void present();

    static QColor dimmingColour();
    static QColor outlineColour();
    // What the size label says for a selection in device pixels: "400 × 200".
    static QString sizeText(const QRectF &selection);

    const ScreenInfo &screenInfo() const { return m_coordinates.screens()[m_screen]; }
    // pointer: where the drag is, in device pixels of the desktop; the size label stands
    // beside it when it is on this screen and the selection has an area.
    void setSelection(const QRectF &selection, std::optional<QPointF> pointer = std::nullopt);
    // The size label in device pixels of the desktop; empty when this window shows none.
    QRect sizeLabelRect() const { return m_labelRect; }
    // A small turning arc in the middle of the selection while its text is read.
    void setBusy(bool busy);
    bool isBusy() const { return m_busyTimer.isActive(); }
    // This screen's dimming in device pixels of the desktop.
    const QPainterPath &dimmingPath() const { return m_dimmingPath; }
    // What the window shows, one image pixel per device pixel of its screen.
    QImage picture() const;

Q_SIGNALS:
    void pressed(QPointF devicePoint, qreal scale);
    void dragged(QPointF devicePoint);
    void released(QPointF devicePoint);
    // After a paint has completed, so the picture is on the screen (or about to be).
    void painted();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // Paints with the device-pixel top-left of the screen at the painter's origin.
    void paintPicture(QPainter &painter) const;
    QPointF devicePoint(const QMouseEvent *event) const;
    QRect labelRectFor(const QRectF &selection, std::optional<QPointF> pointer) const;
    QFont labelFont() const;
    void updateDevice(const QRectF &deviceRect);

    ScreenCoordinates m_coordinates;
    std::size_t m_screen;
    QImage m_frozen;
    Placement m_placement;
    QRectF m_selection;
    QPainterPath m_dimmingPath;
    QRect m_labelRect;
    QTimer m_busyTimer;
    int m_busyStep = 0;
};
