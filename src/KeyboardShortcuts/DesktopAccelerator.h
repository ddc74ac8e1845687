#pragma once

#include "Shortcut.h"

#include <QStringList>

#include <array>
#include <optional>

namespace KeyboardShortcuts {

// The words a desktop's accelerator syntax uses for Control, Alt, Shift and Super, in that order.
using ModifierWords = std::array<const char *, 4>;

// A shortcut as the words of a desktop's accelerator: the modifiers it holds, in the order
// Control, Alt, Shift, Super, then the key's keysym name on the current layout ("x"). Nothing
// for a key without a keysym or with the function modifier, which no desktop syntax names.
std::optional<QStringList> acceleratorWords(const Shortcut &shortcut, const ModifierWords &modifierWords);

// A shortcut as GNOME's settings write a key binding ("<Shift><Super>x").
std::optional<QString> gnomeAccelerator(const Shortcut &shortcut);

} // namespace KeyboardShortcuts
