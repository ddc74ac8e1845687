#pragma once

#include "KeyboardShortcuts/Shortcut.h"

#include <vector>

namespace KeyboardShortcuts {

// The desktop's own configured shortcuts, where they can be read, read afresh at every call;
// a source that cannot be read contributes nothing.
std::vector<Shortcut> systemShortcuts();

// Whether the system uses the shortcut: one of systemShortcuts(), or a combination that
// another program holds.
bool isUsedBySystem(const Shortcut &shortcut);

} // namespace KeyboardShortcuts
