// Drives captures of a running glyphwell from outside, as a user would, and times them with
// the server's own events: the shortcut's key release to the overlay window being mapped, and
// the mouse release to glyphwell taking the clipboard (this program owns it before each
// capture, so it hears the moment another client takes it). Each round prints one line of
// CLOCK_MONOTONIC microseconds, the clock glyphwell's GLYPHWELL_TIMING lines use too:
//   round N keyup US overlay-mapped US release US clipboard US text-ok 0|1
// usage: capture_latency ROUNDS LEFT TOP RIGHT BOTTOM EXPECTED-TEXT
// Run by bench/capture_latency.sh on a private X server.
#include "platform/x11/XcbPointers.h"
#include "x11/XTestInput.h"

#include <xcb/xtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

namespace {

long long now()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

void pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    XcbReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : XCB_ATOM_NONE;
}

class Driver {
public:
    Driver(xcb_connection_t *c, xcb_window_t root)
        : m_c(c)
        , m_root(root)
    {
        const uint32_t rootEvents = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &rootEvents);
        m_window = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, m_window, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
            XCB_COPY_FROM_PARENT, 0, nullptr);
        m_clipboard = atom(c, "CLIPBOARD");
        m_utf8 = atom(c, "UTF8_STRING");
        m_property = atom(c, "GLYPHWELL_LATENCY_TEXT");
        m_wmName = atom(c, "_NET_WM_NAME");
        xcb_flush(c);
    }

    bool takeClipboard()
    {
        xcb_set_selection_owner(m_c, m_window, m_clipboard, XCB_CURRENT_TIME);
        XcbReply<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, m_clipboard), nullptr));
        return owner && owner->owner == m_window;
    }

    void key(xcb_keycode_t code, bool down)
    {
        xcb_test_fake_input(
            m_c, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(m_c);
    }
    void pointer(uint8_t type, int x = 0, int y = 0)
    {
        xcb_test_fake_input(m_c, type, type == XCB_MOTION_NOTIFY ? 0 : 1, XCB_CURRENT_TIME,
            type == XCB_MOTION_NOTIFY ? m_root : XCB_NONE, int16_t(x), int16_t(y), 0);
        xcb_flush(m_c);
    }

    // Waits for an event the test accepts, up to the timeout; its time, or 0.
    template <typename Accept> long long waitFor(int timeoutMs, Accept accept)
    {
        const long long deadline = now() + timeoutMs * 1000LL;
        while (now() < deadline) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_c)) {
                const long long at = now();
                const bool ok = accept(event);
                std::free(event);
                if (ok)
                    return at;
            }
            pause(1);
        }
        return 0;
    }

    bool isOverlay(xcb_window_t window)
    {
        XcbReply<xcb_get_property_reply_t> name(
            xcb_get_property_reply(m_c, xcb_get_property(m_c, 0, window, m_wmName, m_utf8, 0, 256), nullptr));
        if (!name)
            return false;
        const std::string text(static_cast<const char *>(xcb_get_property_value(name.get())),
            std::size_t(xcb_get_property_value_length(name.get())));
        return text.rfind("Glyphwell Selection", 0) == 0;
    }

    // Another client holds the pointer grab (the overlay, ready for the drag).
    bool pointerHeldElsewhere()
    {
        XcbReply<xcb_grab_pointer_reply_t> grab(xcb_grab_pointer_reply(m_c,
            xcb_grab_pointer(m_c, 0, m_root, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
                XCB_CURRENT_TIME),
            nullptr));
        if (grab && grab->status == XCB_GRAB_STATUS_SUCCESS) {
            xcb_ungrab_pointer(m_c, XCB_CURRENT_TIME);
            xcb_flush(m_c);
            return false;
        }
        return grab && grab->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
    }

    std::string clipboardText()
    {
        xcb_convert_selection(m_c, m_window, m_clipboard, m_utf8, m_property, XCB_CURRENT_TIME);
        xcb_flush(m_c);
        const long long got = waitFor(
            2000, [](xcb_generic_event_t *e) { return (e->response_type & 0x7f) == XCB_SELECTION_NOTIFY; });
        if (!got)
            return {};
        XcbReply<xcb_get_property_reply_t> value(xcb_get_property_reply(m_c,
            xcb_get_property(m_c, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 20), nullptr));
        if (!value)
            return {};
        return std::string(static_cast<const char *>(xcb_get_property_value(value.get())),
            std::size_t(xcb_get_property_value_length(value.get())));
    }

    xcb_window_t window() const { return m_window; }

