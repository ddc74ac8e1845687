#pragma once

#include "KeyboardShortcuts/Shortcut.h"

#include <QKeyCombination>
#include <QList>

#include <functional>
#include <optional>

class QAction;

namespace KeyboardShortcuts {

// What the recorder makes of a pressed combination, in the order it asks: a global shortcut
// needs Control, Alt or Super (or is F1-F35), must have a key code, must not be a menu item's
// own, must not break the sandbox rule, and should not be the desktop's (F12 alone excepted).
struct ShortcutValidation {
    enum class Verdict { acceptable, needsModifier, notAShortcut, usedByMenuItem, disallowed, usedBySystem };
    Verdict verdict = Verdict::acceptable;
    // The menu item that has the combination, for usedByMenuItem.
    QAction *menuItem = nullptr;

    static ShortcutValidation of(Qt::KeyboardModifiers modifiers, int key,
        const std::optional<Shortcut> &shortcut, const QList<QAction *> &menuItems,
        const std::function<bool(const Shortcut &)> &isSystemShortcut);
    // The first item of the menus (searched into submenus) whose single shortcut is the combination.
    static QAction *menuItemWithShortcut(const QList<QAction *> &items, QKeyCombination combination);
};

} // namespace KeyboardShortcuts
