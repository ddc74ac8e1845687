#pragma once

namespace KeyboardShortcuts {

struct Shortcut;

// The global hot keys behind the stored shortcuts. Storage keeps it in step: every shortcut
// stored is registered, every shortcut replaced or cleared unregistered.
class HotKeyRegistry {
public:
    virtual ~HotKeyRegistry() = default;

    // Creates the hot key unless the shortcut is registered already.
    virtual void registerShortcut(const Shortcut &shortcut) = 0;
    // Releases every hot key of the shortcut.
    virtual void unregisterShortcut(const Shortcut &shortcut) = 0;
    // One-time set-up; called each time a name is created, so it must be cheap to repeat.
    virtual void initialize() = 0;
};

// Installs the process-wide registry (not owned; nullptr removes it). Without one, the calls
// below do nothing.
void setHotKeyRegistry(HotKeyRegistry *registry);
HotKeyRegistry *hotKeyRegistry();

void registerShortcut(const Shortcut &shortcut);
void unregisterShortcut(const Shortcut &shortcut);
void initialize();

} // namespace KeyboardShortcuts
