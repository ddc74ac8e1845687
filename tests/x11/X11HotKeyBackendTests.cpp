#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/Registry.h"
#include "KeyboardShortcuts/x11/X11HotKeyBackend.h"
#include "capture/x11/X11ScreenAccess.h"
#include "fakes/ScopedEnv.h"
#include "platform/InMemoryUserDefaults.h"
#include "x11/XTestInput.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QMenu>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>
// xkb.h names a struct member "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

using namespace KeyboardShortcuts;
using namespace Keysym;

namespace {

constexpr uint32_t keyCodeX = 7; // the program's (positional) key code of X
constexpr uint32_t shiftCommand = 0x300;
constexpr uint32_t signature = 0x474c5957;
constexpr uint32_t hotKeyId = 1;
constexpr xcb_keysym_t keysymX = 0x78;
constexpr uint16_t shiftSuper = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4;

class X11HotKeyBackendTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(other.isValid());
        ASSERT_TRUE(backend.isConnected());
        ASSERT_TRUE(backend.installEventHandler([this](const HotKeyEvent &event) {
            events.push_back(event);
            return 0;
        }));
        backend.setHotKeyEventsEnabled(true);
        focused = other.takeFocus();
    }
    void TearDown() override { resetLocks(); }
    // Locks left on would change the next key presses.
    void resetLocks()
    {
        if (other.modifierState() & XCB_MOD_MASK_LOCK)
            other.tapKey(capsLock);
        if (other.modifierState() & backend.lockModifierMask() & ~XCB_MOD_MASK_LOCK)
            other.tapKey(numLock);
    }
    void registerShiftSuperX()
    {
        ASSERT_EQ(backend.registerHotKey(keyCodeX, shiftCommand, signature, hotKeyId, reference), 0);
        ASSERT_NE(reference, 0u);
    }
    void pressShiftSuperX()
    {
        for (xcb_keysym_t key : { shiftL, superL, keysymX })
            other.down(key);
    }
    // The modifiers go up first, as people tend to let go of them.
    void releaseShiftSuperX()
    {
        for (xcb_keysym_t key : { shiftL, superL, keysymX })
            other.up(key);
    }
    bool waitForEventCount(size_t count)
    {
        return QTest::qWaitFor([&] { return events.size() >= count; }, 2000);
    }
    static bool is(const HotKeyEvent &event, int kind)
    {
        return event.kind == kind && event.signature == signature && event.id == hotKeyId;
    }
    // A full press and release of the hot key, held for holdMs, gives exactly these two events;
    // the other program keeps the focus and hears nothing of it.
    void expectOnePressThenOneRelease(int holdMs = 0)
    {
        events.clear();
        other.takeKeyPresses(0);
        pressShiftSuperX();
        ASSERT_TRUE(waitForEventCount(1));
        QTest::qWait(holdMs);
        releaseShiftSuperX();
        ASSERT_TRUE(waitForEventCount(2));
        QTest::qWait(200);
        ASSERT_EQ(events.size(), 2u);
        EXPECT_TRUE(is(events[0], HotKeyEventKind::hotKeyPressed));
        EXPECT_TRUE(is(events[1], HotKeyEventKind::hotKeyReleased));
        EXPECT_EQ(other.takeKeyPresses(other.keycodeOf(keysymX)), 0);
        EXPECT_EQ(other.focus(), focused);
    }
    bool xIsFreeForOthers() { return other.grab(other.keycodeOf(keysymX), shiftSuper); }

    XTestInput other;
    xcb_window_t focused = XCB_NONE;
    X11HotKeyBackend backend;
    HotKeyBackend::Reference reference = 0;
    std::vector<HotKeyEvent> events;
};

// The modifiers going up first is not the hot key going up.
TEST_F(X11HotKeyBackendTest, ReleaseIsTheKeyGoingUpNotTheModifiers)
{
    registerShiftSuperX();
    pressShiftSuperX();
    ASSERT_TRUE(waitForEventCount(1));
    EXPECT_EQ(other.modifierState() & shiftSuper, shiftSuper);
    other.up(shiftL);
    other.up(superL);
    QTest::qWait(200);
    ASSERT_EQ(events.size(), 1u);
    other.up(keysymX);
    ASSERT_TRUE(waitForEventCount(2));
    EXPECT_TRUE(is(events[1], HotKeyEventKind::hotKeyReleased));
}

