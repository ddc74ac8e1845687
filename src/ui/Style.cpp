#include "Style.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QFontDatabase>
#include <QPointer>
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

namespace {

double relativeLuminance(const QColor &colour)
{
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

} // namespace

double contrastRatio(const QColor &a, const QColor &b)
{
    const double first = relativeLuminance(a);
    const double second = relativeLuminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor destructiveText(const QPalette &palette)
{
    const QColor background = palette.color(QPalette::Button);
    // From the deep red of light themes to the pale ones that read on dark buttons.
    for (const QColor red : { QColor(0xc6, 0x28, 0x28), QColor(0xb7, 0x1c, 0x1c), QColor(0xff, 0x8a, 0x80),
             QColor(0xff, 0xcd, 0xd2) }) {
        if (contrastRatio(red, background) >= 4.5)
            return red;
    }
    return palette.color(QPalette::ButtonText);
}

namespace {

void applyRole(QWidget *widget, Role role)
{
    // From the application's palette: the widget's own holds the colours of the last scheme.
    const QPalette base = QApplication::palette(widget);
    QPalette palette = widget->palette();
    switch (role) {
    case Role::secondaryText:
        palette.setColor(QPalette::WindowText, secondaryText(base));
        palette.setColor(QPalette::Text, secondaryText(base));
        break;
    case Role::divider:
        palette.setColor(QPalette::Window, base.color(QPalette::Mid));
        break;
    case Role::prominentButton:
        palette.setColor(QPalette::Button, accent(base));
        palette.setColor(QPalette::ButtonText, base.color(QPalette::HighlightedText));
        break;
    case Role::destructiveButton:
        palette.setColor(QPalette::ButtonText, destructiveText(base));
        break;
    }
    widget->setPalette(palette);
}

// Watches the application for a new palette and gives every widget with a role its colours
// again.
class PaletteFollower : public QObject {
public:
    explicit PaletteFollower(QObject *parent)
        : QObject(parent)
    {
        parent->installEventFilter(this);
    }
    void add(QWidget *widget, Role role)
    {
        m_widgets.removeIf([](const auto &entry) { return entry.first.isNull(); });
        m_widgets.append({ widget, role });
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == parent() && event->type() == QEvent::ApplicationPaletteChange) {
            for (const auto &[widget, role] : std::as_const(m_widgets)) {
                if (widget)
                    applyRole(widget, role);
            }
        }
        return false;
    }

private:
    QList<std::pair<QPointer<QWidget>, Role>> m_widgets;
};

} // namespace

void follow(QWidget *widget, Role role)
{
    static PaletteFollower *follower = new PaletteFollower(qApp);
    follower->add(widget, role);
    applyRole(widget, role);
}

} // namespace Style
