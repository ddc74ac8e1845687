#include "ElidedLabel.h"

#include <QPainter>

QString ElidedLabel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

QSize ElidedLabel::minimumSizeHint() const
{
    // Room for a letter and the ellipsis.
    return { fontMetrics().horizontalAdvance(text().left(1) + QChar(0x2026)),
        QLabel::minimumSizeHint().height() };
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(contentsRect(), int(alignment()) | Qt::AlignVCenter, shownText());
}
