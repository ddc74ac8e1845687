#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/Registry.h"
#include "KeyboardShortcuts/x11/X11HotKeyBackend.h"
#include "platform/InMemoryUserDefaults.h"

#include "platform/x11/XcbPointers.h"
#include "x11/XTestInput.h"

#include <QMenu>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>
#include <xcb/xtest.h>
// xkb.h names a struct member "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>
#include <vector>

using namespace KeyboardShortcuts;

namespace {

constexpr uint32_t keyCodeX = 7; // the program's (positional) key code of X
constexpr uint32_t shiftCommand = 0x300;
constexpr uint32_t signature = 0x474c5957;
constexpr uint32_t hotKeyId = 1;

constexpr xcb_keysym_t keysymX = 0x78;
constexpr xcb_keysym_t keysymShiftL = 0xffe1;
constexpr xcb_keysym_t keysymSuperL = 0xffeb;
constexpr xcb_keysym_t keysymNumLock = 0xff7f;
constexpr xcb_keysym_t keysymCapsLock = 0xffe5;

constexpr uint16_t shiftSuper = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4;

// A second client of the test's server: types through XTest, reads the modifier state and
// plays the other programs on the desktop.
class OtherClient {
public:
    OtherClient()
        : m_connection(connectToDisplay())
    {
        if (!m_connection)
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(c())).data->root;
    }

    bool isValid() const { return m_connection != nullptr; }
    xcb_connection_t *c() const { return m_connection.get(); }
    xcb_window_t root() const { return m_root; }

    xcb_keycode_t keycodeOf(xcb_keysym_t keysym) const { return keycodeOfKeysym(c(), keysym); }

    // Waits for the server to have handled it, then gives the backend's socket a chance.
    void key(uint8_t type, xcb_keysym_t keysym, int settleMs = 20)
    {
        xcb_test_fake_input(c(), type, keycodeOf(keysym), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        sync();
        QTest::qWait(settleMs);
    }
    void down(xcb_keysym_t keysym) { key(XCB_KEY_PRESS, keysym); }
    void up(xcb_keysym_t keysym) { key(XCB_KEY_RELEASE, keysym); }
    void tap(xcb_keysym_t keysym)
    {
        down(keysym);
        up(keysym);
    }

    void sync() const
    {
        XcbReply<xcb_get_input_focus_reply_t>(
            xcb_get_input_focus_reply(c(), xcb_get_input_focus(c()), nullptr));
    }

    // The logical modifier state of the core keyboard, locks included.
    uint16_t modifierState() const
    {
        XcbReply<xcb_query_pointer_reply_t> pointer(
            xcb_query_pointer_reply(c(), xcb_query_pointer(c(), m_root), nullptr));
        return pointer ? pointer->mask & 0xff : 0;
    }

    // A mapped top-level window with the input focus, listening to the keyboard.
    xcb_window_t takeFocus()
    {
        const xcb_window_t window = xcb_generate_id(c());
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c())).data;
        const uint32_t values[]
            = { XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE | XCB_EVENT_MASK_STRUCTURE_NOTIFY };
        xcb_create_window(c(), XCB_COPY_FROM_PARENT, window, m_root, 0, 0, 200, 200, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, values);
        xcb_map_window(c(), window);
        xcb_flush(c());
        for (int i = 0; i < 100; ++i) {
            XcbReply<xcb_get_window_attributes_reply_t> attributes(
                xcb_get_window_attributes_reply(c(), xcb_get_window_attributes(c(), window), nullptr));
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
                break;
            QTest::qWait(10);
        }
        xcb_set_input_focus(c(), XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        sync();
        return window;
    }

