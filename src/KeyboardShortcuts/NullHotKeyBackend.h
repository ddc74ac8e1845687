#pragma once

#include "KeyboardShortcuts/HotKeyBackend.h"

namespace KeyboardShortcuts {

// Where the desktop offers no global hot keys to us: every registration is refused (and
// reported as such), so the rest of the program works the same.
class NullHotKeyBackend : public HotKeyBackend {
public:
    int32_t registerHotKey(uint32_t, uint32_t, uint32_t, uint32_t, Reference &) override
    {
        return hotKeyInvalidStatus;
    }
    void unregisterHotKey(Reference) override { }
    bool installEventHandler(std::function<int32_t(const HotKeyEvent &)>) override { return false; }
    void setHotKeyEventsEnabled(bool) override { }
    bool isHeldByAnotherProgram(uint32_t, uint32_t) override { return false; }
};

} // namespace KeyboardShortcuts
