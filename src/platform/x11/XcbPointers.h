#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

// xcb replies and errors are malloc'ed; connections need xcb_disconnect.
struct XcbFree {
    void operator()(void *p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, XcbFree>;

struct XcbDisconnect {
    void operator()(xcb_connection_t *c) const { xcb_disconnect(c); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

// The screen of the given number, or null when the server has no such screen.
inline xcb_screen_t *screenOfNumber(xcb_connection_t *connection, int number)
{
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < number && screens.rem; ++i)
        xcb_screen_next(&screens);
    return screens.rem ? screens.data : nullptr;
}

// A connection to $DISPLAY (or the given display), or null when it cannot be opened.
inline XcbConnection connectToDisplay(const char *display = nullptr, int *screenNumber = nullptr)
{
    XcbConnection connection(xcb_connect(display, screenNumber));
    if (connection && xcb_connection_has_error(connection.get()))
        connection.reset();
    return connection;
}
