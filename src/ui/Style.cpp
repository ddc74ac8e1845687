#include "Style.h"

#include <QApplication>
#include <QFontDatabase>
#include <QWidget>

namespace Style {

namespace {

QFont scaled(qreal factor, int weight = QFont::Normal)
{
    QFont font = QApplication::font();
    const qreal size = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
    font.setPointSizeF(size * factor);
    font.setWeight(QFont::Weight(weight));
    return font;
}

} // namespace

QFont bodyFont()
{
    return scaled(1.0);
}
QFont calloutFont()
{
    return scaled(0.95);
}
QFont captionFont()
{
    return scaled(0.85);
}
QFont smallCaptionFont()
{
    return scaled(0.8);
}
QFont headlineFont()
{
    return scaled(1.0, QFont::Bold);
}

QFont monospacedFont(const QFont &sizeOf)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(sizeOf.pointSizeF());
    return font;
}

QColor primaryText(const QPalette &palette)
{
    return palette.color(QPalette::WindowText);
}

QColor secondaryText(const QPalette &palette)
{
    QColor colour = palette.color(QPalette::WindowText);
    colour.setAlphaF(0.6);
    return colour;
}

QColor accent(const QPalette &palette)
{
    return palette.color(QPalette::Highlight);
}

QColor orange()
{
    return QColor(0xf5, 0x7c, 0x00);
}

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

} // namespace Style
