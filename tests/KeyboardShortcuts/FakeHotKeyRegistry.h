#pragma once

#include "KeyboardShortcuts/HotKeyRegistry.h"
#include "KeyboardShortcuts/Shortcut.h"

#include <vector>

// Records what storage asks of the hot-key layer, in order.
class FakeHotKeyRegistry : public KeyboardShortcuts::HotKeyRegistry {
public:
    std::vector<KeyboardShortcuts::Shortcut> registered;
    std::vector<KeyboardShortcuts::Shortcut> unregistered;
    int initializeCalls = 0;

    void registerShortcut(const KeyboardShortcuts::Shortcut &shortcut) override
    {
        registered.push_back(shortcut);
    }
    void unregisterShortcut(const KeyboardShortcuts::Shortcut &shortcut) override
    {
        unregistered.push_back(shortcut);
    }
    void initialize() override { ++initializeCalls; }
};
