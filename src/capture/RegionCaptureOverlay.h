#pragma once

#include "ScreenGrabber.h"

#include <QColor>
#include <QPainterPath>
#include <QWidget>

#include <vector>

// The full-desktop window of a region selection: it shows the frozen frame of every screen
// under a black dimming at alpha 0.35 with the selection as a clear hole. It only reports
// mouse and key events in global logical coordinates; the rules live in SelectionModel and
// the controller.
class RegionCaptureOverlay : public QWidget {
    Q_OBJECT
public:
    RegionCaptureOverlay(FrozenFrame frame, std::vector<QRectF> screens);

    static QColor dimmingColour();
    // The union of all screen frames, starting from the null rectangle.
    static QRectF unionFrame(const std::vector<QRectF> &screens);

    void setSelection(const QRectF &selection);
    const QPainterPath &dimmingPath() const { return m_dimmingPath; }
    const QRectF &frame() const { return m_unionFrame; }

Q_SIGNALS:
    void pressed(QPointF globalPoint);
    void dragged(QPointF globalPoint);
    void released(QPointF globalPoint);
    void escapePressed();
    // After a paint has completed, so the picture is on the screen (or about to be).
    void painted();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    FrozenFrame m_frame;
    std::vector<QRectF> m_screens;
    QRectF m_unionFrame;
    QRectF m_selection;
    QPainterPath m_dimmingPath;
};
