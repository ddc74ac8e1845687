#pragma once

#include <QPainterPath>
#include <QPointF>
#include <QRectF>

#include <optional>
#include <vector>

// The mouse rules of the region selection, in device pixels of the whole desktop, apart from
// the windows that draw them. A press sets the anchor (a second press starts again from the
// new point), dragging spans the normalised rectangle from the anchor, and a release ends the
// selection: with the rectangle when it is at least 5 × 5 points, counted at the scale of the
// screen where the drag began, cancelled otherwise.
class SelectionModel {
public:
    enum class Release {
        ignored, // no press came first: nothing changes
        selected, // finishedRect() holds the selection
        cancelled, // smaller than the minimum
    };

    static constexpr qreal minimumSize = 5.0;

    // scale: device pixels per point where the press happened.
    void press(QPointF point, qreal scale = 1.0);
    void drag(QPointF point);
    Release release(QPointF point);
    void reset();

    const std::optional<QPointF> &anchor() const { return m_anchor; }
    // The current selection; empty (0 × 0 at the origin) when there is none.
    const QRectF &selectionRect() const { return m_selectionRect; }
    const QRectF &finishedRect() const { return m_finishedRect; }

    // The rectangle between two points, whatever the drag's direction.
    static QRectF spanned(QPointF anchor, QPointF point);
    // One rectangle per screen and, when it has an area, the selection: filled even-odd, the
    // screens are dimmed and the selection inside them is a hole.
    static QPainterPath dimmingPath(const std::vector<QRectF> &screens, const QRectF &selection);

private:
    std::optional<QPointF> m_anchor;
    qreal m_anchorScale = 1.0;
    QRectF m_selectionRect;
    QRectF m_finishedRect;
};
