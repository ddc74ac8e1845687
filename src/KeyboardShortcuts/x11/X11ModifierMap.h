#pragma once

#include "KeyboardShortcuts/ModifierFlags.h"

#include <xcb/xproto.h>

#include <cstdint>
#include <span>
#include <vector>

namespace KeyboardShortcuts {

// Which of the server's eight modifiers mean what for hot keys, worked out from its modifier
// mapping and keyboard mapping alone (no connection), so that every map a server may hold can
// be tried in a table.
struct X11ModifierMap {
    // The ModN that Option (Alt, or Meta where there is no Alt) and Command (Super, or Hyper)
    // are on; a map that has neither keeps the usual Mod1 and Mod4.
    uint16_t altMask = XCB_MOD_MASK_1;
    uint16_t superMask = XCB_MOD_MASK_4;
    // Shift, Control, Alt, Super, Hyper and Meta: held, they make another combination.
    uint16_t combinationMask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
    // Lock, and the ModN of Num Lock and Scroll Lock, that a grab must ignore; never one of the
    // combination's.
    uint16_t lockMask = 0;
    // Every key on some modifier: held alone, they are no combination.
    std::vector<uint8_t> modifierKeycodes;

    // modifierKeycodes: the server's 8 x perModifier table (Shift, Lock, Control, Mod1..Mod5);
    // keysyms: perKeycode keysyms for each keycode from minKeycode on.
    static X11ModifierMap fromMappings(std::span<const xcb_keycode_t> modifierKeycodes, int perModifier,
        std::span<const xcb_keysym_t> keysyms, int perKeycode, xcb_keycode_t minKeycode);

    // The X modifiers of a combination's Carbon modifiers, and back from an X state.
    uint16_t xModifiersFor(uint32_t carbonModifiers) const;
    ModifierFlags flagsFor(uint16_t state) const;
    // Every subset of the lock modifiers, the plain combination first.
    std::vector<uint16_t> lockCombinations() const;
};

} // namespace KeyboardShortcuts
