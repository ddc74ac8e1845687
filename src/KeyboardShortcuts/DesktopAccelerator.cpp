#include "DesktopAccelerator.h"

#include "KeyboardLayout.h"
#include "ModifierFlags.h"

#include <xkbcommon/xkbcommon.h>

namespace KeyboardShortcuts {

std::optional<QString> gnomeAccelerator(const Shortcut &shortcut)
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
    QString accelerator;
    if (modifiers.contains(ModifierFlags::control))
        accelerator += QStringLiteral("<Control>");
    if (modifiers.contains(ModifierFlags::option))
        accelerator += QStringLiteral("<Alt>");
    if (modifiers.contains(ModifierFlags::shift))
        accelerator += QStringLiteral("<Shift>");
    if (modifiers.contains(ModifierFlags::command))
        accelerator += QStringLiteral("<Super>");
    return accelerator + QString::fromLatin1(name);
}

} // namespace KeyboardShortcuts
