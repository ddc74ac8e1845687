#pragma once

#include "platform/x11/XcbPointers.h"

#include <QDir>
#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QTest>

#include <xcb/xtest.h>

#include <initializer_list>
#include <iostream>
#include <vector>

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

// The whole screen as another client reads it, kept in the screenshots folder; null on failure.
inline QImage rootScreenshot(const QString &name)
{
    const QString folder = qEnvironmentVariable("GLYPHWELL_SCREENSHOTS", QDir::tempPath());
    QDir().mkpath(folder);
    const QString path = QDir(folder).absoluteFilePath(name + QStringLiteral(".png"));
    QFile::remove(path);
    if (QProcess::execute(
            QStringLiteral("import"), { QStringLiteral("-window"), QStringLiteral("root"), path }))
        return {};
    std::cout << "screenshot: " << path.toStdString() << std::endl;
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

namespace Keysym {
constexpr xcb_keysym_t shiftL = 0xffe1, controlL = 0xffe3, altL = 0xffe9, superL = 0xffeb, capsLock = 0xffe5,
                       numLock = 0xff7f, escape = 0xff1b, tab = 0xff09, returnKey = 0xff0d, comma = 0x2c,
                       metaL = 0xffe7, hyperL = 0xffed, scrollLock = 0xff14, levelThree = 0xfe03;
} // namespace Keysym

// Another client of the test's X server, on a connection of its own: drives the real pointer and
// keyboard through XTest (then lets Qt's event loop see the result), and plays the other
// programs of the desktop: their focused windows and their key grabs.
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
    xcb_keycode_t keycodeOf(xcb_keysym_t keysym) const { return keycodeOfKeysym(m_connection.get(), keysym); }

    void moveTo(int x, int y, int settleMs = 30) { fake(XCB_MOTION_NOTIFY, 0, x, y, settleMs); }
    void press(int settleMs = 30) { fake(XCB_BUTTON_PRESS, 1, 0, 0, settleMs); }
    void release(int settleMs = 30) { fake(XCB_BUTTON_RELEASE, 1, 0, 0, settleMs); }
    void down(xcb_keysym_t keysym, int settleMs = 20)
    {
        fake(XCB_KEY_PRESS, keycodeOf(keysym), 0, 0, settleMs);
    }
    void up(xcb_keysym_t keysym, int settleMs = 20)
    {
        fake(XCB_KEY_RELEASE, keycodeOf(keysym), 0, 0, settleMs);
    }
    void tapKey(xcb_keysym_t keysym)
    {
        down(keysym, 10);
        up(keysym, 30);
    }
    // Presses the keys in order, holds them, and lets them go in reverse, as fingers do.
    void chord(std::initializer_list<xcb_keysym_t> keys, int holdMs = 30)
    {
        for (xcb_keysym_t key : keys)
            send(XCB_KEY_PRESS, keycodeOf(key));
        sync();
        QTest::qWait(holdMs);
        for (auto it = std::rbegin(keys); it != std::rend(keys); ++it)
            send(XCB_KEY_RELEASE, keycodeOf(*it));
        sync();
        QTest::qWait(80);
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
    void click(QPoint global, int settleMs = 100)
    {
        moveTo(global.x(), global.y(), 80);
        press();
        release(settleMs);
    }

    // A round trip: the server has processed everything sent before.
    void sync() const
    {
        XcbReply<xcb_get_input_focus_reply_t> reply(
            xcb_get_input_focus_reply(m_connection.get(), xcb_get_input_focus(m_connection.get()), nullptr));
    }

    // The logical modifier state of the core keyboard, locks included.
    uint16_t modifierState() const
    {
        XcbReply<xcb_query_pointer_reply_t> pointer(
            xcb_query_pointer_reply(c(), xcb_query_pointer(c(), m_root), nullptr));
        return pointer ? pointer->mask & 0xff : 0;
    }

    // A mapped top-level window at (x, y) with the input focus, listening to the keyboard.
    xcb_window_t takeFocus(int x = 0, int y = 0)
    {
        const xcb_window_t window = xcb_generate_id(c());
        const uint32_t values[] = { 0xffffff, 1,
            XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE | XCB_EVENT_MASK_STRUCTURE_NOTIFY };
        xcb_create_window(c(), XCB_COPY_FROM_PARENT, window, m_root, int16_t(x), int16_t(y), 300, 200, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
            XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
        xcb_map_window(c(), window);
        xcb_flush(c());
        for (int i = 0; i < 100; ++i) {
            XcbReply<xcb_get_window_attributes_reply_t> attributes(
                xcb_get_window_attributes_reply(c(), xcb_get_window_attributes(c(), window), nullptr));
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
                break;
            QTest::qWait(10);
        }
        setFocus(window);
        return window;
    }
    void setFocus(xcb_window_t window)
    {
        xcb_set_input_focus(c(), XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        sync();
    }
    xcb_window_t focus() const
    {
        XcbReply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(c(), xcb_get_input_focus(c()), nullptr));
        return focus ? focus->focus : XCB_NONE;
    }

    // Key presses of the given keycode this client's windows received since the last call.
    int takeKeyPresses(xcb_keycode_t keycode)
    {
        int count = 0;
        while (xcb_generic_event_t *event = xcb_poll_for_event(c())) {
            XcbReply<xcb_generic_event_t> holder(event);
            if ((event->response_type & 0x7f) == XCB_KEY_PRESS
                && reinterpret_cast<xcb_key_press_event_t *>(event)->detail == keycode)
                ++count;
        }
        return count;
    }

    // Another program's own grab of a combination; true when the server granted it.
    bool grab(xcb_keycode_t keycode, uint16_t modifiers)
    {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(c(),
            xcb_grab_key_checked(
                c(), 1, m_root, modifiers, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
        return error == nullptr;
    }

private:
    xcb_connection_t *c() const { return m_connection.get(); }
    void send(uint8_t type, uint8_t detail, int x = 0, int y = 0)
    {
        xcb_test_fake_input(c(), type, detail, XCB_CURRENT_TIME,
            type == XCB_MOTION_NOTIFY ? m_root : XCB_NONE, int16_t(x), int16_t(y), 0);
    }
    void fake(uint8_t type, uint8_t detail, int x, int y, int settleMs)
    {
        send(type, detail, x, y);
        sync();
        QTest::qWait(settleMs);
    }

    XcbConnection m_connection;
    int m_screenNumber = 0;
    xcb_window_t m_root = 0;
};
