#include "DesktopAccelerator.h"

#include "KeyboardLayout.h"
#include "ModifierFlags.h"

#include <xkbcommon/xkbcommon.h>

namespace KeyboardShortcuts {

std::optional<QStringList> acceleratorWords(const Shortcut &shortcut, const ModifierWords &modifierWords)
{
    const ModifierFlags modifiers = ModifierFlags::fromCarbon(shortcut.carbonModifiers);
    if (modifiers.contains(ModifierFlags::function))
        return std::nullopt;
    const std::optional<uint32_t> keysym = keyToKeysym(shortcut.carbonKeyCode);
    if (!keysym)
        return std::nullopt;
    char name[64];
    if (xkb_keysym_get_name(*keysym, name, sizeof name) <= 0)
        return std::nullopt;
    const ModifierFlags order[]
        = { ModifierFlags::control, ModifierFlags::option, ModifierFlags::shift, ModifierFlags::command };
    QStringList words;
    for (size_t i = 0; i < std::size(order); ++i) {
        if (modifiers.contains(order[i]))
            words << QString::fromLatin1(modifierWords[i]);
    }
    words << QString::fromLatin1(name);
    return words;
}

std::optional<QString> gnomeAccelerator(const Shortcut &shortcut)
{
    const std::optional<QStringList> words
        = acceleratorWords(shortcut, { "<Control>", "<Alt>", "<Shift>", "<Super>" });
    return words ? std::optional(words->join(QString())) : std::nullopt;
}

} // namespace KeyboardShortcuts
