#pragma once

#include <QString>

#include <cstdint>

namespace KeyboardShortcuts {

// The modifier state of key events and menus, as event modifier flags. Shortcuts store Carbon
// bits instead (see carbon() and fromCarbon()); the two meet only through the five modifiers
// that both know, so every other bit is lost in the conversion on purpose.
struct ModifierFlags {
    uint64_t rawValue = 0;

    constexpr ModifierFlags() = default;
    constexpr explicit ModifierFlags(uint64_t rawValue)
        : rawValue(rawValue)
    { }

    static const ModifierFlags capsLock;
    static const ModifierFlags shift;
    static const ModifierFlags control;
    static const ModifierFlags option;
    static const ModifierFlags command;
    static const ModifierFlags numericPad;
    static const ModifierFlags help;
    static const ModifierFlags function;

    constexpr bool contains(ModifierFlags other) const
    {
        return (rawValue & other.rawValue) == other.rawValue;
    }
    constexpr bool isEmpty() const { return rawValue == 0; }

    friend constexpr ModifierFlags operator|(ModifierFlags a, ModifierFlags b)
    {
        return ModifierFlags(a.rawValue | b.rawValue);
    }
    friend constexpr ModifierFlags operator&(ModifierFlags a, ModifierFlags b)
    {
        return ModifierFlags(a.rawValue & b.rawValue);
    }
    friend constexpr ModifierFlags operator-(ModifierFlags a, ModifierFlags b)
    {
        return ModifierFlags(a.rawValue & ~b.rawValue);
    }
    ModifierFlags &operator|=(ModifierFlags other)
    {
        rawValue |= other.rawValue;
        return *this;
    }
    friend constexpr bool operator==(ModifierFlags, ModifierFlags) = default;

    // Carbon bits of the five known modifiers; caps lock, numeric pad, help and device bits drop.
    constexpr int64_t carbon() const;
    // The flags of the five known Carbon bits; caps lock, right-hand-side and other bits drop.
    static constexpr ModifierFlags fromCarbon(int64_t carbon);

    // ⌃⌥⇧⌘🌐︎ for the flags present, always in that order.
    QString ks_symbolicRepresentation() const;
};

inline constexpr ModifierFlags ModifierFlags::capsLock { 0x10000 };
inline constexpr ModifierFlags ModifierFlags::shift { 0x20000 };
inline constexpr ModifierFlags ModifierFlags::control { 0x40000 };
inline constexpr ModifierFlags ModifierFlags::option { 0x80000 };
inline constexpr ModifierFlags ModifierFlags::command { 0x100000 };
inline constexpr ModifierFlags ModifierFlags::numericPad { 0x200000 };
inline constexpr ModifierFlags ModifierFlags::help { 0x400000 };
inline constexpr ModifierFlags ModifierFlags::function { 0x800000 };

namespace CarbonModifier {
inline constexpr int64_t command = 0x100;
inline constexpr int64_t shift = 0x200;
inline constexpr int64_t option = 0x800;
inline constexpr int64_t control = 0x1000;
inline constexpr int64_t function = 0x20000;
} // namespace CarbonModifier

namespace detail {
struct ModifierPair {
    ModifierFlags flag;
    int64_t carbon;
};
inline constexpr ModifierPair modifierPairs[] = {
    { ModifierFlags::shift, CarbonModifier::shift },
    { ModifierFlags::control, CarbonModifier::control },
    { ModifierFlags::option, CarbonModifier::option },
    { ModifierFlags::command, CarbonModifier::command },
    { ModifierFlags::function, CarbonModifier::function },
};
} // namespace detail

constexpr int64_t ModifierFlags::carbon() const
{
    int64_t result = 0;
    for (const auto &pair : detail::modifierPairs) {
        if (contains(pair.flag))
            result |= pair.carbon;
    }
    return result;
}

constexpr ModifierFlags ModifierFlags::fromCarbon(int64_t carbon)
{
    ModifierFlags result;
    for (const auto &pair : detail::modifierPairs) {
        if ((carbon & pair.carbon) == pair.carbon)
            result |= pair.flag;
    }
    return result;
}

inline QString ks_symbolicRepresentation(ModifierFlags flags)
{
    return flags.ks_symbolicRepresentation();
}

} // namespace KeyboardShortcuts