    xcb_window_t focus() const
    {
        XcbReply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(c(), xcb_get_input_focus(c()), nullptr));
        return focus ? focus->focus : XCB_NONE;
    }

    // Key presses of the given keycode this client received since the last call.
    int takeKeyPresses(xcb_keycode_t keycode)
    {
        int count = 0;
        while (xcb_generic_event_t *event = xcb_poll_for_event(c())) {
            XcbReply<xcb_generic_event_t> holder(event);
            if ((event->response_type & 0x7f) == XCB_KEY_PRESS
                && reinterpret_cast<xcb_key_press_event_t *>(event)->detail == keycode)
                ++count;
        }
        return count;
    }

    // Another program's own grab of a combination; true when the server granted it.
    bool grab(xcb_keycode_t keycode, uint16_t modifiers)
    {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(c(),
            xcb_grab_key_checked(
                c(), 1, m_root, modifiers, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
        return error == nullptr;
    }

    // Moves every key of one modifier row to another; the server's answer (0 is success).
    int moveModifierKeys(int fromRow, int toRow)
    {
        XcbReply<xcb_get_modifier_mapping_reply_t> map(
            xcb_get_modifier_mapping_reply(c(), xcb_get_modifier_mapping(c()), nullptr));
        if (!map)
            return -1;
        const int per = map->keycodes_per_modifier;
        const xcb_keycode_t *keycodes = xcb_get_modifier_mapping_keycodes(map.get());
        std::vector<std::vector<xcb_keycode_t>> rows(8);
        for (int row = 0; row < 8; ++row) {
            for (int i = 0; i < per; ++i) {
                if (keycodes[row * per + i])
                    rows[row].push_back(keycodes[row * per + i]);
            }
        }
        rows[toRow].insert(rows[toRow].end(), rows[fromRow].begin(), rows[fromRow].end());
        rows[fromRow].clear();
        size_t newPer = 1;
        for (const auto &row : rows)
            newPer = std::max(newPer, row.size());
        std::vector<xcb_keycode_t> flat(8 * newPer, 0);
        for (int row = 0; row < 8; ++row)
            std::copy(rows[row].begin(), rows[row].end(), flat.begin() + row * newPer);
        XcbReply<xcb_set_modifier_mapping_reply_t> reply(xcb_set_modifier_mapping_reply(
            c(), xcb_set_modifier_mapping(c(), uint8_t(newPer), flat.data()), nullptr));
        return reply ? reply->status : -1;
    }

private:
    XcbConnection m_connection;
    xcb_window_t m_root = XCB_NONE;
};

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
    }
    // Locks left on would change the next test's key presses when the tests share a server.
    void TearDown() override { resetLocks(); }
    void resetLocks()
    {
        if (other.modifierState() & XCB_MOD_MASK_LOCK)
            other.tap(keysymCapsLock);
        const uint16_t numLock = backend.lockModifierMask() & ~XCB_MOD_MASK_LOCK;
        if (other.modifierState() & numLock)
            other.tap(keysymNumLock);
    }

    void registerShiftSuperX()
    {
        ASSERT_EQ(backend.registerHotKey(keyCodeX, shiftCommand, signature, hotKeyId, reference), 0);
        ASSERT_NE(reference, 0u);
    }

    void pressShiftSuperX()
    {
        other.down(keysymShiftL);
        other.down(keysymSuperL);
        other.down(keysymX);
    }
    // The modifiers go up first, as people tend to let go of them.
    void releaseShiftSuperX()
    {
        other.up(keysymShiftL);
        other.up(keysymSuperL);
        other.up(keysymX);
    }

    bool waitForEventCount(size_t count, int timeoutMs = 2000)
    {
        return QTest::qWaitFor([&] { return events.size() >= count; }, timeoutMs);
    }

    static bool isPress(const HotKeyEvent &event)
    {
        return event.kind == HotKeyEventKind::hotKeyPressed && event.signature == signature
            && event.id == hotKeyId;
    }
    static bool isRelease(const HotKeyEvent &event)
    {
        return event.kind == HotKeyEventKind::hotKeyReleased && event.signature == signature
            && event.id == hotKeyId;
    }

    // A full press and release of the hot key gives exactly these two events.
    void expectOnePressThenOneRelease()
    {
        pressShiftSuperX();
        ASSERT_TRUE(waitForEventCount(1));
        releaseShiftSuperX();
        ASSERT_TRUE(waitForEventCount(2));
        QTest::qWait(200);
        ASSERT_EQ(events.size(), 2u);
        EXPECT_TRUE(isPress(events[0]));
        EXPECT_TRUE(isRelease(events[1]));
    }

    OtherClient other;
    X11HotKeyBackend backend;
    HotKeyBackend::Reference reference = 0;
    std::vector<HotKeyEvent> events;
};

