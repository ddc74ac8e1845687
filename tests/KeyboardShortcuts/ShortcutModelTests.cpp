#include "KeyboardShortcuts/KeyCodeMap.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"

#include <QKeyEvent>
#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

using namespace KeyboardShortcuts;

namespace {

constexpr int64_t allFive = 0x100 | 0x200 | 0x800 | 0x1000 | 0x20000;

} // namespace

TEST(Shortcut, Modifiers_KeepOnlyTheFiveKnownCarbonBits_ExceptWhenUnnormalized)
{
    const struct Case {
        int64_t carbon, normalized;
        ModifierFlags flags;
    } cases[] = {
        { 0x200, 0x200, ModifierFlags::shift },
        { 0x1000, 0x1000, ModifierFlags::control },
        { 0x800, 0x800, ModifierFlags::option },
        { 0x100, 0x100, ModifierFlags::command },
        { 0x20000, 0x20000, ModifierFlags::function },
        { 0x2700, 0x300, ModifierFlags::shift | ModifierFlags::command }, // caps lock, right shift
        { 0x1B900 | 0x20000, 0x1000 | 0x800 | 0x100 | 0x20000,
            ModifierFlags::control | ModifierFlags::option | ModifierFlags::command
                | ModifierFlags::function },
        { 0x400 | 0x2000 | 0x4000 | 0x8000, 0, ModifierFlags() }, // caps lock, right-hand bits
        { -1, allFive,
            ModifierFlags::shift | ModifierFlags::control | ModifierFlags::option | ModifierFlags::command
                | ModifierFlags::function },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.carbon);
        const Shortcut shortcut(-5, c.carbon);
        EXPECT_EQ(shortcut.carbonModifiers, c.normalized);
        EXPECT_EQ(shortcut.modifiers(), c.flags);
        EXPECT_EQ(c.flags.carbon(), c.normalized);
        EXPECT_EQ(Shortcut::unnormalized(-5, c.carbon).carbonModifiers, c.carbon);
    }
    // Event flags the stored form has no bit for drop out.
    const Shortcut fromFlags(Key::x,
        ModifierFlags::shift | ModifierFlags::command | ModifierFlags::capsLock | ModifierFlags::numericPad
            | ModifierFlags::help | ModifierFlags(0xff));
    EXPECT_EQ(fromFlags, Shortcut(7, 768));
    EXPECT_EQ(fromFlags.key(), Key::x);
}

// The program's only way in is a Qt key event (the raw-event overload is reached only
// through it), so the rows go through one.
TEST(Shortcut, FromQtKeyEvent_ScanCodeIsTheXKeycode_KeypadModifierIgnored)
{
    const Qt::KeyboardModifiers all
        = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    const struct Case {
        QEvent::Type type;
        quint32 scanCode;
        Qt::KeyboardModifiers modifiers;
        std::optional<Shortcut> expected;
    } cases[] = {
        { QEvent::KeyPress, KEY_X + 8, Qt::ShiftModifier | Qt::MetaModifier, Shortcut(7, 768) },
        { QEvent::KeyRelease, KEY_F5 + 8, all, Shortcut(96, 0x200 | 0x1000 | 0x800 | 0x100) },
        { QEvent::KeyPress, KEY_KPENTER + 8, Qt::KeypadModifier | Qt::ControlModifier,
            Shortcut(Key::keypadEnter, ModifierFlags::control) },
        { QEvent::ShortcutOverride, KEY_X + 8, Qt::MetaModifier, std::nullopt },
        { QEvent::KeyPress, 0, Qt::MetaModifier, std::nullopt }, // synthetic, no scan code
        { QEvent::KeyPress, KEY_SYSRQ + 8, Qt::NoModifier, std::nullopt },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.scanCode);
        EXPECT_EQ(Shortcut::fromEvent(QKeyEvent(c.type, Qt::Key_unknown, c.modifiers, c.scanCode, 0, 0)),
            c.expected);
    }
}

// Keys without an X keycode (52, fn) and X keycodes of no key (Print) map to nothing.
TEST(KeyCodeMap, UnknownCodes_GiveNothing)
{
    for (int64_t code : { INT64_C(-1), INT64_C(52), INT64_C(63), INT64_C(128), INT64_C(1) << 40 })
        EXPECT_FALSE(KeyCodeMap::xKeycodeForKeyCode(code)) << code;
    for (uint32_t x : { 0u, 7u, 256u, 100000u, static_cast<uint32_t>(KEY_SYSRQ + 8) })
        EXPECT_FALSE(KeyCodeMap::keyCodeForXKeycode(x)) << x;
}

TEST(KeyboardShortcuts, IsSandboxed_ReadOnceFromEnvironment)
{
    qputenv("APP_SANDBOX_CONTAINER_ID", "");
    const bool first = isSandboxed();
    qunsetenv("APP_SANDBOX_CONTAINER_ID");
    EXPECT_EQ(isSandboxed(), first);
    // Under ctest each test is its own process, so this is the first read: set, even empty.
    if (::testing::FLAGS_gtest_filter.find("IsSandboxed") != std::string::npos)
        EXPECT_TRUE(first);
}