// Whatever the locks, however long it is held (the server auto-repeats past 660 ms), and
// after what a desktop changes meanwhile, a press and release of the hot key is one of each
// and reaches us, not the focused window of another program.
TEST_F(X11HotKeyBackendTest, OnePressAndOneRelease_WhateverTheLocksTheHoldAndTheChanges)
{
    registerShiftSuperX();
    ASSERT_TRUE(backend.hasDetectableAutoRepeat());
    const auto mask = [this](uint16_t bits) { return other.modifierState() & bits; };
    const struct {
        const char *name;
        std::vector<xcb_keysym_t> locks;
        uint16_t lockMask;
        int holdMs;
    } holds[] = {
        { "held past the auto-repeat delay", {}, 0, 1200 },
        { "the next press after a hold is a new one", {}, 0, 0 },
        { "Num Lock on", { numLock }, XCB_MOD_MASK_2, 0 },
        { "Caps Lock on", { capsLock }, XCB_MOD_MASK_LOCK, 0 },
        { "both on", { numLock, capsLock }, XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK, 0 },
    };
    for (const auto &row : holds) {
        SCOPED_TRACE(row.name);
        for (const xcb_keysym_t lock : row.locks)
            other.tapKey(lock);
        ASSERT_EQ(mask(XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK), row.lockMask);
        expectOnePressThenOneRelease(row.holdMs);
        resetLocks();
    }
    const struct {
        const char *name;
        std::function<void()> before;
    } changes[] = {
        { "the same combination again is refused",
            [&] {
                HotKeyBackend::Reference second = 0;
                EXPECT_EQ(
                    backend.registerHotKey(keyCodeX, shiftCommand, signature, 2, second), hotKeyExistsStatus);
            } },
        { "events disabled meanwhile deliver nothing",
            [&] {
                backend.setHotKeyEventsEnabled(false);
                pressShiftSuperX();
                releaseShiftSuperX();
                QTest::qWait(300);
                EXPECT_TRUE(events.empty());
                backend.setHotKeyEventsEnabled(true);
            } },
        { "unregistered while held, registered anew",
            [&] {
                pressShiftSuperX();
                ASSERT_TRUE(waitForEventCount(1));
                backend.unregisterHotKey(reference);
                releaseShiftSuperX();
                QTest::qWait(200);
                EXPECT_EQ(events.size(), 1u);
                registerShiftSuperX();
            } },
        // The reading of other maps: X11ModifierMapTests.
        { "Super moved to Mod3",
            [&] {
                ASSERT_EQ(backend.superModifierMask(), XCB_MOD_MASK_4);
                ASSERT_EQ(QProcess::execute(u"xmodmap"_s,
                              { u"-e"_s, u"remove mod4 = Super_L Super_R"_s, u"-e"_s,
                                  u"add mod3 = Super_L Super_R"_s }),
                    0);
                ASSERT_TRUE(
                    QTest::qWaitFor([&] { return backend.superModifierMask() == XCB_MOD_MASK_3; }, 2000));
                EXPECT_EQ(backend.altModifierMask(), XCB_MOD_MASK_1);
                other.down(superL);
                EXPECT_EQ(mask(XCB_MOD_MASK_3 | XCB_MOD_MASK_4), XCB_MOD_MASK_3);
                other.up(superL);
            } },
    };
    for (const auto &row : changes) {
        SCOPED_TRACE(row.name);
        events.clear();
        row.before();
        expectOnePressThenOneRelease();
    }
}

// What delivers nothing, and what leaves the combination free for other programs.
TEST_F(X11HotKeyBackendTest, NothingIsDeliveredForOtherCombinationsOrAfterUnregistering)
{
    registerShiftSuperX();
    // Super+X alone, and Shift+Super+Control+X, are other combinations.
    other.down(superL);
    other.tapKey(keysymX);
    other.up(superL);
    other.down(controlL);
    pressShiftSuperX();
    releaseShiftSuperX();
    other.up(controlL);
    QTest::qWait(300);
    EXPECT_TRUE(events.empty());

    // A handler may unregister the hot key it hears: its release is not delivered.
    ASSERT_TRUE(backend.installEventHandler([this](const HotKeyEvent &event) {
        events.push_back(event);
        backend.unregisterHotKey(reference);
        return 0;
    }));
    pressShiftSuperX();
    ASSERT_TRUE(waitForEventCount(1));
    releaseShiftSuperX();
    QTest::qWait(300);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(is(events[0], HotKeyEventKind::hotKeyPressed));
    backend.unregisterHotKey(reference); // unknown by now: nothing happens
    backend.unregisterHotKey(4711);
    pressShiftSuperX();
    releaseShiftSuperX();
    QTest::qWait(300);
    EXPECT_EQ(events.size(), 1u);

    // Keys and modifiers without an X11 equivalent are invalid, and nothing of them is held.
    HotKeyBackend::Reference refused = 0;
    EXPECT_EQ(backend.registerHotKey(keyCodeX, shiftCommand | 0x20000, signature, hotKeyId, refused),
        hotKeyInvalidStatus);
    EXPECT_EQ(
        backend.registerHotKey(0xffff, shiftCommand, signature, hotKeyId, refused), hotKeyInvalidStatus);
    EXPECT_EQ(refused, 0u);
    EXPECT_TRUE(xIsFreeForOthers());
}