TEST_F(X11HotKeyBackendTest, PressAndReleaseArriveWhileAnotherClientHasTheFocus)
{
    registerShiftSuperX();
    const xcb_window_t window = other.takeFocus();
    ASSERT_EQ(other.focus(), window);
    other.takeKeyPresses(0);

    pressShiftSuperX();
    ASSERT_TRUE(waitForEventCount(1));
    EXPECT_EQ(other.modifierState() & shiftSuper, shiftSuper);
    QTest::qWait(200);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(isPress(events[0]));

    // The modifiers going up is not the hot key going up.
    other.up(keysymShiftL);
    other.up(keysymSuperL);
    QTest::qWait(200);
    EXPECT_EQ(events.size(), 1u);

    other.up(keysymX);
    ASSERT_TRUE(waitForEventCount(2));
    QTest::qWait(200);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(isRelease(events[1]));

    // The grab took the key away from the focused window.
    EXPECT_EQ(other.takeKeyPresses(other.keycodeOf(keysymX)), 0);
    EXPECT_EQ(other.focus(), window);
}

TEST_F(X11HotKeyBackendTest, HoldingTheKeysGivesOnePressAndOneRelease)
{
    registerShiftSuperX();
    ASSERT_TRUE(backend.hasDetectableAutoRepeat());
    pressShiftSuperX();
    ASSERT_TRUE(waitForEventCount(1));
    // Long enough for the server's auto-repeat (660 ms delay, 25 Hz by default); Xvfb repeats
    // keys held through XTest.
    QTest::qWait(1200);
    EXPECT_EQ(events.size(), 1u);
    releaseShiftSuperX();
    ASSERT_TRUE(waitForEventCount(2));
    QTest::qWait(200);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(isPress(events[0]));
    EXPECT_TRUE(isRelease(events[1]));

    // The repeats ended with the release: the next press is a new one.
    events.clear();
    expectOnePressThenOneRelease();
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

TEST_F(X11HotKeyBackendTest, TheSameCombinationTwiceIsRefused)
{
    registerShiftSuperX();
    HotKeyBackend::Reference second = 0;
    EXPECT_EQ(backend.registerHotKey(keyCodeX, shiftCommand, signature, 2, second), hotKeyExistsStatus);
    expectOnePressThenOneRelease();
}

TEST_F(X11HotKeyBackendTest, NumLockOnStillFires)
{
    registerShiftSuperX();
    other.tap(keysymNumLock);
    ASSERT_EQ(other.modifierState() & XCB_MOD_MASK_2, XCB_MOD_MASK_2);
    expectOnePressThenOneRelease();
}

TEST_F(X11HotKeyBackendTest, CapsLockOnStillFires)
{
    registerShiftSuperX();
    other.tap(keysymCapsLock);
    ASSERT_EQ(other.modifierState() & XCB_MOD_MASK_LOCK, XCB_MOD_MASK_LOCK);
    expectOnePressThenOneRelease();
}

TEST_F(X11HotKeyBackendTest, NumLockAndCapsLockOnTogetherStillFire)
{
    registerShiftSuperX();
    other.tap(keysymNumLock);
    other.tap(keysymCapsLock);
    ASSERT_EQ(
        other.modifierState() & (XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK), XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK);
    expectOnePressThenOneRelease();
}

TEST_F(X11HotKeyBackendTest, OtherModifiersDoNotFire)
{
    registerShiftSuperX();
    // Super+X alone, and Shift+Super+Control+X, are other combinations.
    other.down(keysymSuperL);
    other.tap(keysymX);
    other.up(keysymSuperL);
    other.down(0xffe3); // Control_L
    pressShiftSuperX();
    releaseShiftSuperX();
    other.up(0xffe3);
    QTest::qWait(300);
    EXPECT_TRUE(events.empty());
}

TEST_F(X11HotKeyBackendTest, AnUnregisteredHotKeyDeliversNothingAndIsFreeForOthers)
{
    registerShiftSuperX();
    backend.unregisterHotKey(reference);
    backend.unregisterHotKey(reference); // unknown by now: nothing happens
    backend.unregisterHotKey(4711);
    pressShiftSuperX();
    releaseShiftSuperX();
    QTest::qWait(300);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(other.grab(other.keycodeOf(keysymX), shiftSuper));
}

TEST_F(X11HotKeyBackendTest, UnregisteringTheActiveHotKeyEndsItsPress)
{
    registerShiftSuperX();
    pressShiftSuperX();
    ASSERT_TRUE(waitForEventCount(1));
    backend.unregisterHotKey(reference);
    releaseShiftSuperX();
    QTest::qWait(200);
    EXPECT_EQ(events.size(), 1u);

    // Registered anew, its first press is a press, not a repeat of the old one.
    events.clear();
    registerShiftSuperX();
    expectOnePressThenOneRelease();
}

TEST_F(X11HotKeyBackendTest, TheHandlerMayUnregisterTheHotKeyItHears)
{
    registerShiftSuperX();
    ASSERT_TRUE(backend.installEventHandler([this](const HotKeyEvent &event) {
        events.push_back(event);
        backend.unregisterHotKey(reference);
        return 0;
    }));
    pressShiftSuperX();
    ASSERT_TRUE(waitForEventCount(1));
    releaseShiftSuperX();
    QTest::qWait(200);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(isPress(events[0]));
    EXPECT_TRUE(other.grab(other.keycodeOf(keysymX), shiftSuper));
}

TEST_F(X11HotKeyBackendTest, DisabledEventsAreNotDelivered)
{
    registerShiftSuperX();
    backend.setHotKeyEventsEnabled(false);
    pressShiftSuperX();
    releaseShiftSuperX();
    QTest::qWait(300);
    EXPECT_TRUE(events.empty());

    backend.setHotKeyEventsEnabled(true);
    expectOnePressThenOneRelease();
}

TEST_F(X11HotKeyBackendTest, KeysAndModifiersWithoutAnX11EquivalentAreInvalid)
{
    HotKeyBackend::Reference refused = 0;
    EXPECT_EQ(backend.registerHotKey(keyCodeX, shiftCommand | 0x20000, signature, hotKeyId, refused),
        hotKeyInvalidStatus);
    EXPECT_EQ(
        backend.registerHotKey(0xffff, shiftCommand, signature, hotKeyId, refused), hotKeyInvalidStatus);
    EXPECT_EQ(refused, 0u);
    // Nothing of the refused one is held.
    EXPECT_TRUE(other.grab(other.keycodeOf(keysymX), shiftSuper));
}

TEST_F(X11HotKeyBackendTest, MovingNumLockToAnotherModifierKeepsTheHotKeyWorking)
{
    registerShiftSuperX();
    ASSERT_EQ(backend.lockModifierMask() & (XCB_MOD_MASK_2 | XCB_MOD_MASK_3), XCB_MOD_MASK_2);

    ASSERT_EQ(other.moveModifierKeys(4, 5), 0); // Mod2 → Mod3
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (backend.lockModifierMask() & (XCB_MOD_MASK_2 | XCB_MOD_MASK_3)) == XCB_MOD_MASK_3; },
        2000));

    other.tap(keysymNumLock);
    ASSERT_EQ(other.modifierState() & (XCB_MOD_MASK_2 | XCB_MOD_MASK_3), XCB_MOD_MASK_3);
    expectOnePressThenOneRelease();
}

