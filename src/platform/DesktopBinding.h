#pragma once

#include <QString>

// Which desktop this is, as far as binding a key to a command goes.
enum class DesktopFamily { gnome, kde, sway, other };

// From XDG_CURRENT_DESKTOP, a colon-separated list ("ubuntu:GNOME", "KDE").
DesktopFamily desktopFamily(const QString &currentDesktop);
DesktopFamily currentDesktopFamily();

// Where on this desktop a key is bound to "glyphwell --capture", as one sentence.
QString desktopBindingHint(DesktopFamily family);
