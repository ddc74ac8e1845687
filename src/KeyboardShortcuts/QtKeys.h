#pragma once

#include "KeyboardShortcuts/Shortcut.h"

#include <QKeyCombination>

#include <cstdint>
#include <optional>

namespace KeyboardShortcuts {

// Shortcuts as Qt sees them, through the current keyboard layout: the key the layout's first
// level gives, with Shift, Control, Alt (option) and Meta (command).

// Nothing when the key types nothing Qt can name on this layout.
std::optional<QKeyCombination> keyCombination(const Shortcut &shortcut);
// Nothing when no key of the layout gives the Qt key.
std::optional<Shortcut> shortcutForKeyCombination(QKeyCombination combination);

// Shift, Control, Alt and Meta as shift, control, option and command; other modifiers are left out.
ModifierFlags modifierFlags(Qt::KeyboardModifiers modifiers);
Qt::KeyboardModifiers qtModifiers(ModifierFlags flags);

// The X keysym of a Qt key, and the other way round; nothing for keys without one.
std::optional<uint32_t> keysymForQtKey(Qt::Key key);
std::optional<Qt::Key> qtKeyForKeysym(uint32_t keysym);

} // namespace KeyboardShortcuts
