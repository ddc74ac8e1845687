#pragma once

#include "KeyboardShortcuts/HotKeyBackend.h"
#include "KeyboardShortcuts/Shortcut.h"
#include "platform/portal/PortalReplies.h"

#include <QCoro/QCoroTask>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace KeyboardShortcuts {

// A shortcut in the portal's trigger syntax ("SHIFT+LOGO+x"): modifiers CTRL, ALT, SHIFT,
// LOGO and the key's keysym name on the current layout. Nothing for a key without a keysym or
// a modifier the syntax has no word for (function).
std::optional<QString> portalTrigger(const Shortcut &shortcut);

// One of the program's shortcut slots, as the desktop is to list it.
struct PortalShortcutSlot {
    QString id;
    QString description;
    std::optional<Shortcut> shortcut;
};

// Global shortcuts through org.freedesktop.portal.GlobalShortcuts. The desktop, not the
// program, owns the keys there: the program's slots and their stored shortcuts are bound as
// named shortcuts with preferred triggers, the user may give them other keys in the desktop's
// settings, and Activated/Deactivated name the slot. A registered combination is accepted
// at once; a slot's activation presses the hot key registered for the slot's stored shortcut.
// A session binds once, so a changed shortcut closes it and binds again in a new one.
class PortalHotKeyBackend : public QObject, public HotKeyBackend {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds requestTimeout { 30000 };
    static inline const QString sessionToken = QStringLiteral("glyphwell");

    PortalHotKeyBackend(std::function<std::vector<PortalShortcutSlot>()> slotsProvider,
        QDBusConnection bus = QDBusConnection::sessionBus(),
        std::chrono::milliseconds timeout = requestTimeout);
    ~PortalHotKeyBackend() override;

    // The interface's version on this bus; 0 when the desktop has none.
    static uint portalVersion(QDBusConnection bus = QDBusConnection::sessionBus());

    int32_t registerHotKey(uint32_t keyCode, uint32_t carbonModifiers, uint32_t signature, uint32_t id,
        Reference &reference) override;
    void unregisterHotKey(Reference reference) override;
    bool installEventHandler(std::function<int32_t(const HotKeyEvent &)> handler) override;
    void setHotKeyEventsEnabled(bool enabled) override { m_eventsEnabled = enabled; }
    // The desktop settles clashes itself and does not tell.
    bool isHeldByAnotherProgram(uint32_t, uint32_t) override { return false; }
    // The compositor hands the key to the portal, never to our open menu.
    bool keysReachOpenMenus() const override { return false; }

    // How the last bind ended: bound (the desktop listed every slot), refused (no session,
    // or the bind failed: a back-end of another desktop may answer and refuse everything),
    // or noneBound (it answered with no shortcut at all).
    enum class BindState { notTried, bound, refused, noneBound };
    BindState bindState() const { return m_bindState; }
    // What went wrong, for the user, when not bound.
    const QString &bindProblem() const { return m_bindProblem; }

    // What the desktop says each bound slot is on ("trigger_description"), by slot id.
    const std::map<QString, QString> &triggerDescriptions() const { return m_triggers; }
    bool hasSession() const { return !m_session.isEmpty(); }

Q_SIGNALS:
    // A bind finished (successfully or not); for tests and the log.
    void bindingFinished(bool succeeded);

private Q_SLOTS:
    // Whole messages: the arguments are read here, so a portal sending more of them later
    // still reaches us.
    void onActivated(const QDBusMessage &message);
    void onDeactivated(const QDBusMessage &message);
    void onShortcutsChanged(const QDBusMessage &message);

private:
    struct Registration {
        Shortcut shortcut;
        uint32_t signature;
        uint32_t id;
    };

    void scheduleSync();
    QCoro::Task<> sync();
    void closeSession();
    void deliver(const QString &shortcutId, int kind);
    void noteTriggers(const QList<PortalShortcutEntry> &shortcuts);
    void finishBinding(BindState state, const QString &problem);

    std::function<std::vector<PortalShortcutSlot>()> m_slotsProvider;
    QDBusConnection m_bus;
    std::chrono::milliseconds m_timeout;
    std::map<Reference, Registration> m_registrations;
    Reference m_nextReference = 1;
    std::function<int32_t(const HotKeyEvent &)> m_handler;
    bool m_eventsEnabled = false;
    bool m_syncScheduled = false;
    bool m_syncing = false;
    bool m_syncAgain = false;
    QString m_session;
    QList<PortalShortcutEntry> m_bound;
    // The slot ids of the bound session with the shortcut each stands for.
    std::map<QString, Shortcut> m_boundShortcuts;
    std::map<QString, QString> m_triggers;
    BindState m_bindState = BindState::notTried;
    QString m_bindProblem;
};

} // namespace KeyboardShortcuts
