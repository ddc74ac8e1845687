#pragma once

#include "KeyboardShortcuts/CarbonKeyboardShortcuts.h"
#include "KeyboardShortcuts/HotKeyRegistry.h"
#include "KeyboardShortcuts/Name.h"
#include "KeyboardShortcuts/Shortcut.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUuid>
#include <QWindow>

#include <functional>
#include <vector>

namespace KeyboardShortcuts {

// Which shortcuts are registered and what runs for each name. Actions run for every name
// whose stored shortcut is the pressed one, read from storage at each press, so a changed
// shortcut stops matching at once and one hot key serves every name that stores it.
class Registry : public QObject, public HotKeyRegistry {
    Q_OBJECT
public:
    using Action = std::function<void()>;

    explicit Registry(HotKeyBackend &backend, QObject *parent = nullptr);
    ~Registry() override;

    // The process-wide registry the free functions below use; also becomes the hot-key
    // registry of the storage functions. nullptr removes it.
    static void install(Registry *registry);
    static Registry *installed();

    void registerShortcut(const Shortcut &shortcut) override;
    // Asks the desktop again for every shortcut it refused: the program that held one may
    // have let it go. Runs when the program becomes active and when its settings open.
    void retryRefused();
    void unregisterShortcut(const Shortcut &shortcut) override;
    // Follows the application's menus and other popups: while one is open the hot keys are
    // released and the popup's key events are matched instead. Cheap to repeat.
    void initialize() override;

    void onKeyDown(const Name &name, Action action);
    void onKeyUp(const Name &name, Action action);
    void removeHandler(const Name &name);
    void removeAllHandlers();
    void enable(const std::vector<Name> &names);
    void disable(const std::vector<Name> &names);

    bool isEnabled() const { return m_isEnabled; }
    void setEnabled(bool enabled);
    bool isEnabled(const Name &name) const;
    bool isPaused() const { return m_isPaused; }
    // While a recorder records: no action runs, and the desktop's grabs are let go, so the
    // recorder hears a combination that is ours (on X11 a grabbed key never reaches a window).
    void setPaused(bool paused);
    bool isMenuOpen() const { return m_isMenuOpen; }
    void setMenuOpen(bool open);

    // Per-stream actions of the event streams; keyed by a stream id.
    QHash<Name, QHash<QUuid, Action>> streamKeyDownHandlers;
    QHash<Name, QHash<QUuid, Action>> streamKeyUpHandlers;

    const QSet<Shortcut> &registeredShortcuts() const { return m_registeredShortcuts; }
    CarbonKeyboardShortcuts &layer() { return m_layer; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void handleOnKeyDown(const Shortcut &shortcut);
    void handleOnKeyUp(const Shortcut &shortcut);
    void dispatch(const Shortcut &shortcut, const QHash<Name, std::vector<Action>> &handlers,
        const QHash<Name, QHash<QUuid, Action>> &streams);

    CarbonKeyboardShortcuts m_layer;
    bool m_isEnabled = true;
    bool m_isPaused = false;
    bool m_isMenuOpen = false;
    bool m_isInitialized = false;
    QPointer<QWindow> m_focusWindow;
    QSet<Shortcut> m_registeredShortcuts;
    QHash<Name, std::vector<Action>> m_keyDownHandlers;
    QHash<Name, std::vector<Action>> m_keyUpHandlers;
};

// The registry's operations on the installed registry; nothing happens without one.
void onKeyDown(const Name &name, std::function<void()> action);
void onKeyUp(const Name &name, std::function<void()> action);
void removeHandler(const Name &name);
void removeAllHandlers();

} // namespace KeyboardShortcuts
