#pragma once

#include "platform/x11/XcbPointers.h"

#include <QTest>

#include <xcb/xtest.h>

// The first keycode whose keyboard mapping holds the keysym, or 0.
inline xcb_keycode_t keycodeOfKeysym(xcb_connection_t *connection, xcb_keysym_t keysym)
{
    const xcb_setup_t *setup = xcb_get_setup(connection);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    XcbReply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, setup->min_keycode, count), nullptr));
    if (!mapping)
        return 0;
    const xcb_keysym_t *keysyms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int perKeycode = mapping->keysyms_per_keycode;
    for (int i = 0; i < count * perKeycode; ++i) {
        if (keysyms[i] == keysym)
            return xcb_keycode_t(setup->min_keycode + i / perKeycode);
    }
    return 0;
}

// Drives the real pointer and keyboard of the test's X server through XTest, on a connection
// of its own, then lets Qt's event loop see the result.
class XTestInput {
public:
    XTestInput()
        : m_connection(connectToDisplay(nullptr, &m_screenNumber))
    {
        if (!m_connection)
            return;
        if (const xcb_screen_t *screen = screenOfNumber(m_connection.get(), m_screenNumber))
            m_root = screen->root;
    }

    bool isValid() const { return m_connection && m_root; }
    xcb_connection_t *connection() const { return m_connection.get(); }
    xcb_window_t root() const { return m_root; }

    void moveTo(int x, int y, int settleMs = 30) { fake(XCB_MOTION_NOTIFY, 0, x, y, settleMs); }
    void press(int settleMs = 30) { fake(XCB_BUTTON_PRESS, 1, 0, 0, settleMs); }
    void release(int settleMs = 30) { fake(XCB_BUTTON_RELEASE, 1, 0, 0, settleMs); }
    void tapKey(xcb_keysym_t keysym)
    {
        const xcb_keycode_t code = keycodeOf(keysym);
        fake(XCB_KEY_PRESS, code, 0, 0, 10);
        fake(XCB_KEY_RELEASE, code, 0, 0, 30);
    }

    // A press-drag-release in steps, as a hand would do it.
    void drag(QPoint from, QPoint to, int steps = 6)
    {
        moveTo(from.x(), from.y());
        press();
        for (int i = 1; i <= steps; ++i)
            moveTo(from.x() + (to.x() - from.x()) * i / steps, from.y() + (to.y() - from.y()) * i / steps);
        release();
    }

    xcb_keycode_t keycodeOf(xcb_keysym_t keysym) const { return keycodeOfKeysym(m_connection.get(), keysym); }

    // A round trip: everything sent before has been processed by the server.
    void sync() const
    {
        XcbReply<xcb_get_input_focus_reply_t> reply(
            xcb_get_input_focus_reply(m_connection.get(), xcb_get_input_focus(m_connection.get()), nullptr));
    }

private:
    void fake(uint8_t type, uint8_t detail, int x, int y, int settleMs)
    {
        xcb_test_fake_input(m_connection.get(), type, detail, XCB_CURRENT_TIME,
            type == XCB_MOTION_NOTIFY ? m_root : XCB_NONE, int16_t(x), int16_t(y), 0);
        sync();
        QTest::qWait(settleMs);
    }

    XcbConnection m_connection;
    int m_screenNumber = 0;
    xcb_window_t m_root = 0;
};
