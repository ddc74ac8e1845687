#pragma once

#include <QString>

#include <functional>

class AppState;
class QObject;

namespace KeyboardShortcuts {
class Name;
}

// When each command of the windows and menus can be used; buttons and menu items read the
// same rule, so they never disagree.
struct CommandAvailability {
    bool capture = false; // "Capture Text", "No Line Breaks"
    bool captureLast = false;
    bool copy = false;
    bool exportText = false;

    static CommandAvailability of(const AppState &state);
};

// The global shortcut of a command as users read it (Shift+Super+X); empty when none is set.
QString shortcutText(const KeyboardShortcuts::Name &name);
// "Capture Text (Shift+Super+X)", or the title alone without a shortcut: for tooltips.
QString titleWithShortcut(const QString &title, const KeyboardShortcuts::Name &name);
// A menu item's text with the shortcut in the menu's shortcut column.
QString menuTextWithShortcut(const QString &title, const KeyboardShortcuts::Name &name);
// Runs refresh whenever a stored shortcut or the keyboard layout (and so its text) changes.
void onShortcutTextChange(QObject *receiver, const std::function<void()> &refresh);
