#include "SelectionModel.h"

#include <cmath>

QRectF SelectionModel::spanned(QPointF anchor, QPointF point)
{
    return QRectF(std::min(point.x(), anchor.x()), std::min(point.y(), anchor.y()),
        std::abs(point.x() - anchor.x()), std::abs(point.y() - anchor.y()));
}

void SelectionModel::press(QPointF point, qreal scale)
{
    m_anchor = point;
    m_anchorScale = scale;
    m_selectionRect = QRectF(point, QSizeF(0, 0));
}

void SelectionModel::drag(QPointF point)
{
    if (!m_anchor)
        return;
    m_selectionRect = spanned(*m_anchor, point);
}

SelectionModel::Release SelectionModel::release(QPointF point)
{
    if (!m_anchor)
        return Release::ignored;
    const QRectF rect = spanned(*m_anchor, point);
    const qreal minimum = minimumSize * m_anchorScale;
    reset();
    if (rect.width() >= minimum && rect.height() >= minimum) {
        m_finishedRect = rect;
        return Release::selected;
    }
    return Release::cancelled;
}

void SelectionModel::reset()
{
    m_anchor.reset();
    m_anchorScale = 1.0;
    m_selectionRect = QRectF();
    m_finishedRect = QRectF();
}

QPainterPath SelectionModel::dimmingPath(const std::vector<QRectF> &screens, const QRectF &selection)
{
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    for (const QRectF &screen : screens)
        path.addRect(screen);
    if (selection.width() > 0 && selection.height() > 0)
        path.addRect(selection);
    return path;
}
