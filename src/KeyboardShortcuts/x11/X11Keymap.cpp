#include "X11Keymap.h"

#include "KeyboardShortcuts/KeyboardLayout.h"
#include "platform/x11/XcbPointers.h"

#include <QtGlobal>

#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

namespace KeyboardShortcuts {

namespace {

// The keymap of the core keyboard, with the group the server has active now.
xkb_keymap *keymapFromXServer(xkb_context *context, uint32_t &group)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return nullptr;
    XcbConnection connection = connectToDisplay();
    if (!connection
        || !xkb_x11_setup_xkb_extension(connection.get(), XKB_X11_MIN_MAJOR_XKB_VERSION,
            XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr,
            nullptr))
        return nullptr;
    const int32_t device = xkb_x11_get_core_keyboard_device_id(connection.get());
    if (device < 0)
        return nullptr;
    xkb_keymap *keymap
        = xkb_x11_keymap_new_from_device(context, connection.get(), device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap)
        return nullptr;
    group = 0;
    if (xkb_state *state = xkb_x11_state_new_from_device(keymap, connection.get(), device)) {
        group = xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE);
        xkb_state_unref(state);
    }
    return keymap;
}

} // namespace

void useX11Keymap()
{
    setDisplayKeymapReader(keymapFromXServer);
}

} // namespace KeyboardShortcuts
