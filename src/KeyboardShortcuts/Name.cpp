#include "Name.h"

#include "KeyboardShortcuts/HotKeyRegistry.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "platform/UserDefaults.h"

namespace KeyboardShortcuts {

Name::Name(const QString &rawValue, std::optional<Shortcut> defaultShortcut)
    : m_rawValue(rawValue)
    , m_defaultShortcut(defaultShortcut)
{
    // Any entry counts, a disabled marker or an unreadable value included: the user's choice
    // (or someone else's data) is never overwritten by a default.
    if (m_defaultShortcut && !userDefaults().objectForKey(storageKey()))
        KeyboardShortcuts::setShortcut(m_defaultShortcut, *this);
    initialize();
}

QString Name::storageKey() const
{
    return QLatin1StringView(storageKeyPrefix) + m_rawValue;
}

std::optional<Shortcut> Name::shortcut() const
{
    return getShortcut(*this);
}

void Name::setShortcut(const std::optional<Shortcut> &shortcut) const
{
    KeyboardShortcuts::setShortcut(shortcut, *this);
}

} // namespace KeyboardShortcuts