private:
    xcb_connection_t *m_c;
    xcb_window_t m_root;
    xcb_window_t m_window = 0;
    xcb_atom_t m_clipboard = 0, m_utf8 = 0, m_property = 0, m_wmName = 0;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: capture_latency ROUNDS LEFT TOP RIGHT BOTTOM EXPECTED-TEXT\n");
        return 2;
    }
    const int rounds = std::atoi(argv[1]);
    const int left = std::atoi(argv[2]), top = std::atoi(argv[3]);
    const int right = std::atoi(argv[4]), bottom = std::atoi(argv[5]);
    const std::string expected = argv[6];

    int screenNumber = 0;
    XcbConnection connection = connectToDisplay(nullptr, &screenNumber);
    const xcb_screen_t *screen = connection ? screenOfNumber(connection.get(), screenNumber) : nullptr;
    if (!screen) {
        std::fprintf(stderr, "capture_latency: no X server\n");
        return 1;
    }
    xcb_connection_t *c = connection.get();
    Driver driver(c, screen->root);
    const xcb_keycode_t shift = keycodeOfKeysym(c, 0xffe1), super = keycodeOfKeysym(c, 0xffeb),
                        x = keycodeOfKeysym(c, 'x');
    int failures = 0;
    for (int round = 1; round <= rounds; ++round) {
        if (!driver.takeClipboard()) {
            std::fprintf(stderr, "round %d: could not take the clipboard\n", round);
            return 1;
        }
        driver.key(shift, true);
        driver.key(super, true);
        driver.key(x, true);
        pause(30);
        const long long keyUp = now();
        driver.key(x, false);
        driver.key(super, false);
        driver.key(shift, false);
        xcb_window_t overlay = 0;
        const long long mapped = driver.waitFor(5000, [&](xcb_generic_event_t *e) {
            if ((e->response_type & 0x7f) != XCB_MAP_NOTIFY)
                return false;
            const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(e);
            if (!driver.isOverlay(map->window))
                return false;
            overlay = map->window;
            return true;
        });
        if (!mapped) {
            std::fprintf(stderr, "round %d: no overlay after the shortcut\n", round);
            return 1;
        }
        for (int i = 0; i < 500 && !driver.pointerHeldElsewhere(); ++i)
            pause(2);
        driver.pointer(XCB_MOTION_NOTIFY, left, top);
        pause(10);
        driver.pointer(XCB_BUTTON_PRESS);
        for (int step = 1; step <= 6; ++step) {
            driver.pointer(
                XCB_MOTION_NOTIFY, left + (right - left) * step / 6, top + (bottom - top) * step / 6);
            pause(15);
        }
        const long long released = now();
        driver.pointer(XCB_BUTTON_RELEASE);
        const long long taken = driver.waitFor(10000, [&](xcb_generic_event_t *e) {
            return (e->response_type & 0x7f) == XCB_SELECTION_CLEAR
                && reinterpret_cast<xcb_selection_clear_event_t *>(e)->owner == driver.window();
        });
        const std::string text = taken ? driver.clipboardText() : std::string();
        const bool ok = text.find(expected) != std::string::npos;
        failures += !ok;
        std::printf("round %d keyup %lld overlay-mapped %lld release %lld clipboard %lld text-ok %d\n", round,
            keyUp, mapped, released, taken, int(ok));
        std::fflush(stdout);
        if (!ok)
            std::fprintf(stderr, "round %d: clipboard holds \"%s\"\n", round, text.c_str());
        // Let the overlay go and the program settle, as between two real captures.
        driver.waitFor(2000, [&](xcb_generic_event_t *e) {
            return (e->response_type & 0x7f) == XCB_UNMAP_NOTIFY
                && reinterpret_cast<xcb_unmap_notify_event_t *>(e)->window == overlay;
        });
        pause(400);
    }
    return failures ? 1 : 0;
}
