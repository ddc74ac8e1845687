#pragma once

#include <QIcon>
#include <QString>

// The icons of the windows, named by the symbols the interface was drawn with ("gear",
// "viewfinder"). The icon theme's freedesktop icon is used where one means the same thing and
// suits the palette; our own SVG is the fallback, so every button shows an icon on any theme.
// Our one-colour symbols are drawn in the palette's text colour (greyed when disabled).
QIcon symbolIcon(const QString &symbolName);

// Whether the icon theme's symbols suit the palette: not when a dark palette was put in place
// of the platform's light one, as the theme's symbols stay drawn for light. Icons follow at
// their next paint.
void setThemeIconsFitPalette(bool fit);

// Glyphwell's own icon, for the windows and the tray.
QIcon applicationIcon();

// The same with a badge of three dots at its lower right, while a capture is being read: a
// user who pastes too early sees in the tray why nothing came yet.
QIcon busyApplicationIcon();