TEST_F(X11HotKeyBackendTest, SuperOnAnotherModifierIsFollowed)
{
    registerShiftSuperX();
    ASSERT_EQ(backend.superModifierMask(), XCB_MOD_MASK_4);
    ASSERT_EQ(other.moveModifierKeys(6, 5), 0); // Mod4 → Mod3
    ASSERT_TRUE(QTest::qWaitFor([&] { return backend.superModifierMask() == XCB_MOD_MASK_3; }, 2000));
    EXPECT_EQ(backend.altModifierMask(), XCB_MOD_MASK_1);

    other.down(keysymSuperL);
    EXPECT_EQ(other.modifierState() & (XCB_MOD_MASK_3 | XCB_MOD_MASK_4), XCB_MOD_MASK_3);
    other.up(keysymSuperL);
    expectOnePressThenOneRelease();
    other.moveModifierKeys(5, 6);
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
    EXPECT_TRUE(isPress(heard[0]));
    EXPECT_TRUE(isRelease(heard[1]));
}

// A new layout is read when the server announces it: the key in the Y position types Z on a
// German layout, and a recorder hears of it.
TEST_F(X11HotKeyBackendTest, NewKeymapIsReadAgain)
{
    refreshKeyboardLayout();
    const Shortcut controlY(Key::y, ModifierFlags::control);
    ASSERT_EQ(keyToCharacter(Key::y.rawValue), QStringLiteral("y"));
    int announced = 0;
    QObject::connect(&Notifier::instance(), &Notifier::keyboardLayoutDidChange, [&] { ++announced; });
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), { QStringLiteral("de") }), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return announced > 0; }, 3000));
    EXPECT_EQ(keyToCharacter(Key::y.rawValue), QStringLiteral("z"));
    EXPECT_EQ(controlY.description(), QString::fromUtf16(u"\u2303Z"));
    // The grabs still work with the new keymap.
    registerShiftSuperX();
    expectOnePressThenOneRelease();

    // A keyboard with two layouts: switching between them (the group) is followed too.
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), { QStringLiteral("us,de") }), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return keyToCharacter(Key::y.rawValue) == QStringLiteral("y"); }, 3000));
    XcbReply<xcb_xkb_use_extension_reply_t>(
        xcb_xkb_use_extension_reply(other.c(), xcb_xkb_use_extension(other.c(), 1, 0), nullptr));
    for (const auto &[group, typed] : { std::pair(1, "z"), std::pair(0, "y") }) {
        SCOPED_TRACE(group);
        announced = 0;
        xcb_xkb_latch_lock_state(other.c(), XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, uint8_t(group), 0, 0, 0);
        other.sync();
        ASSERT_TRUE(QTest::qWaitFor([&] { return announced > 0; }, 3000));
        EXPECT_EQ(keyToCharacter(Key::y.rawValue), QString::fromLatin1(typed));
    }
    QProcess::execute(QStringLiteral("setxkbmap"), { QStringLiteral("us") });
}

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
}

} // namespace

