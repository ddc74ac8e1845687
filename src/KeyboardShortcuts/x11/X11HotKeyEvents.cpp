#include "X11HotKeyBackend.h"

#include "KeyboardShortcuts/KeyboardLayout.h"
#include "KeyboardShortcuts/Notifier.h"

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QTimer>

// xkb.h names a struct member "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>

namespace KeyboardShortcuts {

// Reading the connection's events: presses and releases of the grabbed keys (a held key's
// auto-repeat told apart), and the server's news of a new keymap or modifier map.

void X11HotKeyBackend::scheduleRead()
{
    if (m_readScheduled)
        return;
    m_readScheduled = true;
    QMetaObject::invokeMethod(this, &X11HotKeyBackend::readEvents, Qt::QueuedConnection);
}

void X11HotKeyBackend::fetchEvents(std::deque<Event> &pending)
{
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection.get()))
        pending.emplace_back(event);
}

bool X11HotKeyBackend::isAutoRepeatPair(const xcb_generic_event_t *release, std::deque<Event> &pending)
{
    if (m_detectableAutoRepeat)
        return false;
    // The server's repeat sends the release and the next press with one time stamp, and
    // both have reached the socket by the time the release is read; a finger cannot do that.
    if (pending.empty())
        fetchEvents(pending);
    if (pending.empty() || (pending.front()->response_type & 0x7f) != XCB_KEY_PRESS)
        return false;
    const auto *up = reinterpret_cast<const xcb_key_release_event_t *>(release);
    const auto *down = reinterpret_cast<const xcb_key_press_event_t *>(pending.front().get());
    if (up->detail != down->detail || up->time != down->time)
        return false;
    pending.pop_front();
    return true;
}

void X11HotKeyBackend::readEvents()
{
    m_readScheduled = false;
    // A handler that runs a nested event loop must not see later events before it returns;
    // the outer loop below picks them up.
    if (!m_connection || m_reading)
        return;
    m_reading = true;
    std::deque<Event> pending;
    for (;;) {
        if (pending.empty())
            fetchEvents(pending);
        if (pending.empty())
            break;
        const Event event = std::move(pending.front());
        pending.pop_front();
        if ((event->response_type & 0x7f) == XCB_KEY_RELEASE && isAutoRepeatPair(event.get(), pending)) {
            ++m_autoRepeatCount;
            continue;
        }
        handleEvent(event.get());
    }
    m_reading = false;
    if (m_mappingChanged && isConnected()) {
        // Several notifications may arrive for one change; they are answered once.
        m_mappingChanged = false;
        // A keyboard switch reports a new keyboard too; the grabs only change with the modifiers.
        const uint16_t previousLocks = m_modifiers.lockMask;
        const uint16_t previousAlt = m_modifiers.altMask;
        const uint16_t previousSuper = m_modifiers.superMask;
        updateModifierMap();
        if (m_modifiers.lockMask != previousLocks || m_modifiers.altMask != previousAlt
            || m_modifiers.superMask != previousSuper)
            regrabAll();
    }
    if (m_layoutChanged) {
        m_layoutChanged = false;
        // What the keys type may have changed: shortcut texts are made again from the new layout.
        refreshKeyboardLayout();
        Q_EMIT Notifier::instance().keyboardLayoutDidChange();
    }
    checkConnection();
}

void X11HotKeyBackend::checkConnection()
{
    if (isConnected() || !m_notifier || !m_notifier->isEnabled())
        return;
    qCWarning(lcHotKeys) << "lost the X server connection; global hot keys stop";
    m_notifier->setEnabled(false);
    m_active.clear();
}

