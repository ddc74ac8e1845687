#pragma once

namespace KeyboardShortcuts {

// Lets the keyboard layout read the X server's keymap (XWayland's too) when $DISPLAY reaches
// one: what the keys type, for shortcut texts, is then the desktop's own layout.
void useX11Keymap();

} // namespace KeyboardShortcuts