namespace {

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

TEST_F(GlobalShortcutsX11Test, KeyUpHandlerRunsOnceAtTheReleaseEvenWhenHeld)
{
    const Name captureText(QStringLiteral("captureText"), Shortcut(7, 0x300));
    int ups = 0;
    onKeyUp(captureText, [&] { ++ups; });
    other.takeFocus();

    other.down(keysymShiftL);
    other.down(keysymNumLock); // Num Lock on does not matter
    other.up(keysymNumLock);
    other.down(keysymSuperL);
    other.down(keysymX);
    QTest::qWait(1200); // held: the server auto-repeats
    EXPECT_EQ(ups, 0);
    other.up(keysymShiftL);
    other.up(keysymSuperL);
    EXPECT_EQ(ups, 0);
    other.up(keysymX);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ups > 0; }, 2000));
    QTest::qWait(200);
    EXPECT_EQ(ups, 1);
}

// Two names store one combination; clearing or changing one leaves the other's hot key
// working, and its key-up handler runs.
TEST_F(GlobalShortcutsX11Test, ACombinationTwoNamesShareStaysWhileOneHoldsIt)
{
    const Shortcut shiftSuperX(7, 0x300);
    const Shortcut controlSuperX(7, 0x1100);
    const struct {
        const char *change;
        std::function<void(const Name &)> letGo;
    } rows[] = {
        { "cleared", [](const Name &name) { setShortcut(std::nullopt, name); } },
        { "changed", [&](const Name &name) { setShortcut(controlSuperX, name); } },
        { "handler removed", [](const Name &name) { removeHandler(name); } },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.change);
        const Name text(QStringLiteral("text"), shiftSuperX);
        const Name last(QStringLiteral("last"));
        setShortcut(shiftSuperX, text);
        setShortcut(shiftSuperX, last);
        int textUps = 0;
        onKeyUp(text, [&] { ++textUps; });
        onKeyUp(last, [] { });
        row.letGo(last);
        other.takeFocus();
        other.takeKeyPresses(0);
        pressShiftSuperX();
        releaseShiftSuperX();
        EXPECT_TRUE(QTest::qWaitFor([&] { return textUps == 1; }, 2000));
        EXPECT_EQ(other.takeKeyPresses(other.keycodeOf(keysymX)), 0) << "X reached the focused window";
        removeAllHandlers();
        setShortcut(std::nullopt, text);
        setShortcut(std::nullopt, last);
    }
}

