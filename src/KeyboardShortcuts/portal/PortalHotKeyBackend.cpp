#include "PortalHotKeyBackend.h"

#include "KeyboardShortcuts/DesktopAccelerator.h"
#include "platform/PortalVersions.h"
#include "platform/portal/PortalRequest.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDebug>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {
Q_LOGGING_CATEGORY(lcHotKeys, "glyphwell.shortcuts.portal", QtInfoMsg)
}

namespace KeyboardShortcuts {

namespace {

const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

} // namespace

std::optional<QString> portalTrigger(const Shortcut &shortcut)
{
    const std::optional<QStringList> words = acceleratorWords(shortcut, { "CTRL", "ALT", "SHIFT", "LOGO" });
    return words ? std::optional(words->join(QLatin1Char('+'))) : std::nullopt;
}

PortalHotKeyBackend::PortalHotKeyBackend(std::function<std::vector<PortalShortcutSlot>()> slotsProvider,
    QDBusConnection bus, std::chrono::milliseconds timeout)
    : m_slotsProvider(std::move(slotsProvider))
    , m_bus(std::move(bus))
    , m_timeout(timeout)
{
    registerPortalShortcutTypes();
    const std::pair<const char *, const char *> signalSlots[] = {
        { "Activated", SLOT(onActivated(QDBusMessage)) },
        { "Deactivated", SLOT(onDeactivated(QDBusMessage)) },
        { "ShortcutsChanged", SLOT(onShortcutsChanged(QDBusMessage)) },
    };
    for (const auto &[signal, slot] : signalSlots) {
        if (!m_bus.connect(
                Portal::service, Portal::path, shortcutsInterface, QLatin1String(signal), this, slot))
            qCWarning(lcHotKeys) << "Cannot follow the global-shortcut portal's" << signal << "signal";
    }
}

PortalHotKeyBackend::~PortalHotKeyBackend()
{
    closeSession();
}

uint PortalHotKeyBackend::portalVersion(QDBusConnection bus)
{
    return portalInterfaceVersion(bus, shortcutsInterface).value_or(0);
}

int32_t PortalHotKeyBackend::registerHotKey(
    uint32_t keyCode, uint32_t carbonModifiers, uint32_t signature, uint32_t id, Reference &reference)
{
    const Shortcut shortcut(keyCode, carbonModifiers);
    if (!portalTrigger(shortcut))
        return hotKeyInvalidStatus;
    reference = m_nextReference++;
    m_registrations.emplace(reference, Registration { shortcut, signature, id });
    scheduleSync();
    return 0;
}

void PortalHotKeyBackend::unregisterHotKey(Reference reference)
{
    // The binding stays: a menu that opens for a moment must not make the desktop forget (or
    // ask about) the program's shortcuts. Only a changed slot rebinds.
    if (m_registrations.erase(reference))
        scheduleSync();
}

bool PortalHotKeyBackend::installEventHandler(std::function<int32_t(const HotKeyEvent &)> handler)
{
    m_handler = std::move(handler);
    return true;
}

void PortalHotKeyBackend::scheduleSync()
{
    if (m_syncScheduled)
        return;
    m_syncScheduled = true;
    // One bind for the whole burst of registrations that a start or a change makes.
    QTimer::singleShot(0, this, [this] { sync(); });
}

QCoro::Task<> PortalHotKeyBackend::sync()
{
    m_syncScheduled = false;
    if (m_syncing) {
        m_syncAgain = true;
        co_return;
    }
    m_syncing = true;
    QPointer<PortalHotKeyBackend> self(this);
    do {
        m_syncAgain = false;
        QList<PortalShortcutEntry> wanted;
        std::map<QString, Shortcut> shortcuts;
        for (const PortalShortcutSlot &slot : m_slotsProvider()) {
            if (!slot.shortcut)
                continue;
            const std::optional<QString> trigger = portalTrigger(*slot.shortcut);
            if (!trigger)
                continue;
            wanted << PortalShortcutEntry { slot.id,
                { { QStringLiteral("description"), slot.description },
                    { QStringLiteral("preferred_trigger"), *trigger } } };
            shortcuts.emplace(slot.id, *slot.shortcut);
        }
        if (wanted == m_bound && (hasSession() || wanted.isEmpty()))
            continue;
        closeSession();
        m_bound = wanted;
        m_boundShortcuts = shortcuts;
        m_triggers.clear();
        if (wanted.isEmpty())
            continue;

        QDBusMessage create = QDBusMessage::createMethodCall(
            Portal::service, Portal::path, shortcutsInterface, QStringLiteral("CreateSession"));
        // The same token at every start: a desktop that cannot name the program (no
        // application id) files its shortcuts under the token, and a random one would make
        // them a new, unbound group each time.
        // The shortcuts go with the session as well: a back-end that takes them there (KDE
        // Plasma 5.27) binds them at once and quietly; its BindShortcuts only opens System
        // Settings. Later ones ignore the option and bind below.
        create << QVariantMap { { QStringLiteral("session_handle_token"), sessionToken },
            { QStringLiteral("shortcuts"), QVariant::fromValue(wanted) } };
        auto creating = callPortalRequest(m_bus, create, m_timeout);
        const PortalResponse created = co_await creating;
        if (!self)
            co_return;
        const QString session = portalObjectPath(created.results.value(QStringLiteral("session_handle")));
        if (!created.succeeded() || session.isEmpty()) {
            m_bound.clear();
            finishBinding(BindState::refused,
                QStringLiteral("the desktop did not open a global-shortcut session (%1)")
                    .arg(created.error.isEmpty() ? QStringLiteral("refused") : created.error));
            continue;
        }
        m_session = session;

        const QList<PortalShortcutEntry> restored
            = portalShortcutEntries(created.results.value(QStringLiteral("shortcuts")));
        if (std::all_of(wanted.cbegin(), wanted.cend(), [&](const PortalShortcutEntry &entry) {
                return std::any_of(restored.cbegin(), restored.cend(),
                    [&](const PortalShortcutEntry &given) { return given.id == entry.id; });
            })) {
            noteTriggers(restored);
            finishBinding(BindState::bound, {});
            continue;
        }

        QDBusMessage bind = QDBusMessage::createMethodCall(
            Portal::service, Portal::path, shortcutsInterface, QStringLiteral("BindShortcuts"));
        bind << QVariant::fromValue(QDBusObjectPath(session)) << QVariant::fromValue(wanted) << QString()
             << QVariantMap();
        auto binding = callPortalRequest(m_bus, bind, m_timeout);
        const PortalResponse bound = co_await binding;
        if (!self)
            co_return;
        if (!bound.succeeded()) {
            closeSession();
            m_bound.clear();
            finishBinding(BindState::refused,
                QStringLiteral("the desktop did not bind Glyphwell's shortcuts (%1)")
                    .arg(bound.error.isEmpty() ? QStringLiteral("refused or cancelled") : bound.error));
            continue;
        }
        const QList<PortalShortcutEntry> given
            = portalShortcutEntries(bound.results.value(QStringLiteral("shortcuts")));
        noteTriggers(given);
        if (given.isEmpty())
            finishBinding(
                BindState::noneBound, QStringLiteral("the desktop bound none of Glyphwell's shortcuts"));
        else
            finishBinding(BindState::bound, {});
    } while (self && m_syncAgain);
    if (self)
        m_syncing = false;
}

void PortalHotKeyBackend::finishBinding(BindState state, const QString &problem)
{
    const bool changed = state != m_bindState;
    m_bindState = state;
    m_bindProblem = problem;
    // Said once per kind of outcome, not at every rebind.
    if (changed && state != BindState::bound)
        qCWarning(lcHotKeys).noquote() << problem;
    Q_EMIT bindingFinished(state == BindState::bound);
}

void PortalHotKeyBackend::closeSession()
{
    if (m_session.isEmpty())
        return;
    m_bus.asyncCall(QDBusMessage::createMethodCall(
        Portal::service, m_session, Portal::sessionInterface, QStringLiteral("Close")));
    m_session.clear();
}

void PortalHotKeyBackend::noteTriggers(const QList<PortalShortcutEntry> &shortcuts)
{
    for (const PortalShortcutEntry &entry : shortcuts) {
        const QString trigger = entry.properties.value(QStringLiteral("trigger_description")).toString();
        m_triggers[entry.id] = trigger;
        std::printf("glyphwell: the desktop gives \"%s\" the shortcut %s\n",
            qPrintable(entry.properties.value(QStringLiteral("description"), entry.id).toString()),
            trigger.isEmpty() ? "(none yet)" : qPrintable(trigger));
    }
    std::fflush(stdout);
}

void PortalHotKeyBackend::deliver(const QString &shortcutId, int kind)
{
    if (!m_eventsEnabled || !m_handler)
        return;
    const auto bound = m_boundShortcuts.find(shortcutId);
    if (bound == m_boundShortcuts.end())
        return;
    for (const auto &[reference, registration] : m_registrations) {
        if (registration.shortcut == bound->second) {
            m_handler(HotKeyEvent { kind, registration.signature, registration.id });
            return;
        }
    }
}

void PortalHotKeyBackend::onActivated(const QDBusMessage &message)
{
    const auto activated = portalSessionAndShortcut(message.arguments());
    if (activated && activated->first == m_session)
        deliver(activated->second, HotKeyEventKind::hotKeyPressed);
}

void PortalHotKeyBackend::onDeactivated(const QDBusMessage &message)
{
    const auto deactivated = portalSessionAndShortcut(message.arguments());
    if (deactivated && deactivated->first == m_session)
        deliver(deactivated->second, HotKeyEventKind::hotKeyReleased);
}

void PortalHotKeyBackend::onShortcutsChanged(const QDBusMessage &message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() >= 2 && portalObjectPath(arguments[0]) == m_session)
        noteTriggers(portalShortcutEntries(arguments[1]));
}

} // namespace KeyboardShortcuts
