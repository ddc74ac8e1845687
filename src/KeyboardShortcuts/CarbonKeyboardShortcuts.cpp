#include "CarbonKeyboardShortcuts.h"

#include <QCoreApplication>
#include <QKeyEvent>

#include <cstdio>
#include <limits>

namespace KeyboardShortcuts {

namespace {

bool fitsInUnsigned32(int64_t value)
{
    return value >= 0 && value <= int64_t(std::numeric_limits<uint32_t>::max());
}

// One line on standard output, nothing shown to the user: another program holding the
// combination is not something the user must act on at that moment.
void printRegistrationError(const Shortcut &shortcut, int32_t status)
{
    const QByteArray line = "Error registering hotkey " + shortcut.displayText().toUtf8() + ": "
        + QByteArray::number(status) + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace

CarbonKeyboardShortcuts::CarbonKeyboardShortcuts(
    HotKeyBackend &backend, std::function<std::pair<bool, bool>()> modeFlags)
    : m_backend(backend)
    , m_modeFlags(std::move(modeFlags))
{ }

CarbonKeyboardShortcuts::~CarbonKeyboardShortcuts()
{
    setMenuKeyMonitor(false);
    for (auto &[id, hotKey] : m_hotKeys) {
        if (hotKey.reference)
            m_backend.unregisterHotKey(*hotKey.reference);
    }
}

std::optional<HotKeyBackend::Reference> CarbonKeyboardShortcuts::registerWithPlatform(
    const Shortcut &shortcut, int64_t id)
{
    // Values from hand-edited storage may not fit the platform; they are refused, not fatal.
    int32_t status = hotKeyInvalidStatus;
    HotKeyBackend::Reference reference = 0;
    if (fitsInUnsigned32(shortcut.carbonKeyCode) && fitsInUnsigned32(shortcut.carbonModifiers)
        && fitsInUnsigned32(id))
        status = m_backend.registerHotKey(uint32_t(shortcut.carbonKeyCode),
            uint32_t(shortcut.carbonModifiers), hotKeySignature, uint32_t(id), reference);
    if (status != 0 || reference == 0) {
        printRegistrationError(shortcut, status != 0 ? status : hotKeyInvalidStatus);
        return std::nullopt;
    }
    return reference;
}

void CarbonKeyboardShortcuts::registerShortcut(const Shortcut &shortcut, Action onKeyDown, Action onKeyUp)
{
    const int64_t id = ++m_hotKeyId; // advances even when refused: ids are never reused
    const std::optional<HotKeyBackend::Reference> reference = registerWithPlatform(shortcut, id);
    if (!reference)
        return;
    m_hotKeys.emplace(id, HotKey { shortcut, id, reference, std::move(onKeyDown), std::move(onKeyUp) });

    if (!m_handlerInstalled) {
        m_handlerInstalled
            = m_backend.installEventHandler([this](const HotKeyEvent &event) { return handleEvent(event); });
        if (m_handlerInstalled)
            updateEventHandler();
    }
}

void CarbonKeyboardShortcuts::unregisterShortcut(const Shortcut &shortcut)
{
    for (auto it = m_hotKeys.begin(); it != m_hotKeys.end();) {
        if (it->second.shortcut == shortcut) {
            if (it->second.reference)
                m_backend.unregisterHotKey(*it->second.reference);
            it = m_hotKeys.erase(it);
        } else {
            ++it;
        }
    }
}

void CarbonKeyboardShortcuts::registerAll()
{
    for (auto it = m_hotKeys.begin(); it != m_hotKeys.end();) {
        HotKey &hotKey = it->second;
        if (!hotKey.reference) {
            hotKey.reference = registerWithPlatform(hotKey.shortcut, hotKey.id);
            if (!hotKey.reference) {
                it = m_hotKeys.erase(it);
                continue;
            }
        }
        ++it;
    }
}

void CarbonKeyboardShortcuts::unregisterAll()
{
    for (auto &[id, hotKey] : m_hotKeys) {
        if (hotKey.reference)
            m_backend.unregisterHotKey(*hotKey.reference);
        hotKey.reference.reset();
    }
}

void CarbonKeyboardShortcuts::updateEventHandler()
{
    if (!m_handlerInstalled)
        return;
    const auto [isEnabled, isMenuOpen] = m_modeFlags();
    if (!isEnabled) {
        unregisterAll();
        m_backend.setHotKeyEventsEnabled(false);
        setMenuKeyMonitor(false);
    } else if (!isMenuOpen || !m_backend.keysReachOpenMenus()) {
        // Where the desktop takes the combination before any menu sees it, its events are
        // the only way to hear it, menu or not.
        registerAll();
        setMenuKeyMonitor(false);
        m_backend.setHotKeyEventsEnabled(true);
    } else {
        // The open menu holds the keyboard: match its key events instead.
        unregisterAll();
        m_backend.setHotKeyEventsEnabled(false);
        setMenuKeyMonitor(true);
    }
}

int32_t CarbonKeyboardShortcuts::handleEvent(const HotKeyEvent &event)
{
    if (event.kind != HotKeyEventKind::hotKeyPressed && event.kind != HotKeyEventKind::hotKeyReleased)
        return eventNotHandledStatus;
    if (event.signature != hotKeySignature)
        return eventNotHandledStatus;
    const auto it = m_hotKeys.find(int64_t(event.id));
    if (it == m_hotKeys.end())
        return eventNotHandledStatus;
    // Copies: an action may unregister its own hot key.
    const Shortcut shortcut = it->second.shortcut;
    const Action action
        = event.kind == HotKeyEventKind::hotKeyPressed ? it->second.onKeyDown : it->second.onKeyUp;
    if (action)
        action(shortcut);
    return 0;
}

int32_t CarbonKeyboardShortcuts::handleRawKeyEvent(int kind, int64_t keyCode, int64_t carbonModifiers)
{
    if (kind == HotKeyEventKind::rawKeyUp) {
        if (const auto down = m_menuKeysDown.find(keyCode); down != m_menuKeysDown.end()) {
            const int64_t id = down->second;
            m_menuKeysDown.erase(down);
            if (const auto it = m_hotKeys.find(id); it != m_hotKeys.end()) {
                const Shortcut shortcut = it->second.shortcut;
                const Action action = it->second.onKeyUp;
                if (action)
                    action(shortcut);
                return 0;
            }
        }
    }
    const Shortcut pressed(keyCode, carbonModifiers); // normalises the modifiers
    for (const auto &[id, hotKey] : m_hotKeys) {
        if (hotKey.shortcut.carbonKeyCode != pressed.carbonKeyCode
            || hotKey.shortcut.carbonModifiers != pressed.carbonModifiers)
            continue;
        Action action;
        if (kind == HotKeyEventKind::rawKeyUp) {
            action = hotKey.onKeyUp;
        } else if (kind == HotKeyEventKind::rawKeyDown) {
            action = hotKey.onKeyDown;
            m_menuKeysDown[keyCode] = id;
        } else
            return eventNotHandledStatus;
        const Shortcut shortcut = hotKey.shortcut;
        if (action)
            action(shortcut);
        return 0;
    }
    return eventNotHandledStatus;
}

void CarbonKeyboardShortcuts::setMenuKeyMonitor(bool installed)
{
    if (installed == m_monitoring || !QCoreApplication::instance())
        return;
    m_monitoring = installed;
    // A key still down when the menu closes is let go outside of our sight.
    m_menuKeysDown.clear();
    if (installed)
        QCoreApplication::instance()->installEventFilter(this);
    else
        QCoreApplication::instance()->removeEventFilter(this);
}

bool CarbonKeyboardShortcuts::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return QObject::eventFilter(watched, event);
    auto *keyEvent = static_cast<QKeyEvent *>(event);
    const std::optional<Shortcut> shortcut = Shortcut::fromEvent(*keyEvent);
    if (!shortcut)
        return false;
    const int kind
        = event->type() == QEvent::KeyPress ? HotKeyEventKind::rawKeyDown : HotKeyEventKind::rawKeyUp;
    if (keyEvent->isAutoRepeat()) {
        // Held keys repeat; the action ran at the first press. Still keep them from the menu.
        for (const auto &[id, hotKey] : m_hotKeys) {
            if (hotKey.shortcut == *shortcut)
                return true;
        }
        return false;
    }
    return handleRawKeyEvent(kind, shortcut->carbonKeyCode, shortcut->carbonModifiers) == 0;
}

std::optional<int64_t> CarbonKeyboardShortcuts::idOf(const Shortcut &shortcut) const
{
    for (const auto &[id, hotKey] : m_hotKeys) {
        if (hotKey.shortcut == shortcut)
            return id;
    }
    return std::nullopt;
}

bool CarbonKeyboardShortcuts::isHeldByPlatform(const Shortcut &shortcut) const
{
    for (const auto &[id, hotKey] : m_hotKeys) {
        if (hotKey.shortcut == shortcut && hotKey.reference)
            return true;
    }
    return false;
}

bool CarbonKeyboardShortcuts::isHeldByAnotherProgram(const Shortcut &shortcut) const
{
    if (shortcut.carbonKeyCode < 0 || shortcut.carbonKeyCode > UINT32_MAX || shortcut.carbonModifiers < 0
        || shortcut.carbonModifiers > UINT32_MAX)
        return false;
    return m_backend.isHeldByAnotherProgram(
        uint32_t(shortcut.carbonKeyCode), uint32_t(shortcut.carbonModifiers));
}

} // namespace KeyboardShortcuts