// With a popup open the popup has the keyboard, and the key events are matched instead of
// the grabs: the release of X ends the hot key whichever keys went up before it.
TEST_F(GlobalShortcutsX11Test, WithAPopupOpenTheKeyUpRunsInAnyReleaseOrder)
{
    const Name captureText(QStringLiteral("captureText"), Shortcut(7, 0x300));
    int downs = 0, ups = 0;
    onKeyDown(captureText, [&] { ++downs; });
    onKeyUp(captureText, [&] { ++ups; });
    const struct {
        const char *order;
        std::vector<xcb_keysym_t> releases;
    } rows[] = {
        { "X first", { keysymX, keysymShiftL, keysymSuperL } },
        { "Shift and Super first", { keysymShiftL, keysymSuperL, keysymX } },
        { "Super, X, Shift", { keysymSuperL, keysymX, keysymShiftL } },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.order);
        QMenu menu;
        menu.addAction(QStringLiteral("Item"));
        menu.popup(QPoint(100, 100));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
        ASSERT_TRUE(QTest::qWaitFor([&] { return registry.isMenuOpen(); }, 1000));
        QTest::qWait(100); // the popup's keyboard grab
        downs = ups = 0;
        pressShiftSuperX();
        for (const xcb_keysym_t key : row.releases)
            other.up(key);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ups == 1; }, 1000));
        EXPECT_EQ(downs, 1);
        QTest::qWait(100);
        EXPECT_EQ(ups, 1);
        menu.close();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !registry.isMenuOpen(); }, 1000));
    }
}

TEST_F(GlobalShortcutsX11Test, CombinationHeldByAnotherClientPrintsTheErrorAndKeepsNoRecord)
{
    ASSERT_TRUE(other.grab(other.keycodeOf(keysymX), shiftSuper));
    testing::internal::CaptureStdout();
    const Name name(QStringLiteral("taken"), Shortcut(7, 0x300));
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(
        QString::fromStdString(printed), QStringLiteral("Error registering hotkey Shift+Super+X: -9878\n"));
    EXPECT_EQ(registry.layer().recordCount(), 0);
    EXPECT_EQ(registry.layer().lastHotKeyId(), 1);
}

} // namespace
