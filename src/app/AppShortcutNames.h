#pragma once

#include "KeyboardShortcuts/Name.h"

namespace KeyboardShortcuts::AppShortcutNames {

// The program's three slots, each made on first use (which stores the default of captureText
// on a fresh profile). Call after the user defaults and the hot-key registry are installed.
const Name &captureText();
const Name &captureWithoutLineBreaks();
const Name &captureLastSelection();

// Shift-Command-X.
Shortcut captureTextDefault();

} // namespace KeyboardShortcuts::AppShortcutNames
