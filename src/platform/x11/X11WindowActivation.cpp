#include "X11WindowActivation.h"

#include "platform/x11/XcbPointers.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

namespace {

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr));
    return reply ? reply->atom : XCB_ATOM_NONE;
}

// Whether a window manager that takes _NET_ACTIVE_WINDOW runs.
bool windowManagerActivates(xcb_connection_t *connection, xcb_window_t root)
{
    const xcb_atom_t supported = internAtom(connection, "_NET_SUPPORTED");
    const xcb_atom_t active = internAtom(connection, "_NET_ACTIVE_WINDOW");
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, supported, XCB_ATOM_ATOM, 0, 1024), nullptr));
    if (!reply || reply->format != 32)
        return false;
    const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    return std::find(atoms, atoms + count, active) != atoms + count;
}

} // namespace

quint32 X11WindowActivation::startupTimestamp(const QString &startupId)
{
    static const QRegularExpression time(QStringLiteral("_TIME(\\d+)$"));
    const QRegularExpressionMatch match = time.match(startupId);
    return match.hasMatch() ? match.captured(1).toUInt() : 0;
}

void X11WindowActivation::activate(QWidget &window, const QString &startupId)
{
    QtWindowActivation().activate(window, startupId);
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    QWindow *handle = window.windowHandle();
    if (!x11 || !handle)
        return;
    xcb_connection_t *connection = x11->connection();
    const xcb_window_t id = xcb_window_t(window.winId());
    const xcb_timestamp_t timestamp = startupTimestamp(startupId);
    auto request = [connection, id, timestamp] {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        if (windowManagerActivates(connection, screen->root)) {
            xcb_client_message_event_t event = {};
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = id;
            event.type = internAtom(connection, "_NET_ACTIVE_WINDOW");
            event.data.data32[0] = 1; // asked for by an application
            event.data.data32[1] = timestamp;
            xcb_send_event(connection, 0, screen->root,
                XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                reinterpret_cast<const char *>(&event));
        } else {
            // Nobody manages the focus: raise the window and take it.
            const uint32_t above = XCB_STACK_MODE_ABOVE;
            xcb_configure_window(connection, id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
            xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, id, timestamp);
        }
        xcb_flush(connection);
    };
    if (handle->isExposed()) {
        request();
        return;
    }
    // A window being shown takes the focus once it is on the screen: look again shortly.
    auto *poll = new QTimer(handle);
    poll->setInterval(25);
    QObject::connect(poll, &QTimer::timeout, poll, [handle, poll, request, left = 40]() mutable {
        const bool exposed = handle->isExposed();
        if (exposed || --left <= 0) {
            poll->stop();
            poll->deleteLater();
        }
        if (exposed)
            request();
    });
    poll->start();
}
