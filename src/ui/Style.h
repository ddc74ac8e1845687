#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

// The text styles and colours of the windows, by role, derived from the desktop's font and
// palette so they follow the user's theme.
namespace Style {

QFont bodyFont();
QFont calloutFont();
QFont captionFont();
QFont smallCaptionFont(); // the second, smaller caption style
QFont headlineFont();
QFont monospacedFont(const QFont &sizeOf);

QColor primaryText(const QPalette &palette);
QColor secondaryText(const QPalette &palette);
QColor accent(const QPalette &palette);
QColor orange();
// The contrast ratio of two colours as the WCAG defines it, 1 to 21.
double contrastRatio(const QColor &a, const QColor &b);
// Red for the title of a destructive command, readable (4.5:1 at least) on the palette's
// button colour, light or dark.
QColor destructiveText(const QPalette &palette);

// The colours a widget takes from the palette by its role in the window. Set once, they are
// set again whenever the application's palette changes (the desktop switched between light
// and dark), so no widget keeps a colour made for the other scheme.
enum class Role {
    secondaryText, // WindowText and Text in the secondary colour
    divider, // Window in the palette's Mid colour
    prominentButton, // filled with the accent colour
    destructiveButton, // its title in destructiveText()
};
void follow(QWidget *widget, Role role);

} // namespace Style
