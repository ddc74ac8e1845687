#include "KeyboardShortcuts/KeyCodeMap.h"
#include "KeyboardShortcuts/KeyboardShortcuts.h"

#include <QKeyEvent>
#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <set>
#include <unordered_set>

using namespace KeyboardShortcuts;

namespace {

constexpr uint64_t eventCommand = 0x100000;
constexpr uint64_t eventFunction = 0x800000;

QKeyEvent keyEvent(QEvent::Type type, int evdevCode, Qt::KeyboardModifiers modifiers)
{
    return QKeyEvent(type, Qt::Key_unknown, modifiers, static_cast<quint32>(evdevCode + 8), 0, 0);
}

} // namespace

TEST(Shortcut, CarbonInitializer_KeepsOnlyFiveKnownModifierBits)
{
    // Command, shift, caps lock and the right-hand shift bit.
    const Shortcut shortcut(7, 0x2700);
    EXPECT_EQ(shortcut.carbonKeyCode, 7);
    EXPECT_EQ(shortcut.carbonModifiers, 0x300);

    EXPECT_EQ(Shortcut(7, 0x1B900 | 0x20000).carbonModifiers, 0x1000 | 0x800 | 0x100 | 0x20000);
    EXPECT_EQ(Shortcut(-5, -1).carbonKeyCode, -5);
    EXPECT_EQ(Shortcut(-5, -1).carbonModifiers, 0x100 | 0x200 | 0x800 | 0x1000 | 0x20000);
}

TEST(Shortcut, Unnormalized_KeepsEveryBit)
{
    EXPECT_EQ(Shortcut::unnormalized(7, 0x2700).carbonModifiers, 0x2700);
    EXPECT_NE(Shortcut::unnormalized(7, 0x2700), Shortcut(7, 0x2700));
}

TEST(Shortcut, KeyAndFlagsInitializer_ConvertsFlagsToCarbonBits)
{
    const Shortcut shortcut(Key::x,
        ModifierFlags::shift | ModifierFlags::command | ModifierFlags::capsLock | ModifierFlags::numericPad
            | ModifierFlags(0xff));
    EXPECT_EQ(shortcut.carbonKeyCode, 7);
    EXPECT_EQ(shortcut.carbonModifiers, 768);
    EXPECT_EQ(shortcut.key(), Key::x);
    EXPECT_EQ(shortcut.modifiers(), ModifierFlags::shift | ModifierFlags::command);
}

TEST(ModifierFlags, ConvertBitByBitBothWays)
{
    const std::pair<ModifierFlags, int64_t> table[] = {
        { ModifierFlags::shift, 0x200 },
        { ModifierFlags::control, 0x1000 },
        { ModifierFlags::option, 0x800 },
        { ModifierFlags::command, 0x100 },
        { ModifierFlags::function, 0x20000 },
    };
    for (const auto &[flag, carbon] : table) {
        EXPECT_EQ(flag.carbon(), carbon);
        EXPECT_EQ(ModifierFlags::fromCarbon(carbon), flag);
    }
    EXPECT_EQ(ModifierFlags::shift.rawValue, 0x20000u);
    EXPECT_EQ(ModifierFlags::control.rawValue, 0x40000u);
    EXPECT_EQ(ModifierFlags::option.rawValue, 0x80000u);
    EXPECT_EQ(ModifierFlags::command.rawValue, 0x100000u);
    EXPECT_EQ(ModifierFlags::function.rawValue, 0x800000u);
    EXPECT_EQ((ModifierFlags::capsLock | ModifierFlags::numericPad | ModifierFlags::help).carbon(), 0);
    // Caps lock and the right-hand-side bits.
    EXPECT_TRUE(ModifierFlags::fromCarbon(0x400 | 0x2000 | 0x4000 | 0x8000).isEmpty());
}

TEST(Shortcut, RawF5EventWithFunctionFlag_DropsFunction_KeepsCommand)
{
    const std::optional<Shortcut> shortcut
        = Shortcut::fromEvent(RawEventType::keyDown, 96, eventCommand | eventFunction);
    ASSERT_TRUE(shortcut);
    EXPECT_EQ(shortcut->carbonKeyCode, 96);
    EXPECT_EQ(shortcut->carbonModifiers, 0x100);

    const std::optional<Shortcut> released = Shortcut::fromEvent(RawEventType::keyUp, 96, eventFunction);
    ASSERT_TRUE(released);
    EXPECT_EQ(released->carbonModifiers, 0);
}

