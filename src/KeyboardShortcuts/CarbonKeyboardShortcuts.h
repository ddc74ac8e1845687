#pragma once

#include "KeyboardShortcuts/HotKeyBackend.h"
#include "KeyboardShortcuts/Shortcut.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace KeyboardShortcuts {

// The hot-key layer: one record per hot key held, ids that are never reused, and the three
// ways of catching keys — desktop hot keys normally; matching the application's own key
// events while one of its menus is open (the menu has the keyboard then); nothing while hot
// keys are disabled.
class CarbonKeyboardShortcuts : public QObject {
    Q_OBJECT
public:
    using Action = std::function<void(const Shortcut &)>;
    static constexpr uint32_t hotKeySignature = 0x48544B59; // "HTKY"

    // modeFlags answers (isEnabled, isMenuOpen) whenever the layer changes mode.
    CarbonKeyboardShortcuts(HotKeyBackend &backend, std::function<std::pair<bool, bool>()> modeFlags);
    ~CarbonKeyboardShortcuts() override;

    void registerShortcut(const Shortcut &shortcut, Action onKeyDown, Action onKeyUp);
    void unregisterShortcut(const Shortcut &shortcut);
    void updateEventHandler();

    // The handler the back-end calls: 0 when the event was ours, eventNotHandledStatus else.
    int32_t handleEvent(const HotKeyEvent &event);
    // A key event of the application while a menu is open, with the program's key code and
    // Carbon modifiers. kind is HotKeyEventKind::rawKeyDown or rawKeyUp.
    int32_t handleRawKeyEvent(int kind, int64_t keyCode, int64_t carbonModifiers);

    // For tests and diagnostics.
    int64_t lastHotKeyId() const { return m_hotKeyId; }
    int recordCount() const { return int(m_hotKeys.size()); }
    std::optional<int64_t> idOf(const Shortcut &shortcut) const;
    bool isHeldByPlatform(const Shortcut &shortcut) const;
    // Whether another program holds the combination on the desktop now.
    bool isHeldByAnotherProgram(const Shortcut &shortcut) const;
    bool isMenuKeyMonitorInstalled() const { return m_monitoring; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct HotKey {
        Shortcut shortcut;
        int64_t id;
        std::optional<HotKeyBackend::Reference> reference;
        Action onKeyDown;
        Action onKeyUp;
    };

    std::optional<HotKeyBackend::Reference> registerWithPlatform(const Shortcut &shortcut, int64_t id);
    void registerAll();
    void unregisterAll();
    void setMenuKeyMonitor(bool installed);

    HotKeyBackend &m_backend;
    std::function<std::pair<bool, bool>()> m_modeFlags;
    std::map<int64_t, HotKey> m_hotKeys;
    // Key code → hot-key id of the combinations pressed while a menu is open, so that the
    // key's release finds its hot key whichever modifiers were let go before it.
    std::map<int64_t, int64_t> m_menuKeysDown;
    int64_t m_hotKeyId = 0;
    bool m_handlerInstalled = false;
    bool m_monitoring = false;
};

} // namespace KeyboardShortcuts
