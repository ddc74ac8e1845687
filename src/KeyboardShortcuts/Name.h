#pragma once

#include "KeyboardShortcuts/Shortcut.h"

#include <QHashFunctions>
#include <QMetaType>
#include <QString>

#include <optional>

namespace KeyboardShortcuts {

inline constexpr char storageKeyPrefix[] = "KeyboardShortcuts_";

// A named slot holding at most one shortcut. Equality is by rawValue only: names with the same
// string are one slot whatever defaults they carry.
class Name {
public:
    // Writes the default (registering it and notifying) when the slot has no entry of any kind,
    // so a slot the user cleared stays cleared; then sets up the hot-key registry. Creating the
    // same name again is harmless.
    explicit Name(const QString &rawValue, std::optional<Shortcut> defaultShortcut = std::nullopt);

    const QString &rawValue() const { return m_rawValue; }
    const std::optional<Shortcut> &defaultShortcut() const { return m_defaultShortcut; }
    // "KeyboardShortcuts_" + rawValue.
    QString storageKey() const;

    std::optional<Shortcut> shortcut() const;
    void setShortcut(const std::optional<Shortcut> &shortcut) const;

    friend bool operator==(const Name &a, const Name &b) { return a.m_rawValue == b.m_rawValue; }

private:
    QString m_rawValue;
    std::optional<Shortcut> m_defaultShortcut;
};

inline size_t qHash(const Name &name, size_t seed = 0) noexcept
{
    return qHash(name.rawValue(), seed);
}

} // namespace KeyboardShortcuts

template <> struct std::hash<KeyboardShortcuts::Name> {
    size_t operator()(const KeyboardShortcuts::Name &name) const noexcept { return qHash(name, 0); }
};

Q_DECLARE_METATYPE(KeyboardShortcuts::Name)
