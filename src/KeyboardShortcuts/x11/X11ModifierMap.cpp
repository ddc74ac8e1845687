#include "X11ModifierMap.h"

#include <algorithm>
#include <initializer_list>

namespace KeyboardShortcuts {

namespace {

constexpr xcb_keysym_t numLockKeysym = 0xff7f;
constexpr xcb_keysym_t scrollLockKeysym = 0xff14;
constexpr xcb_keysym_t metaLKeysym = 0xffe7;
constexpr xcb_keysym_t metaRKeysym = 0xffe8;
constexpr xcb_keysym_t altLKeysym = 0xffe9;
constexpr xcb_keysym_t altRKeysym = 0xffea;
constexpr xcb_keysym_t superLKeysym = 0xffeb;
constexpr xcb_keysym_t superRKeysym = 0xffec;
constexpr xcb_keysym_t hyperLKeysym = 0xffed;
constexpr xcb_keysym_t hyperRKeysym = 0xffee;

constexpr int lockModifierIndex = 1; // Shift, Lock, Control, Mod1 … Mod5
constexpr int firstModNIndex = 3;

uint16_t lowestBit(uint16_t mask, uint16_t fallback)
{
    return mask ? uint16_t(mask & -mask) : fallback;
}

} // namespace

X11ModifierMap X11ModifierMap::fromMappings(std::span<const xcb_keycode_t> modifierKeycodes, int perModifier,
    std::span<const xcb_keysym_t> keysyms, int perKeycode, xcb_keycode_t minKeycode)
{
    X11ModifierMap map;
    perModifier = std::clamp(perModifier, 0, int(modifierKeycodes.size()) / 8);
    const auto hasKeysym = [&](xcb_keycode_t keycode, std::initializer_list<xcb_keysym_t> wanted) {
        if (keycode < minKeycode || perKeycode <= 0)
            return false;
        const size_t first = size_t(keycode - minKeycode) * size_t(perKeycode);
        for (size_t i = first; i < first + size_t(perKeycode) && i < keysyms.size(); ++i) {
            if (std::find(wanted.begin(), wanted.end(), keysyms[i]) != wanted.end())
                return true;
        }
        return false;
    };
    // The ModN bits whose keys include one of the wanted keysyms.
    const auto modifiersWith = [&](std::initializer_list<xcb_keysym_t> wanted) {
        uint16_t mask = 0;
        for (int modifier = firstModNIndex; modifier < 8; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                const xcb_keycode_t keycode = modifierKeycodes[size_t(modifier * perModifier + i)];
                if (keycode != 0 && hasKeysym(keycode, wanted))
                    mask |= uint16_t(1u << modifier);
            }
        }
        return mask;
    };

    for (int i = 0; i < 8 * perModifier; ++i) {
        if (modifierKeycodes[size_t(i)] != 0)
            map.modifierKeycodes.push_back(modifierKeycodes[size_t(i)]);
    }
    bool lockOnLock = false;
    for (int i = 0; i < perModifier; ++i)
        lockOnLock = lockOnLock || modifierKeycodes[size_t(lockModifierIndex * perModifier + i)] != 0;
    const uint16_t alt = modifiersWith({ altLKeysym, altRKeysym });
    const uint16_t meta = modifiersWith({ metaLKeysym, metaRKeysym });
    const uint16_t super = modifiersWith({ superLKeysym, superRKeysym });
    const uint16_t hyper = modifiersWith({ hyperLKeysym, hyperRKeysym });
    map.altMask = lowestBit(alt ? alt : meta, XCB_MOD_MASK_1);
    map.superMask = lowestBit((super ? super : hyper) & ~map.altMask, XCB_MOD_MASK_4);
    map.combinationMask = uint16_t(XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | map.altMask | map.superMask
        | ((alt | meta | super | hyper) & ~(map.altMask | map.superMask)));

    uint16_t locks = modifiersWith({ numLockKeysym, scrollLockKeysym });
    if (lockOnLock)
        locks |= XCB_MOD_MASK_LOCK;
    // A lock key put on Alt or Super would make those part of every hot key; leave them out.
    map.lockMask = locks & ~map.combinationMask;
    return map;
}

uint16_t X11ModifierMap::xModifiersFor(uint32_t carbonModifiers) const
{
    uint16_t modifiers = 0;
    if (carbonModifiers & CarbonModifier::shift)
        modifiers |= XCB_MOD_MASK_SHIFT;
    if (carbonModifiers & CarbonModifier::control)
        modifiers |= XCB_MOD_MASK_CONTROL;
    if (carbonModifiers & CarbonModifier::option)
        modifiers |= altMask;
    if (carbonModifiers & CarbonModifier::command)
        modifiers |= superMask;
    return modifiers;
}

ModifierFlags X11ModifierMap::flagsFor(uint16_t state) const
{
    ModifierFlags flags;
    if (state & XCB_MOD_MASK_SHIFT)
        flags |= ModifierFlags::shift;
    if (state & XCB_MOD_MASK_CONTROL)
        flags |= ModifierFlags::control;
    if (state & altMask)
        flags |= ModifierFlags::option;
    if (state & superMask)
        flags |= ModifierFlags::command;
    return flags;
}

std::vector<uint16_t> X11ModifierMap::lockCombinations() const
{
    std::vector<uint16_t> result;
    for (uint16_t subset = lockMask;; subset = (subset - 1) & lockMask) {
        result.push_back(subset);
        if (subset == 0)
            break;
    }
    // The plain combination first: it is the one most likely held by someone else.
    std::sort(result.begin(), result.end());
    return result;
}

} // namespace KeyboardShortcuts
