#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <span>

namespace KeyboardShortcuts {

// Keys shown by a symbol or a name instead of the character the layout gives them; they never
// go through the keyboard layout.
enum class SpecialKey {
    return_,
    delete_,
    deleteForward,
    end,
    escape,
    help,
    home,
    space,
    tab,
    pageUp,
    pageDown,
    upArrow,
    rightArrow,
    downArrow,
    leftArrow,
    f1,
    f2,
    f3,
    f4,
    f5,
    f6,
    f7,
    f8,
    f9,
    f10,
    f11,
    f12,
    f13,
    f14,
    f15,
    f16,
    f17,
    f18,
    f19,
    f20,
    keypad0,
    keypad1,
    keypad2,
    keypad3,
    keypad4,
    keypad5,
    keypad6,
    keypad7,
    keypad8,
    keypad9,
    keypadClear,
    keypadDecimal,
    keypadDivide,
    keypadEnter,
    keypadEquals,
    keypadMinus,
    keypadMultiply,
    keypadPlus,
};

// All 53 cases in declaration order.
std::span<const SpecialKey> allSpecialKeys();

int64_t keyCode(SpecialKey key);
std::optional<SpecialKey> specialKeyForKeyCode(int64_t keyCode);

// The text shown for the key: a symbol, "F1" … "F20", a keycap, or the localised "Space".
QString presentableDescription(SpecialKey key);
// The key's name in words, as Linux desktops write it in shortcuts: "Page Up", "Esc", "F5",
// "Keypad 7", the localised "Space".
QString keyName(SpecialKey key);
// The key equivalent of a menu item; the keypad keys have none.
std::optional<QString> keyEquivalent(SpecialKey key);

} // namespace KeyboardShortcuts
