#pragma once

#include <QString>

#include <cstdint>
#include <optional>

struct xkb_context;
struct xkb_keymap;

namespace KeyboardShortcuts {

enum class KeyboardLayoutSource {
    // The display's keymap when a reader is set and finds one, else the XKB environment.
    automatic,
    // Only XKB_DEFAULT_RULES/MODEL/LAYOUT/VARIANT/OPTIONS (or the system default): no X server.
    xkbEnvironment,
};

// The one character the key types on the current layout with no modifiers, or nothing (special
// keys, keys outside the positional table, keys that type several characters or none).
std::optional<QString> keyToCharacter(int64_t keyCode);

// The keysym of the key's first level on the current layout, or nothing (no such key).
std::optional<uint32_t> keyToKeysym(int64_t keyCode);
// The key that gives the keysym on the current layout, at the lowest level that has it (so
// 'X' finds the X key through its Shift level), or nothing.
std::optional<int64_t> keysymToKey(uint32_t keysym);

// Forgets the cached keymap; the next lookup reads it again from the given source. Call it when
// the keyboard mapping changes.
void refreshKeyboardLayout(KeyboardLayoutSource source = KeyboardLayoutSource::automatic);

// Reads the display server's keymap into the context (the caller owns the keymap) and the
// layout group active there, or gives null. Set by the display's back-end (see
// x11/X11Keymap.h); this file knows only xkbcommon. Setting it forgets the cached keymap.
using DisplayKeymapReader = xkb_keymap *(*)(xkb_context *context, uint32_t &group);
void setDisplayKeymapReader(DisplayKeymapReader reader);

} // namespace KeyboardShortcuts