TEST(Shortcut, RawNonKeyEvent_GivesNothing)
{
    EXPECT_FALSE(Shortcut::fromEvent(RawEventType::flagsChanged, 96, eventCommand));
    EXPECT_FALSE(Shortcut::fromEvent(1, 0, 0)); // a mouse-down
    EXPECT_FALSE(Shortcut::fromEvent(0, 7, eventCommand));
}

TEST(Shortcut, RawEvent_KeyCodeIsTakenAs16Bits_CapsLockDropped)
{
    const std::optional<Shortcut> shortcut
        = Shortcut::fromEvent(RawEventType::keyDown, 0x10007, 0x10000 | 0x20000);
    ASSERT_TRUE(shortcut);
    EXPECT_EQ(shortcut->carbonKeyCode, 7);
    EXPECT_EQ(shortcut->carbonModifiers, 0x200);
}

TEST(Shortcut, QtKeyPress_MapsScanCodeAndModifiers)
{
    const QKeyEvent event = keyEvent(QEvent::KeyPress, KEY_X, Qt::ShiftModifier | Qt::MetaModifier);
    EXPECT_EQ(Shortcut::fromEvent(event), Shortcut(7, 768));

    const QKeyEvent all = keyEvent(QEvent::KeyRelease, KEY_F5,
        Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    EXPECT_EQ(Shortcut::fromEvent(all), Shortcut(96, 0x200 | 0x1000 | 0x800 | 0x100));
}

TEST(Shortcut, QtKeypadModifier_IsIgnored)
{
    const QKeyEvent event = keyEvent(QEvent::KeyPress, KEY_KPENTER, Qt::KeypadModifier | Qt::ControlModifier);
    EXPECT_EQ(Shortcut::fromEvent(event), Shortcut(Key::keypadEnter, ModifierFlags::control));
}

TEST(Shortcut, QtNonKeyEventOrUnknownScanCode_GivesNothing)
{
    const QKeyEvent overrideEvent = keyEvent(QEvent::ShortcutOverride, KEY_X, Qt::MetaModifier);
    EXPECT_FALSE(Shortcut::fromEvent(overrideEvent));
    const QKeyEvent synthetic(QEvent::KeyPress, Qt::Key_X, Qt::MetaModifier);
    EXPECT_FALSE(Shortcut::fromEvent(synthetic));
    const QKeyEvent unmapped = keyEvent(QEvent::KeyPress, KEY_SYSRQ, Qt::NoModifier);
    EXPECT_FALSE(Shortcut::fromEvent(unmapped));
}

TEST(Shortcut, X11KeyEvent_MapsKeycodeAndState)
{
    // Shift | Lock | Mod4 | Mod2 (num lock): the lock modifiers drop out.
    EXPECT_EQ(Shortcut::fromX11KeyEvent(2, KEY_X + 8, 0x1 | 0x2 | 0x40 | 0x10), Shortcut(7, 0x300));
    EXPECT_EQ(Shortcut::fromX11KeyEvent(3 | 0x80, KEY_A + 8, 0x4 | 0x8), Shortcut(0, 0x1000 | 0x800));
    EXPECT_FALSE(Shortcut::fromX11KeyEvent(4, KEY_A + 8, 0));
    EXPECT_FALSE(Shortcut::fromX11KeyEvent(2, 3, 0));
}

TEST(Shortcut, Json_IsCompactWithBothMembers)
{
    EXPECT_EQ(Shortcut(7, 768).toJson(), QByteArray("{\"carbonKeyCode\":7,\"carbonModifiers\":768}"));
    EXPECT_EQ(Shortcut::fromJson("{\"carbonKeyCode\":7,\"carbonModifiers\":768}"), Shortcut(7, 768));
    // Decoding does not normalise.
    EXPECT_EQ(Shortcut::fromJson("{\"carbonKeyCode\":7,\"carbonModifiers\":9984}")->carbonModifiers, 0x2700);
    EXPECT_EQ(Shortcut::fromJson("{\"carbonKeyCode\":7.0,\"carbonModifiers\":256}"), Shortcut(7, 256));
}

TEST(Shortcut, EqualityAndHash_UseBothFields)
{
    EXPECT_EQ(Shortcut(7, 768), Shortcut(Key::x, ModifierFlags::shift | ModifierFlags::command));
    EXPECT_NE(Shortcut(7, 768), Shortcut(7, 256));
    EXPECT_NE(Shortcut(7, 256), Shortcut(8, 256));
    EXPECT_EQ(qHash(Shortcut(7, 768)), qHash(Shortcut(7, 768)));
    std::unordered_set<Shortcut> set { Shortcut(7, 768), Shortcut(7, 768), Shortcut(8, 768) };
    EXPECT_EQ(set.size(), 2u);
}

TEST(Key, Has113NamedConstantsWithDistinctCodes)
{
    EXPECT_EQ(namedKeys().size(), 113u);
    std::set<int64_t> codes;
    std::set<std::string> names;
    for (const NamedKey &named : namedKeys()) {
        codes.insert(named.key.rawValue);
        names.insert(named.name);
    }
    EXPECT_EQ(codes.size(), 113u);
    EXPECT_EQ(names.size(), 113u);
    EXPECT_EQ(Key::a.rawValue, 0);
    EXPECT_EQ(Key::x.rawValue, 7);
    EXPECT_EQ(Key::return_.rawValue, 36);
    EXPECT_EQ(Key::delete_.rawValue, 51);
    EXPECT_EQ(Key::function.rawValue, 63);
    EXPECT_EQ(Key::f20.rawValue, 90);
    EXPECT_EQ(Key::keypadPlus.rawValue, 69);
    EXPECT_EQ(Key(12345).rawValue, 12345);
    EXPECT_TRUE(names.count("return") && names.count("delete"));
}

TEST(KeyCodeMap, LinksProgramCodesToEvdevPositions)
{
    const std::pair<Key, int> examples[] = {
        { Key::a, KEY_A },
        { Key::x, KEY_X },
        { Key::return_, KEY_ENTER },
        { Key::f5, KEY_F5 },
        { Key::keypadEnter, KEY_KPENTER },
        { Key::command, KEY_LEFTMETA },
        { Key::rightCommand, KEY_RIGHTMETA },
        { Key::option, KEY_LEFTALT },
        { Key::delete_, KEY_BACKSPACE },
        { Key::deleteForward, KEY_DELETE },
        { Key::f20, KEY_F20 },
        { Key::backtick, KEY_GRAVE },
    };
    for (const auto &[key, evdev] : examples) {
        EXPECT_EQ(KeyCodeMap::evdevCodeForKeyCode(key.rawValue), evdev) << key.rawValue;
        EXPECT_EQ(KeyCodeMap::xKeycodeForKeyCode(key.rawValue), static_cast<uint32_t>(evdev + 8));
        EXPECT_EQ(KeyCodeMap::keyCodeForEvdevCode(evdev), key.rawValue);
        EXPECT_EQ(KeyCodeMap::keyCodeForXKeycode(evdev + 8), key.rawValue);
    }
}

TEST(KeyCodeMap, EveryNamedKeyButFunctionRoundTrips)
{
    for (const NamedKey &named : namedKeys()) {
        const std::optional<uint32_t> x = KeyCodeMap::xKeycodeForKeyCode(named.key.rawValue);
        if (named.key == Key::function) {
            EXPECT_FALSE(x);
            continue;
        }
        ASSERT_TRUE(x) << named.name;
        EXPECT_LE(*x, 255u);
        EXPECT_EQ(KeyCodeMap::keyCodeForXKeycode(*x), named.key.rawValue) << named.name;
    }
}

TEST(KeyCodeMap, UnknownCodes_GiveNothing)
{
    for (int64_t code : { INT64_C(-1), INT64_C(52), INT64_C(63), INT64_C(128), INT64_C(1) << 40 })
        EXPECT_FALSE(KeyCodeMap::xKeycodeForKeyCode(code)) << code;
    for (uint32_t x : { 0u, 7u, 256u, 100000u, static_cast<uint32_t>(KEY_SYSRQ + 8) })
        EXPECT_FALSE(KeyCodeMap::keyCodeForXKeycode(x)) << x;
    EXPECT_GE(KeyCodeMap::size(), 112);
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
