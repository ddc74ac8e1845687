#include "SystemShortcuts.h"

#include <algorithm>

namespace KeyboardShortcuts {

// The desktop sources (GNOME, KDE) and the probe of other programs' grabs come next.
std::vector<Shortcut> systemShortcuts()
{
    return {};
}

bool isUsedBySystem(const Shortcut &shortcut)
{
    const std::vector<Shortcut> used = systemShortcuts();
    return std::find(used.begin(), used.end(), shortcut) != used.end();
}

} // namespace KeyboardShortcuts
