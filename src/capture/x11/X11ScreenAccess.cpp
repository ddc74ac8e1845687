#include "X11ScreenAccess.h"

X11ScreenAccess::X11ScreenAccess()
    : m_connection(connectToDisplay(nullptr, &m_screenNumber))
{ }

bool X11ScreenAccess::preflight()
{
    if (!m_connection)
        return false;
    const xcb_screen_t *screen = screenOfNumber(m_connection.get(), m_screenNumber);
    if (!screen)
        return false;
    const xcb_get_image_cookie_t cookie
        = xcb_get_image(m_connection.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0, 1, 1, ~0u);
    xcb_generic_error_t *error = nullptr;
    XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(m_connection.get(), cookie, &error));
    XcbReply<xcb_generic_error_t> errorHolder(error);
    return reply != nullptr && error == nullptr;
}
