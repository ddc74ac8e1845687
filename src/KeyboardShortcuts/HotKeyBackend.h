#pragma once

#include <cstdint>
#include <functional>

namespace KeyboardShortcuts {

// What the hot-key layer hears from the platform.
namespace HotKeyEventKind {
inline constexpr int rawKeyDown = 1;
inline constexpr int rawKeyUp = 3;
inline constexpr int hotKeyPressed = 5;
inline constexpr int hotKeyReleased = 6;
} // namespace HotKeyEventKind

// The answer for an event that is not ours: the platform passes it on.
inline constexpr int32_t eventNotHandledStatus = -9874;
// Status of a combination that another client holds already.
inline constexpr int32_t hotKeyExistsStatus = -9878;
// Status of a combination that cannot be expressed on this platform (a key or modifier it
// has no equivalent for, numbers out of range).
inline constexpr int32_t hotKeyInvalidStatus = -50;

struct HotKeyEvent {
    int kind = 0;
    uint32_t signature = 0;
    uint32_t id = 0;
};

// The desktop's global hot keys. Key codes are the program's own (positional) key codes,
// modifiers the stored Carbon bits; the back-end translates them.
class HotKeyBackend {
public:
    using Reference = uint64_t; // never 0

    virtual ~HotKeyBackend() = default;

    // Returns 0 and sets reference when the combination is now ours; a negative status (and
    // nothing held) when it is refused.
    virtual int32_t registerHotKey(
        uint32_t keyCode, uint32_t carbonModifiers, uint32_t signature, uint32_t id, Reference &reference)
        = 0;
    virtual void unregisterHotKey(Reference reference) = 0;

    // The one handler of the layer; returns false when it cannot be installed. Events are
    // delivered on the main thread, and only while hot-key events are enabled.
    virtual bool installEventHandler(std::function<int32_t(const HotKeyEvent &)> handler) = 0;
    virtual void setHotKeyEventsEnabled(bool enabled) = 0;

    // Whether another program holds the combination now, so that the desktop would not give
    // it to us. A combination this back-end holds itself is not another program's.
    virtual bool isHeldByAnotherProgram(uint32_t keyCode, uint32_t carbonModifiers) = 0;

    // Whether an open menu of ours gets the combination as an ordinary key press (an X11
    // grab gives way to the menu's), or the desktop takes it first and tells us (a portal).
    virtual bool keysReachOpenMenus() const { return true; }
};

} // namespace KeyboardShortcuts