TEST_F(X11HotKeyBackendTest, ACombinationHeldByAnotherClientIsRefusedAndStaysTheirs)
{
    const xcb_keycode_t x = other.keycodeOf(keysymX);
    ASSERT_TRUE(other.grab(x, shiftSuper));
    HotKeyBackend::Reference refused = 0;
    EXPECT_EQ(
        backend.registerHotKey(keyCodeX, shiftCommand, signature, hotKeyId, refused), hotKeyExistsStatus);
    EXPECT_EQ(refused, 0u);
    other.takeKeyPresses(0);
    pressShiftSuperX();
    releaseShiftSuperX();
    QTest::qWait(300);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(other.takeKeyPresses(x), 1);
    // The lock combinations the backend got before the refusal were given back.
    const uint16_t locks = backend.lockModifierMask();
    ASSERT_NE(locks, 0);
    EXPECT_TRUE(other.grab(x, shiftSuper | locks));
}

// A server that sends a held key as release and press pairs (detectable auto-repeat refused):
// the pairs are recognised by their shared time stamp, so the hold is one press and one release.
TEST_F(X11HotKeyBackendTest, HeldKeyWithoutDetectableAutoRepeatIsStillOnePress)
{
    X11HotKeyBackend plain(nullptr, nullptr, X11HotKeyBackend::AutoRepeat::asSent);
    ASSERT_FALSE(plain.hasDetectableAutoRepeat());
    std::vector<HotKeyEvent> heard;
    plain.installEventHandler([&](const HotKeyEvent &event) {
        heard.push_back(event);
        return 0;
    });
    plain.setHotKeyEventsEnabled(true);
    ASSERT_EQ(plain.registerHotKey(keyCodeX, shiftCommand, signature, hotKeyId, reference), 0);
    pressShiftSuperX();
    QTest::qWait(1200);
    releaseShiftSuperX();
    QTest::qWait(300);
    EXPECT_GT(plain.autoRepeatCount(), 5); // the server did repeat
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_TRUE(is(heard[0], HotKeyEventKind::hotKeyPressed));
    EXPECT_TRUE(is(heard[1], HotKeyEventKind::hotKeyReleased));
}

// A new layout is read when the server announces it: the key in the Y position types Z on a
// German layout, and a recorder hears of it.
TEST_F(X11HotKeyBackendTest, NewKeymapIsReadAgain)
{
    refreshKeyboardLayout();
    ASSERT_EQ(keyToCharacter(Key::y.rawValue), u"y"_s);
    int announced = 0;
    QObject::connect(&Notifier::instance(), &Notifier::keyboardLayoutDidChange, [&] { ++announced; });
    ASSERT_EQ(QProcess::execute(u"setxkbmap"_s, { u"de"_s }), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return announced > 0; }, 3000));
    EXPECT_EQ(keyToCharacter(Key::y.rawValue), u"z"_s);
    EXPECT_EQ(Shortcut(Key::y, ModifierFlags::control).displayText(), u"Ctrl+Z"_s);
    // The grabs still work with the new keymap.
    registerShiftSuperX();
    expectOnePressThenOneRelease();

    // A keyboard with two layouts: switching between them (the group) is followed too.
    ASSERT_EQ(QProcess::execute(u"setxkbmap"_s, { u"us,de"_s }), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return keyToCharacter(Key::y.rawValue) == u"y"_s; }, 3000));
    xcb_connection_t *c = other.connection();
    XcbReply<xcb_xkb_use_extension_reply_t>(
        xcb_xkb_use_extension_reply(c, xcb_xkb_use_extension(c, 1, 0), nullptr));
    for (const auto &[group, typed] : { std::pair(1, "z"), std::pair(0, "y") }) {
        SCOPED_TRACE(group);
        announced = 0;
        xcb_xkb_latch_lock_state(c, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, uint8_t(group), 0, 0, 0);
        other.sync();
        ASSERT_TRUE(QTest::qWaitFor([&] { return announced > 0; }, 3000));
        EXPECT_EQ(keyToCharacter(Key::y.rawValue), QString::fromLatin1(typed));
    }
    QProcess::execute(u"setxkbmap"_s, { u"us"_s });
}

