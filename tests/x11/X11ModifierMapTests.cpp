#include "KeyboardShortcuts/ModifierFlags.h"
#include "KeyboardShortcuts/x11/X11ModifierMap.h"
#include "x11/XTestInput.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using namespace KeyboardShortcuts;

namespace {

using namespace Keysym;
constexpr xcb_keycode_t minKeycode = 8;
constexpr int perKeycode = 2;
enum Row { shift, lock, control, mod1, mod2, mod3, mod4, mod5 };

// A server's two mappings from "modifier -> keysyms on it": each keysym gets a keycode of its own.
struct Mappings {
    std::vector<xcb_keycode_t> modifiers;
    int perModifier = 0;
    std::vector<xcb_keysym_t> keysyms;

    explicit Mappings(const std::map<Row, std::vector<xcb_keysym_t>> &rows)
    {
        for (const auto &[row, syms] : rows)
            perModifier = std::max(perModifier, int(syms.size()));
        modifiers.assign(size_t(8 * perModifier), 0);
        xcb_keycode_t next = minKeycode;
        for (const auto &[row, syms] : rows) {
            for (size_t i = 0; i < syms.size(); ++i) {
                modifiers[size_t(row * perModifier) + i] = next;
                keysyms.resize(size_t(next - minKeycode + 1) * perKeycode, 0);
                keysyms[size_t(next - minKeycode) * perKeycode] = syms[i];
                ++next;
            }
        }
    }
    X11ModifierMap map() const
    {
        return X11ModifierMap::fromMappings(modifiers, perModifier, keysyms, perKeycode, minKeycode);
    }
};

constexpr uint16_t S = XCB_MOD_MASK_SHIFT, L = XCB_MOD_MASK_LOCK, C = XCB_MOD_MASK_CONTROL,
                   M1 = XCB_MOD_MASK_1, M2 = XCB_MOD_MASK_2, M3 = XCB_MOD_MASK_3, M4 = XCB_MOD_MASK_4;

} // namespace

// Which modifier is Option, which is Command, which only lock: from the maps servers hold
// (Super moved to Mod3 on a real server: X11HotKeyBackendTest).
TEST(X11ModifierMap, AltSuperAndLocksFromTheServersMaps)
{
    const std::map<Row, std::vector<xcb_keysym_t>> pc { { shift, { shiftL } }, { lock, { capsLock } },
        { control, { controlL } }, { mod1, { altL, metaL } }, { mod2, { numLock } },
        { mod4, { superL, hyperL } }, { mod5, { levelThree } } };
    const struct {
        const char *name;
        std::map<Row, std::vector<xcb_keysym_t>> rows;
        uint16_t alt, super, combination, locks;
    } rows[] = {
        { "a PC keyboard's map (XKB's default)", pc, M1, M4, S | C | M1 | M4, L | M2 },
        { "Hyper on a ModN of its own is held as a combination, not ignored",
            { { mod1, { altL } }, { mod3, { hyperL } }, { mod4, { superL } }, { mod2, { numLock } } }, M1, M4,
            S | C | M1 | M3 | M4, M2 },
        { "Meta stands in for a missing Alt", { { mod3, { metaL } }, { mod4, { superL } } }, M3, M4,
            S | C | M3 | M4, 0 },
        { "Hyper stands in for a missing Super", { { mod1, { altL } }, { mod3, { hyperL } } }, M1, M3,
            S | C | M1 | M3, 0 },
        { "neither Alt nor Super: the usual Mod1 and Mod4",
            { { shift, { shiftL } }, { control, { controlL } } }, M1, M4, S | C | M1 | M4, 0 },
        { "Super on Alt's modifier: Command keeps Mod4", { { mod1, { altL, superL } } }, M1, M4,
            S | C | M1 | M4, 0 },
        { "a lock key on Alt's modifier is no lock", { { mod1, { altL, numLock } }, { mod4, { superL } } },
            M1, M4, S | C | M1 | M4, 0 },
        { "Scroll Lock is a lock; no Caps Lock key, no Lock",
            { { mod3, { scrollLock } }, { mod1, { altL } } }, M1, M4, S | C | M1 | M4, M3 },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const X11ModifierMap map = Mappings(row.rows).map();
        EXPECT_EQ(map.altMask, row.alt);
        EXPECT_EQ(map.superMask, row.super);
        EXPECT_EQ(map.combinationMask, row.combination);
        EXPECT_EQ(map.lockMask, row.locks);
        EXPECT_EQ(map.xModifiersFor(CarbonModifier::option | CarbonModifier::command | CarbonModifier::shift),
            row.alt | row.super | S);
        EXPECT_EQ(map.flagsFor(row.alt | C), ModifierFlags::option | ModifierFlags::control);
    }
    // Each held modifier key, and nothing else, counts as a modifier key.
    EXPECT_EQ(Mappings(pc).map().modifierKeycodes.size(), 9u);
    // Every subset of the locks is grabbed, the plain combination first.
    EXPECT_EQ(Mappings(pc).map().lockCombinations(), (std::vector<uint16_t> { 0, L, M2, L | M2 }));
}

// A reply shorter than it says, keycodes below the server's range: read as far as they go.
TEST(X11ModifierMap, TruncatedMappingsReadAsFarAsTheyGo)
{
    Mappings mappings({ { mod1, { altL } }, { mod3, { superL } } });
    ASSERT_EQ(mappings.map().superMask, M3);
    mappings.keysyms.resize(perKeycode); // the keyboard mapping ends after Alt's key
    const X11ModifierMap cut = X11ModifierMap::fromMappings(
        mappings.modifiers, mappings.perModifier + 3, mappings.keysyms, perKeycode, minKeycode);
    EXPECT_EQ(cut.altMask, M1);
    EXPECT_EQ(cut.superMask, M4);
    const std::vector<xcb_keycode_t> low(8, 3);
    const X11ModifierMap below
        = X11ModifierMap::fromMappings(low, 1, mappings.keysyms, perKeycode, minKeycode);
    EXPECT_EQ(below.lockMask, L); // a key is on Lock, whatever it types
    EXPECT_EQ(below.combinationMask, S | C | M1 | M4);
}
