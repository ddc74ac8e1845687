#pragma once

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/Registry.h"
#include "fakes/FakeHotKeyBackend.h"
#include "platform/InMemoryUserDefaults.h"

// The shortcut subsystem over a fake desktop for one scope: a store in memory and a registry
// over FakeHotKeyBackend, both installed.
struct FakeShortcutDesktop {
    InMemoryUserDefaults defaults;
    FakeHotKeyBackend backend;
    KeyboardShortcuts::Registry registry { backend };

    FakeShortcutDesktop()
    {
        KeyboardShortcuts::setUserDefaults(&defaults);
        KeyboardShortcuts::Registry::install(&registry);
    }
    ~FakeShortcutDesktop()
    {
        KeyboardShortcuts::Registry::install(nullptr);
        KeyboardShortcuts::setUserDefaults(nullptr);
    }
    FakeShortcutDesktop(const FakeShortcutDesktop &) = delete;
    FakeShortcutDesktop &operator=(const FakeShortcutDesktop &) = delete;
};
