#include "BusySpinner.h"

#include <QPainter>

namespace {
constexpr int spokes = 8;
}

BusySpinner::BusySpinner(QWidget *parent)
    : QWidget(parent)
{
    setFixedSize(sizeHint());
    m_timer.setInterval(90);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        ++m_step;
        update();
    });
}

void BusySpinner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    const qreal radius = qMin(width(), height()) / 2.0;
    QColor colour = palette().color(QPalette::WindowText);
    for (int i = 0; i < spokes; ++i) {
        // The newest spoke is darkest; the others fade behind it.
        const int age = (m_step - i + spokes) % spokes;
        colour.setAlphaF(1.0 - age / qreal(spokes) * 0.85);
        painter.setPen(QPen(colour, radius / 4.0, Qt::SolidLine, Qt::RoundCap));
        painter.save();
        painter.rotate(i * 360.0 / spokes);
        painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.85));
        painter.restore();
    }
}

void BusySpinner::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_timer.start();
}

void BusySpinner::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_timer.stop();
}
