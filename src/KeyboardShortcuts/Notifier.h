#pragma once

#include "KeyboardShortcuts/Name.h"
#include "KeyboardShortcuts/Shortcut.h"

#include <QObject>

namespace KeyboardShortcuts {

inline constexpr char shortcutByNameDidChangeNotification[] = "KeyboardShortcuts_shortcutByNameDidChange";
inline constexpr char recorderActiveStatusDidChangeNotification[]
    = "KeyboardShortcuts_recorderActiveStatusDidChange";

// The subsystem's notifications, one signal each, emitted synchronously on the main thread
// before the operation that causes them returns.
class Notifier : public QObject {
    Q_OBJECT
public:
    static Notifier &instance();

Q_SIGNALS:
    // A slot was stored, cleared or reset; name is the caller's value, with its own default.
    void shortcutByNameDidChange(const KeyboardShortcuts::Name &name);
    // A recorder started (true) or stopped (false) recording.
    void recorderActiveStatusDidChange(bool isActive);
    // The keyboard layout changed, so the texts of shortcuts may have: they are read again.
    void keyboardLayoutDidChange();
    // While a recorder records, another program took the combination held down before any
    // of our windows heard it (a passive grab): the recording recorder says so.
    void combinationTakenElsewhere(const KeyboardShortcuts::Shortcut &shortcut);

private:
    Notifier() = default;
};

} // namespace KeyboardShortcuts
