#pragma once

#include "KeyboardShortcuts/Shortcut.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

namespace KeyboardShortcuts {

// The desktop's own configured shortcuts, where they can be read, read afresh at every call:
// GNOME's keybinding schemas through `gsettings`, KDE's kglobalshortcutsrc. A source that
// cannot be read contributes nothing.
std::vector<Shortcut> systemShortcuts();

// Whether the system uses the shortcut: one of systemShortcuts(), or a combination that
// another program holds on the desktop now.
bool isUsedBySystem(const Shortcut &shortcut);

// The shortcuts in `gsettings list-recursively <schema>` output: lines of schema, key and a
// string or a list of strings, each a GTK accelerator such as "<Super><Shift>x".
std::vector<Shortcut> parseGsettingsKeybindings(QStringView output);
std::optional<Shortcut> shortcutFromGtkAccelerator(QStringView accelerator);
// The active shortcuts of a kglobalshortcutsrc: "action=active,default,description", the
// active part holding key sequences ("Meta+Shift+X") separated by tabs, or "none".
std::vector<Shortcut> parseKdeGlobalShortcuts(QStringView contents);

} // namespace KeyboardShortcuts
