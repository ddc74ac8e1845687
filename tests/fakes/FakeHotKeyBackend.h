#pragma once

#include "KeyboardShortcuts/HotKeyBackend.h"
#include "KeyboardShortcuts/Shortcut.h"

#include <map>
#include <set>
#include <utility>

// Desktop hot keys in memory: remembers what is held, refuses what the test says another
// program holds, and lets the test press and release combinations.
class FakeHotKeyBackend : public KeyboardShortcuts::HotKeyBackend {
public:
    struct Held {
        uint32_t keyCode;
        uint32_t modifiers;
        uint32_t signature;
        uint32_t id;
    };
    std::map<Reference, Held> held;
    std::set<std::pair<uint32_t, uint32_t>> takenByOthers;
    // A desktop that gives programs no global hot keys at all.
    bool refusesEverything = false;
    // A desktop that takes the combination itself, before an open menu sees it (a portal).
    bool desktopTakesKeys = false;
    bool eventsEnabled = false;
    int registerCalls = 0;
    std::function<int32_t(const KeyboardShortcuts::HotKeyEvent &)> handler;

    int32_t registerHotKey(
        uint32_t keyCode, uint32_t modifiers, uint32_t signature, uint32_t id, Reference &reference) override
    {
        ++registerCalls;
        if (refusesEverything)
            return KeyboardShortcuts::hotKeyInvalidStatus;
        if (takenByOthers.count({ keyCode, modifiers }))
            return KeyboardShortcuts::hotKeyExistsStatus;
        reference = ++m_nextReference;
        held[reference] = { keyCode, modifiers, signature, id };
        return 0;
    }
    void unregisterHotKey(Reference reference) override { held.erase(reference); }
    bool installEventHandler(std::function<int32_t(const KeyboardShortcuts::HotKeyEvent &)> h) override
    {
        handler = std::move(h);
        return true;
    }
    void setHotKeyEventsEnabled(bool enabled) override { eventsEnabled = enabled; }
    bool isHeldByAnotherProgram(uint32_t keyCode, uint32_t modifiers) override
    {
        return takenByOthers.count({ keyCode, modifiers }) > 0;
    }

    bool keysReachOpenMenus() const override { return !desktopTakesKeys; }

    bool isHeld(const KeyboardShortcuts::Shortcut &shortcut) const { return find(shortcut) != nullptr; }
    std::optional<uint32_t> heldId(const KeyboardShortcuts::Shortcut &shortcut) const
    {
        const Held *h = find(shortcut);
        return h ? std::optional<uint32_t>(h->id) : std::nullopt;
    }
    // The user pressing or releasing the combination: the handler's answer, or 1 when nothing
    // was delivered (not held, or events off).
    int32_t press(const KeyboardShortcuts::Shortcut &shortcut) { return deliver(shortcut, 5); }
    int32_t release(const KeyboardShortcuts::Shortcut &shortcut) { return deliver(shortcut, 6); }

private:
    const Held *find(const KeyboardShortcuts::Shortcut &shortcut) const
    {
        for (const auto &[reference, h] : held) {
            if (h.keyCode == shortcut.carbonKeyCode && h.modifiers == shortcut.carbonModifiers)
                return &h;
        }
        return nullptr;
    }
    int32_t deliver(const KeyboardShortcuts::Shortcut &shortcut, int kind)
    {
        const Held *h = find(shortcut);
        if (!h || !eventsEnabled || !handler)
            return 1;
        return handler({ kind, h->signature, h->id });
    }
    Reference m_nextReference = 0;
};
