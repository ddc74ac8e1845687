#pragma once

#include <QIcon>
#include <QString>

// The icons of the windows, named by the symbols the interface was drawn with ("gear",
// "viewfinder"). The icon theme's freedesktop icon is used where one means the same thing;
// our own SVG is the fallback, so every button shows an icon on any theme. Our one-colour
// symbols are drawn in the palette's text colour (greyed when disabled), light or dark.
QIcon symbolIcon(const QString &symbolName);

// Glyphwell's own icon, for the windows and the tray.
QIcon applicationIcon();