void X11HotKeyBackend::handleEvent(const xcb_generic_event_t *event)
{
    const uint8_t type = event->response_type & 0x7f;
    switch (type) {
    case 0: {
        const auto *error = reinterpret_cast<const xcb_generic_error_t *>(event);
        qCDebug(lcHotKeys) << "X error" << error->error_code << "for request" << error->major_code;
        break;
    }
    case XCB_KEY_PRESS: {
        const auto *press = reinterpret_cast<const xcb_key_press_event_t *>(event);
        handleKeyPress(press->detail, press->state);
        break;
    }
    case XCB_KEY_RELEASE: {
        const auto *release = reinterpret_cast<const xcb_key_release_event_t *>(event);
        qCDebug(lcHotKeys) << "release kc" << release->detail << "state" << Qt::hex << release->state;
        handleKeyRelease(release->detail);
        break;
    }
    case XCB_MAPPING_NOTIFY: {
        const auto *mapping = reinterpret_cast<const xcb_mapping_notify_event_t *>(event);
        qCDebug(lcHotKeys) << "core mapping notify, request" << mapping->request;
        if (mapping->request == XCB_MAPPING_KEYBOARD || mapping->request == XCB_MAPPING_MODIFIER)
            m_mappingChanged = true;
        if (mapping->request == XCB_MAPPING_KEYBOARD)
            m_layoutChanged = true;
        break;
    }
    default:
        if (m_xkbPresent && type == m_xkbFirstEvent) {
            // All XKB events share one code; the second byte says which.
            const uint8_t xkbType = reinterpret_cast<const uint8_t *>(event)[1];
            qCDebug(lcHotKeys) << "XKB event" << xkbType;
            if (xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkbType == XCB_XKB_MAP_NOTIFY) {
                m_mappingChanged = true;
                m_layoutChanged = true;
            } else if (xkbType == XCB_XKB_STATE_NOTIFY
                && (reinterpret_cast<const xcb_xkb_state_notify_event_t *>(event)->changed
                    & XCB_XKB_STATE_PART_GROUP_STATE)) {
                m_layoutChanged = true;
            }
        }
        break;
    }
}

void X11HotKeyBackend::handleKeyPress(uint8_t keycode, uint16_t state)
{
    const bool repeat = std::any_of(
        m_active.begin(), m_active.end(), [&](const ActiveKey &active) { return active.keycode == keycode; });
    qCDebug(lcHotKeys) << "press kc" << keycode << "state" << Qt::hex << state << (repeat ? "(repeat)" : "");
    if (repeat)
        return;
    const uint16_t modifiers = state & m_modifiers.combinationMask;
    const auto it = std::find_if(m_hotKeys.begin(), m_hotKeys.end(),
        [&](const HotKey &hotKey) { return hotKey.keycode == keycode && hotKey.modifiers == modifiers; });
    // While a grab is active every key comes here, not only hot keys.
    if (it == m_hotKeys.end())
        return;
    m_active.push_back({ keycode, it->reference });
    deliver(HotKeyEventKind::hotKeyPressed, it->signature, it->id);
}

void X11HotKeyBackend::handleKeyRelease(uint8_t keycode)
{
    // The modifiers are often up before the key, so its release counts whatever the state.
    const auto active = std::find_if(
        m_active.begin(), m_active.end(), [&](const ActiveKey &key) { return key.keycode == keycode; });
    if (active == m_active.end())
        return;
    const Reference reference = active->reference;
    const bool heldBeforeGrab = active->heldBeforeGrab;
    m_active.erase(active);
    if (heldBeforeGrab)
        return;
    const auto it = std::find_if(m_hotKeys.begin(), m_hotKeys.end(),
        [&](const HotKey &hotKey) { return hotKey.reference == reference; });
    if (it != m_hotKeys.end())
        deliver(HotKeyEventKind::hotKeyReleased, it->signature, it->id);
}

void X11HotKeyBackend::deliver(int kind, uint32_t signature, uint32_t id)
{
    if (!m_eventsEnabled || !m_handler)
        return;
    // A copy, so that a handler that replaces itself or unregisters keys stays valid.
    const auto handler = m_handler;
    handler(HotKeyEvent { kind, signature, id });
}

} // namespace KeyboardShortcuts
