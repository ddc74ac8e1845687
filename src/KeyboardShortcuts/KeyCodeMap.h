#pragma once

#include <cstdint>
#include <optional>

namespace KeyboardShortcuts::KeyCodeMap {

// The program's key codes are positions on a US ANSI keyboard. X11 numbers the same positions
// by evdev code (X keycode = evdev code + 8); this one table links the two for event parsing,
// the hot-key grabs and the layout lookup, so they can never disagree.

// Nothing for keys without a physical X11 counterpart (fn, unused codes, out of range).
std::optional<int> evdevCodeForKeyCode(int64_t keyCode);
std::optional<int64_t> keyCodeForEvdevCode(int evdevCode);

std::optional<uint32_t> xKeycodeForKeyCode(int64_t keyCode);
std::optional<int64_t> keyCodeForXKeycode(uint32_t xKeycode);

// How many positions the table links; both directions hold exactly this many.
int size();

} // namespace KeyboardShortcuts::KeyCodeMap
