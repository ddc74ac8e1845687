#pragma once

#include "KeyboardShortcuts/Name.h"
#include "KeyboardShortcuts/ViewModifiers/EventStream.h"

#include <functional>
#include <optional>

class QAction;
class QWidget;

namespace KeyboardShortcuts {

// Runs the action for every press and release of the name's shortcut while the widget is
// shown; hidden, it hears nothing.
void onGlobalKeyboardShortcut(QWidget *widget, const Name &name, std::function<void(EventType)> action);
void onGlobalKeyboardShortcut(
    QWidget *widget, const Name &name, EventType type, std::function<void()> action);

// Gives the action the name's stored shortcut as its own key sequence, and none while any
// recorder records; follows every change of the shortcut and of the keyboard layout.
void globalKeyboardShortcut(QAction *action, const Name &name);

// Keeps a menu item's key sequence in step with the name's stored shortcut, updated on the
// next turn of the event loop after a change. Without a name the item loses its key sequence
// and stops following.
void setShortcut(QAction *item, const std::optional<Name> &name);

} // namespace KeyboardShortcuts
