#pragma once

#include <QIcon>
#include <QString>

// The icons of the windows, named by the symbols the interface was drawn with ("gear",
// "viewfinder"). The icon theme's freedesktop icon is used where one means the same thing;
// our own SVG is the fallback, so every button shows an icon on any theme.
QIcon symbolIcon(const QString &symbolName);

// Glyphwell's own icon, for the windows and the tray.
QIcon applicationIcon();
