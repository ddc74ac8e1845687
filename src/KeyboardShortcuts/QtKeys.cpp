#include "QtKeys.h"

#include "KeyboardShortcuts/KeyboardLayout.h"

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

#include <array>
#include <utility>

namespace KeyboardShortcuts {

namespace {

// Keys that are not characters. Latin-1 characters have keysyms equal to their code points,
// the rest of Unicode goes through xkbcommon.
constexpr std::array<std::pair<Qt::Key, uint32_t>, 41> qtNamedKeys { {
    { Qt::Key_Escape, XKB_KEY_Escape },
    { Qt::Key_Tab, XKB_KEY_Tab },
    { Qt::Key_Backtab, XKB_KEY_ISO_Left_Tab },
    { Qt::Key_Backspace, XKB_KEY_BackSpace },
    { Qt::Key_Return, XKB_KEY_Return },
    { Qt::Key_Enter, XKB_KEY_KP_Enter },
    { Qt::Key_Insert, XKB_KEY_Insert },
    { Qt::Key_Delete, XKB_KEY_Delete },
    { Qt::Key_Pause, XKB_KEY_Pause },
    { Qt::Key_Print, XKB_KEY_Print },
    { Qt::Key_SysReq, XKB_KEY_Sys_Req },
    { Qt::Key_Clear, XKB_KEY_Clear },
    { Qt::Key_Home, XKB_KEY_Home },
    { Qt::Key_End, XKB_KEY_End },
    { Qt::Key_Left, XKB_KEY_Left },
    { Qt::Key_Up, XKB_KEY_Up },
    { Qt::Key_Right, XKB_KEY_Right },
    { Qt::Key_Down, XKB_KEY_Down },
    { Qt::Key_PageUp, XKB_KEY_Prior },
    { Qt::Key_PageDown, XKB_KEY_Next },
    { Qt::Key_Shift, XKB_KEY_Shift_L },
    { Qt::Key_Control, XKB_KEY_Control_L },
    { Qt::Key_Meta, XKB_KEY_Super_L },
    { Qt::Key_Alt, XKB_KEY_Alt_L },
    { Qt::Key_CapsLock, XKB_KEY_Caps_Lock },
    { Qt::Key_NumLock, XKB_KEY_Num_Lock },
    { Qt::Key_ScrollLock, XKB_KEY_Scroll_Lock },
    { Qt::Key_Menu, XKB_KEY_Menu },
    { Qt::Key_Help, XKB_KEY_Help },
    { Qt::Key_Space, XKB_KEY_space },
    { Qt::Key_VolumeDown, XKB_KEY_XF86AudioLowerVolume },
    { Qt::Key_VolumeUp, XKB_KEY_XF86AudioRaiseVolume },
    { Qt::Key_VolumeMute, XKB_KEY_XF86AudioMute },
    { Qt::Key_MediaPlay, XKB_KEY_XF86AudioPlay },
    { Qt::Key_MediaStop, XKB_KEY_XF86AudioStop },
    { Qt::Key_MediaPrevious, XKB_KEY_XF86AudioPrev },
    { Qt::Key_MediaNext, XKB_KEY_XF86AudioNext },
    { Qt::Key_Calculator, XKB_KEY_XF86Calculator },
    { Qt::Key_Eject, XKB_KEY_XF86Eject },
    { Qt::Key_Sleep, XKB_KEY_XF86Sleep },
    { Qt::Key_PowerOff, XKB_KEY_XF86PowerOff },
} };

} // namespace

std::optional<uint32_t> keysymForQtKey(Qt::Key key)
{
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return uint32_t(XKB_KEY_F1 + (key - Qt::Key_F1));
    for (const auto &[qtKey, keysym] : qtNamedKeys) {
        if (qtKey == key)
            return keysym;
    }
    if (key < 0x20 || key >= Qt::Key_Escape)
        return std::nullopt;
    // Qt names a letter by its capital; the key itself gives the small one.
    const char32_t lower = QChar::toLower(char32_t(key));
    const uint32_t keysym = xkb_utf32_to_keysym(lower);
    return keysym == XKB_KEY_NoSymbol ? std::nullopt : std::optional<uint32_t>(keysym);
}

std::optional<Qt::Key> qtKeyForKeysym(uint32_t keysym)
{
    if (keysym >= XKB_KEY_F1 && keysym <= XKB_KEY_F35)
        return Qt::Key(Qt::Key_F1 + (keysym - XKB_KEY_F1));
    for (const auto &[qtKey, named] : qtNamedKeys) {
        if (named == keysym)
            return qtKey;
    }
    // The keypad's digits and signs are the characters, with the keypad modifier.
    const char32_t character = xkb_keysym_to_utf32(keysym);
    if (character < 0x20 || character == 0x7f)
        return std::nullopt;
    return Qt::Key(QChar::toUpper(character));
}

namespace {

constexpr std::pair<Qt::KeyboardModifier, ModifierFlags> modifierPairs[] {
    { Qt::ShiftModifier, ModifierFlags::shift },
    { Qt::ControlModifier, ModifierFlags::control },
    { Qt::AltModifier, ModifierFlags::option },
    { Qt::MetaModifier, ModifierFlags::command },
};

} // namespace

ModifierFlags modifierFlags(Qt::KeyboardModifiers modifiers)
{
    ModifierFlags flags;
    for (const auto &[qt, flag] : modifierPairs) {
        if (modifiers & qt)
            flags |= flag;
    }
    return flags;
}

Qt::KeyboardModifiers qtModifiers(ModifierFlags flags)
{
    Qt::KeyboardModifiers modifiers;
    for (const auto &[qt, flag] : modifierPairs) {
        if (flags.contains(flag))
            modifiers |= qt;
    }
    return modifiers;
}

std::optional<QKeyCombination> keyCombination(const Shortcut &shortcut)
{
    const std::optional<uint32_t> keysym = keyToKeysym(shortcut.carbonKeyCode);
    const std::optional<Qt::Key> key = keysym ? qtKeyForKeysym(*keysym) : std::nullopt;
    if (!key)
        return std::nullopt;
    return QKeyCombination(qtModifiers(shortcut.modifiers()), *key);
}

std::optional<Shortcut> shortcutForKeyCombination(QKeyCombination combination)
{
    const std::optional<uint32_t> keysym = keysymForQtKey(combination.key());
    const std::optional<int64_t> keyCode = keysym ? keysymToKey(*keysym) : std::nullopt;
    if (!keyCode)
        return std::nullopt;
    return Shortcut(Key(*keyCode), modifierFlags(combination.keyboardModifiers()));
}

} // namespace KeyboardShortcuts
