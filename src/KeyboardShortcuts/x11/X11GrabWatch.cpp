#include "X11GrabWatch.h"

#include "KeyboardShortcuts/KeyCodeMap.h"
#include "KeyboardShortcuts/Notifier.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>

namespace KeyboardShortcuts {

X11HotKeyBackend::KeyboardGrabWatch::KeyboardGrabWatch(X11HotKeyBackend &backend)
    : m_backend(backend)
    , m_recordingFollowed(QObject::connect(&Notifier::instance(), &Notifier::recorderActiveStatusDidChange,
          [this](bool active) { m_recording = active; }))
{
    qApp->installNativeEventFilter(this);
}

X11HotKeyBackend::KeyboardGrabWatch::~KeyboardGrabWatch()
{
    QObject::disconnect(m_recordingFollowed);
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
}

bool X11HotKeyBackend::KeyboardGrabWatch::nativeEventFilter(
    const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_FOCUS_OUT)
        return false;
    const auto *focus = static_cast<const xcb_focus_out_event_t *>(message);
    if (focus->mode != XCB_NOTIFY_MODE_GRAB || focus->detail == XCB_NOTIFY_DETAIL_POINTER)
        return false;
    if (!m_recording)
        return false;
    const std::optional<Shortcut> held = m_backend.combinationHeldDown();
    if (!held)
        return false;
    // Not from inside the event dispatch: the recorder may open an alert.
    QTimer::singleShot(0, &Notifier::instance(),
        [shortcut = *held] { Q_EMIT Notifier::instance().combinationTakenElsewhere(shortcut); });
    return false;
}

std::optional<Shortcut> X11HotKeyBackend::combinationHeldDown()
{
    if (!isConnected())
        return std::nullopt;
    xcb_connection_t *c = m_connection.get();
    const xcb_query_keymap_cookie_t keymapCookie = xcb_query_keymap(c);
    const xcb_query_pointer_cookie_t pointerCookie = xcb_query_pointer(c, m_roots.front());
    XcbReply<xcb_query_keymap_reply_t> keymap(xcb_query_keymap_reply(c, keymapCookie, nullptr));
    XcbReply<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(c, pointerCookie, nullptr));
    if (!keymap || !pointer)
        return std::nullopt;
    std::optional<uint8_t> down;
    for (int keycode = m_minKeycode; keycode <= m_maxKeycode; ++keycode) {
        if (!(keymap->keys[keycode / 8] & (1u << (keycode % 8))))
            continue;
        if (std::find(m_modifiers.modifierKeycodes.begin(), m_modifiers.modifierKeycodes.end(), keycode)
            != m_modifiers.modifierKeycodes.end())
            continue;
        if (down)
            return std::nullopt; // two keys: not one combination
        down = uint8_t(keycode);
    }
    const std::optional<int64_t> keyCode = down ? KeyCodeMap::keyCodeForXKeycode(*down) : std::nullopt;
    if (!keyCode)
        return std::nullopt;
    return Shortcut(Key(*keyCode), m_modifiers.flagsFor(pointer->mask));
}

} // namespace KeyboardShortcuts
