#pragma once

#include "Shortcut.h"

#include <QString>

#include <optional>

namespace KeyboardShortcuts {

// A shortcut as GNOME's settings write a key binding ("<Shift><Super>x"): the modifiers
// Control, Alt, Shift and Super, then the key's keysym name on the current layout. Nothing for
// a key without a keysym or with the function modifier, which GNOME has no word for.
std::optional<QString> gnomeAccelerator(const Shortcut &shortcut);

} // namespace KeyboardShortcuts
