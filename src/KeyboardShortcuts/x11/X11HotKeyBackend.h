#pragma once

#include "KeyboardShortcuts/HotKeyBackend.h"
#include "KeyboardShortcuts/Shortcut.h"
#include "KeyboardShortcuts/x11/X11ModifierMap.h"
#include "platform/x11/XcbPointers.h"

#include <QLoggingCategory>
#include <QObject>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace KeyboardShortcuts {

Q_DECLARE_LOGGING_CATEGORY(lcHotKeys)

// Global hot keys as passive key grabs on every root window, on a connection of its own so
// that the grabs, the auto-repeat setting and the event stream belong to this layer alone.
// The same connection hears the server announce a new keymap: the grabs follow the modifier
// map, and the program's key texts are told to read the layout again.
class X11HotKeyBackend : public QObject, public HotKeyBackend {
    Q_OBJECT

public:
    enum class AutoRepeat {
        // Ask the server to report a held key as presses and one release.
        detectable,
        // Take what the server sends by default (release and press pairs); for tests of servers
        // that refuse the request.
        asSent,
    };

    // Connects to $DISPLAY (or the given display). Without a server the backend stays usable
    // but refuses every registration.
    explicit X11HotKeyBackend(const char *display = nullptr, QObject *parent = nullptr,
        AutoRepeat autoRepeat = AutoRepeat::detectable);
    ~X11HotKeyBackend() override;

    bool isConnected() const;

    int32_t registerHotKey(uint32_t keyCode, uint32_t carbonModifiers, uint32_t signature, uint32_t id,
        Reference &reference) override;
    void unregisterHotKey(Reference reference) override;
    bool installEventHandler(std::function<int32_t(const HotKeyEvent &)> handler) override;
    void setHotKeyEventsEnabled(bool enabled) override;
    // Probes with a checked grab of every lock combination, released at once.
    bool isHeldByAnotherProgram(uint32_t keyCode, uint32_t carbonModifiers) override;

    // The lock modifiers (Lock, and the ModN that hold Num Lock and Scroll Lock) whose every
    // combination is grabbed along with each hot key, as of the last keyboard mapping seen.
    uint16_t lockModifierMask() const { return m_modifiers.lockMask; }
    // The ModN that Alt and Super are on, as of the last modifier map seen.
    uint16_t altModifierMask() const { return m_modifiers.altMask; }
    uint16_t superModifierMask() const { return m_modifiers.superMask; }
    // Whether the server agreed to report a held key as presses followed by one release.
    bool hasDetectableAutoRepeat() const { return m_detectableAutoRepeat; }
    // Presses of a held hot key recognised as the server's auto-repeat, for tests.
    int autoRepeatCount() const { return m_autoRepeatCount; }

private:
    struct HotKey {
        Reference reference = 0;
        uint8_t keycode = 0;
        uint32_t carbonModifiers = 0;
        uint16_t modifiers = 0; // X mask of Shift, Control and the ModN of Alt and Super
        uint32_t signature = 0;
        uint32_t id = 0;
        std::vector<uint16_t> grabbedLockCombinations;
    };
    struct ActiveKey {
        uint8_t keycode = 0;
        Reference reference = 0;
        // Down before the grab was made (the combination just recorded, still held): its
        // repeats and its release are not the hot key's.
        bool heldBeforeGrab = false;
    };
    using Event = XcbReply<xcb_generic_event_t>;
    class KeyboardGrabWatch;

    void setUpXkb(AutoRepeat autoRepeat);
    // The combination held down now, when it is one key with modifiers; nothing else.
    std::optional<Shortcut> combinationHeldDown();
    void updateModifierMap();
    struct XCombination {
        uint8_t keycode;
        uint16_t modifiers;
    };
    // Nothing for a combination that X cannot express (fn, keys outside the server's range).
    std::optional<XCombination> xCombinationFor(uint32_t keyCode, uint32_t carbonModifiers) const;
    bool isOurs(const XCombination &combination) const;
    // Grabs keycode+modifiers with every lock combination on every root; on the first refusal
    // releases them all again and returns the negative status.
    int32_t grab(uint8_t keycode, uint16_t modifiers, std::vector<uint16_t> &grabbed);
    void ungrab(uint8_t keycode, uint16_t modifiers, const std::vector<uint16_t> &combinations);
    void regrabAll();
    bool isKeyDown(uint8_t keycode);
    // Forgets keys held before their grab once they are up; their release may have gone to
    // the focused window instead of us.
    void checkKeysHeldBeforeGrab();

    void readEvents();
    void scheduleRead();
    void fetchEvents(std::deque<Event> &pending);
    bool isAutoRepeatPair(const xcb_generic_event_t *release, std::deque<Event> &pending);
    void handleEvent(const xcb_generic_event_t *event);
    void handleKeyPress(uint8_t keycode, uint16_t state);
    void handleKeyRelease(uint8_t keycode);
    void deliver(int kind, uint32_t signature, uint32_t id);
    void checkConnection();

    XcbConnection m_connection;
    std::vector<uint32_t> m_roots;
    uint8_t m_minKeycode = 8;
    uint8_t m_maxKeycode = 255;
    uint8_t m_xkbFirstEvent = 0;
    bool m_xkbPresent = false;
    bool m_detectableAutoRepeat = false;
    X11ModifierMap m_modifiers;

    std::vector<HotKey> m_hotKeys;
    std::vector<ActiveKey> m_active;
    Reference m_nextReference = 1;
    int m_autoRepeatCount = 0;

    std::function<int32_t(const HotKeyEvent &)> m_handler;
    bool m_eventsEnabled = false;
    bool m_readScheduled = false;
    bool m_mappingChanged = false;
    bool m_layoutChanged = false;
    bool m_reading = false;

    QTimer *m_heldBeforeGrabCheck = nullptr;
    std::unique_ptr<KeyboardGrabWatch> m_grabWatch;
    // Declared after the connection so that it goes before the connection closes.
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace KeyboardShortcuts