// Without a server: refusals and no screen access rather than a crash.
TEST(X11HotKeyBackend, NoServerRefusesRatherThanCrashes)
{
    X11HotKeyBackend backend(":4711");
    EXPECT_FALSE(backend.isConnected());
    HotKeyBackend::Reference reference = 0;
    EXPECT_LT(backend.registerHotKey(keyCodeX, shiftCommand, signature, hotKeyId, reference), 0);
    EXPECT_EQ(reference, 0u);
    EXPECT_FALSE(backend.installEventHandler([](const HotKeyEvent &) { return 0; }));
    backend.unregisterHotKey(1);
    backend.setHotKeyEventsEnabled(true);
    const ScopedEnv display("DISPLAY", QByteArray(":4711"));
    EXPECT_FALSE(X11ScreenAccess().preflight());
}

// The whole shortcut path on a real server: stored shortcut, registry, layer and back-end.
class GlobalShortcutsX11Test : public X11HotKeyBackendTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(other.isValid());
        setUserDefaults(&defaults);
        Registry::install(&registry);
    }
    void TearDown() override
    {
        resetLocks();
        Registry::install(nullptr);
        setUserDefaults(nullptr);
    }
    InMemoryUserDefaults defaults;
    X11HotKeyBackend shortcutBackend;
    Registry registry { shortcutBackend };
};

// With a popup open (a menu, a combo box's list) the popup has the keyboard: the grabs are let
// go and the key events matched instead, and the release of X ends the hot key whichever keys
// went up before it; once it closes the grab is made again under the same id.
TEST_F(GlobalShortcutsX11Test, WithAPopupOpenTheKeyUpRunsInAnyReleaseOrder)
{
    const Name captureText(u"captureText"_s, Shortcut(7, 0x300));
    int downs = 0, ups = 0;
    onKeyDown(captureText, [&] { ++downs; });
    onKeyUp(captureText, [&] { ++ups; });
    const auto id = registry.layer().idOf(Shortcut(7, 0x300));
    QWidget window;
    window.show();
    QComboBox combo(&window);
    combo.addItems({ u"English"_s, u"Deutsch"_s });
    QMenu menu;
    menu.addAction(u"Item"_s);
    const struct {
        const char *order;
        std::vector<xcb_keysym_t> releases;
        bool combo;
    } rows[] = {
        { "X first", { keysymX, shiftL, superL }, false },
        { "Shift and Super first", { shiftL, superL, keysymX }, false },
        { "Super, X, Shift, in a combo box's list", { superL, keysymX, shiftL }, true },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.order);
        QWidget *popup = row.combo ? combo.view()->window() : &menu;
        row.combo ? combo.showPopup() : menu.popup(QPoint(100, 100));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(popup));
        ASSERT_TRUE(QTest::qWaitFor([&] { return registry.isMenuOpen(); }, 1000));
        EXPECT_TRUE(registry.layer().isMenuKeyMonitorInstalled());
        EXPECT_TRUE(other.grab(other.keycodeOf(keysymX), shiftSuper)) << "the grab was kept";
        xcb_ungrab_key(other.connection(), other.keycodeOf(keysymX), other.root(), shiftSuper);
        QTest::qWait(100); // the popup's keyboard grab
        downs = ups = 0;
        pressShiftSuperX();
        for (const xcb_keysym_t key : row.releases)
            other.up(key);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ups == 1; }, 1000));
        EXPECT_EQ(downs, 1);
        QTest::qWait(100);
        EXPECT_EQ(ups, 1);
        // A key that is no hot key goes to the popup as usual.
        EXPECT_EQ(
            registry.layer().handleRawKeyEvent(HotKeyEventKind::rawKeyUp, 8, 0x100), eventNotHandledStatus);
        if (row.combo)
            combo.hidePopup();
        else
            menu.hide();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !registry.isMenuOpen(); }, 1000));
        EXPECT_EQ(registry.layer().idOf(Shortcut(7, 0x300)), id);
        EXPECT_FALSE(registry.layer().isMenuKeyMonitorInstalled());
        EXPECT_FALSE(xIsFreeForOthers());
    }
}

} // namespace
