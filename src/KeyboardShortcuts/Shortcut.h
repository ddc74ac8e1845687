#pragma once

#include "KeyboardShortcuts/Key.h"
#include "KeyboardShortcuts/ModifierFlags.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHashFunctions>
#include <QString>

#include <cstdint>
#include <optional>

class QKeyEvent;

namespace KeyboardShortcuts {

class Name;

// Event types of the raw key events that fromEvent() accepts, numbered like the platform
// events the shortcuts were first recorded from.
namespace RawEventType {
inline constexpr int keyDown = 10;
inline constexpr int keyUp = 11;
inline constexpr int flagsChanged = 12;
} // namespace RawEventType

// One key with a set of modifiers, as stored: the program's key code and Carbon modifier bits.
struct Shortcut {
    int64_t carbonKeyCode = 0;
    int64_t carbonModifiers = 0;

    // Keeps the key code as given and only the five known modifier bits.
    Shortcut(int64_t carbonKeyCode, int64_t carbonModifiers);
    Shortcut(Key key, ModifierFlags modifiers);

    // Exactly these numbers, as read from storage: decoding does not normalise.
    static Shortcut unnormalized(int64_t carbonKeyCode, int64_t carbonModifiers);

    // Nothing unless type is RawEventType::keyDown or keyUp. The key code is taken as 16 bits and
    // the function flag is dropped, so a shortcut made from an event never holds it.
    static std::optional<Shortcut> fromEvent(int type, int keyCode, uint64_t eventModifierFlags);
    // A Qt key press or release; its native scan code is an X keycode, its modifiers map as
    // Shift → shift, Control → control, Alt → option, Meta (Super) → command. Nothing for other
    // event types or for a key that has no program key code.
    static std::optional<Shortcut> fromEvent(const QKeyEvent &event);
    // The shortcut stored for the name, like getShortcut().
    static std::optional<Shortcut> fromName(const Name &name);

    Key key() const { return Key(carbonKeyCode); }
    ModifierFlags modifiers() const { return ModifierFlags::fromCarbon(carbonModifiers); }

    // The compact symbolic form, e.g. ⌃⌘A or ⇧⌘F1; the form kept where code compares texts.
    QString description() const;
    // What users read: the modifiers as Linux keyboards name them, in the order Ctrl, Alt,
    // Shift, Super, joined to the key with "+", e.g. Shift+Super+X or Ctrl+Alt+Page Up.
    QString displayText() const;
    // The key equivalent of a menu item with this shortcut; nothing when the key has none.
    std::optional<QString> nsMenuItemKeyEquivalent() const;

    // Compact JSON, e.g. {"carbonKeyCode":7,"carbonModifiers":768}.
    QByteArray toJson() const;
    // Any member order and spacing; other members are ignored. Nothing unless the text is a JSON
    // object whose two members are integers.
    static std::optional<Shortcut> fromJson(QByteArrayView json);

    friend bool operator==(const Shortcut &, const Shortcut &) = default;

private:
    struct Unnormalized { };
    Shortcut(Unnormalized, int64_t carbonKeyCode, int64_t carbonModifiers)
        : carbonKeyCode(carbonKeyCode)
        , carbonModifiers(carbonModifiers)
    { }
};

inline size_t qHash(const Shortcut &shortcut, size_t seed = 0) noexcept
{
    return qHashMulti(
        seed, static_cast<qint64>(shortcut.carbonKeyCode), static_cast<qint64>(shortcut.carbonModifiers));
}

} // namespace KeyboardShortcuts

template <> struct std::hash<KeyboardShortcuts::Shortcut> {
    size_t operator()(const KeyboardShortcuts::Shortcut &shortcut) const noexcept
    {
        return qHash(shortcut, 0);
    }
};
