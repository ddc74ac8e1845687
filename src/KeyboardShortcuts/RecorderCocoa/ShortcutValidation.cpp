#include "ShortcutValidation.h"

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/ModifierFlags.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>

namespace KeyboardShortcuts {

namespace {

// A rule of one desktop system's releases for sandboxed programs (Option or Option-Shift
// alone); no Linux desktop has it, so it never applies here.
bool systemForbidsOptionShortcutsWhenSandboxed()
{
    return false;
}

} // namespace

ShortcutValidation ShortcutValidation::of(Qt::KeyboardModifiers modifiers, int key,
    const std::optional<Shortcut> &shortcut, const QList<QAction *> &menuItems,
    const std::function<bool(const Shortcut &)> &isSystemShortcut)
{
    if (!(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        && !(key >= Qt::Key_F1 && key <= Qt::Key_F35))
        return { Verdict::needsModifier };
    if (!shortcut)
        return { Verdict::notAShortcut };
    if (QAction *item = menuItemWithShortcut(menuItems, QKeyCombination(modifiers, Qt::Key(key))))
        return { Verdict::usedByMenuItem, item };
    if (systemForbidsOptionShortcutsWhenSandboxed() && isSandboxed()
        && (shortcut->modifiers().rawValue & 0x9D0000) == ModifierFlags::option.rawValue)
        return { Verdict::disallowed };
    const bool plainF12 = shortcut->key() == Key::f12 && shortcut->modifiers().isEmpty();
    if (!plainF12 && isSystemShortcut && isSystemShortcut(*shortcut))
        return { Verdict::usedBySystem };
    return {};
}

QAction *ShortcutValidation::menuItemWithShortcut(const QList<QAction *> &items, QKeyCombination combination)
{
    const QKeySequence pressed(combination);
    for (QAction *action : items) {
        for (const QKeySequence &sequence : action->shortcuts()) {
            if (sequence.count() == 1 && sequence == pressed)
                return action;
        }
        if (QMenu *submenu = action->menu()) {
            if (QAction *found = menuItemWithShortcut(submenu->actions(), combination))
                return found;
        }
    }
    return nullptr;
}

} // namespace KeyboardShortcuts
