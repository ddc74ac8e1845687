#pragma once

// The keyboard-shortcut subsystem: shortcut values, named slots and their storage in the user
// defaults, kept in step with the hot-key registry and announced through the Notifier.
// Main thread only.

#include "KeyboardShortcuts/HotKeyRegistry.h"
#include "KeyboardShortcuts/Key.h"
#include "KeyboardShortcuts/KeySymbols.h"
#include "KeyboardShortcuts/KeyboardLayout.h"
#include "KeyboardShortcuts/ModifierFlags.h"
#include "KeyboardShortcuts/Name.h"
#include "KeyboardShortcuts/Notifier.h"
#include "KeyboardShortcuts/Shortcut.h"

#include <optional>
#include <vector>

class UserDefaults;

namespace KeyboardShortcuts {

// The store of the slots (not owned); nullptr goes back to the program's standard store.
void setUserDefaults(UserDefaults *defaults);
UserDefaults &userDefaults();

// Read from the store on every call, so changes made by any means are seen at once. Only a
// JSON object with integer "carbonKeyCode" and "carbonModifiers" is a shortcut.
std::optional<Shortcut> getShortcut(const Name &name);

// Stores (registering the new and unregistering the old shortcut) or, with nothing, clears the
// slot: a name with a default keeps the Boolean false so the default does not come back,
// others lose their entry. Clearing an empty slot does nothing and posts nothing.
void setShortcut(const std::optional<Shortcut> &shortcut, const Name &name);

// Each slot back to its name's default, in order.
void reset(const std::vector<Name> &names);
template <typename... Names> void reset(const Name &name, const Names &...names)
{
    reset(std::vector<Name> { name, names... });
}
// Resets every slot that has an entry, as names without defaults: readable shortcuts are
// removed, disabled markers and unreadable entries stay.
void resetAll();

// Whether the process runs in a sandbox (APP_SANDBOX_CONTAINER_ID set, to anything); read once.
bool isSandboxed();

} // namespace KeyboardShortcuts
