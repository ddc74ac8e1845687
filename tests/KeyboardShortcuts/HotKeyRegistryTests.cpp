#include "fakes/FakeShortcutDesktop.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

using namespace KeyboardShortcuts;

namespace {

const Shortcut shiftCommandX(7, 0x300);
const Shortcut commandC(8, 0x100);

class HotKeyRegistryTest : public ::testing::Test, public FakeShortcutDesktop { };

TEST_F(HotKeyRegistryTest, Dispatch_OneHotKeyServesEveryNameStoringIt)
{
    const Name first(QStringLiteral("first"));
    const Name second(QStringLiteral("second"));
    setShortcut(commandC, first);
    setShortcut(commandC, second);
    QStringList ran;
    onKeyUp(first, [&] { ran << QStringLiteral("first"); });
    onKeyUp(second, [&] { ran << QStringLiteral("second"); });
    EXPECT_EQ(backend.held.size(), 1u);

    backend.release(commandC);
    ran.sort();
    EXPECT_EQ(ran, (QStringList { QStringLiteral("first"), QStringLiteral("second") }));

    // Storing the combination a name holds already lets it go and takes it again: it stays held.
    setShortcut(commandC, first);
    EXPECT_TRUE(backend.isHeld(commandC));
    // Clearing one name keeps the combination for the other; clearing the last releases it.
    setShortcut(std::nullopt, first);
    EXPECT_TRUE(backend.isHeld(commandC));
    EXPECT_TRUE(registry.isEnabled(second));
    setShortcut(std::nullopt, second);
    EXPECT_FALSE(backend.isHeld(commandC));
}

TEST_F(HotKeyRegistryTest, Dispatch_ReadsStorageAtEveryPress)
{
    const Name name(QStringLiteral("name"));
    setShortcut(commandC, name);
    int ups = 0;
    onKeyUp(name, [&] { ++ups; });
    // Changed behind the registry's back: the old hot key no longer belongs to this name.
    defaults.setObject(name.storageKey(), QStringLiteral("{\"carbonKeyCode\":9,\"carbonModifiers\":256}"));
    EXPECT_EQ(backend.release(commandC), 0);
    EXPECT_EQ(ups, 0);
}

// A recorder recording (paused) and the global switch both let every grab go and bring the
// records back under their old ids; only the switch makes the names read as not enabled.
TEST_F(HotKeyRegistryTest, PausedOrDisabled_LetsTheGrabsGo_ThenRegistersEachUnderItsOldId)
{
    const Name name(QStringLiteral("name"), commandC);
    int runs = 0;
    onKeyDown(name, [&] { ++runs; });
    onKeyUp(name, [&] { ++runs; });
    const auto id = backend.heldId(commandC);
    ASSERT_TRUE(id);
    const struct Case {
        const char *state;
        std::function<void(bool)> suspend;
        bool nameEnabledWhileSuspended;
    } cases[] = {
        { "paused", [&](bool on) { registry.setPaused(on); }, true },
        { "disabled", [&](bool on) { registry.setEnabled(!on); }, false },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.state);
        runs = 0;
        c.suspend(true);
        EXPECT_TRUE(backend.held.empty());
        EXPECT_FALSE(backend.eventsEnabled);
        EXPECT_EQ(registry.layer().recordCount(), 1);
        EXPECT_EQ(registry.isEnabled(name), c.nameEnabledWhileSuspended);
        const int registrations = backend.registerCalls;
        c.suspend(true); // already so: nothing happens
        EXPECT_EQ(backend.registerCalls, registrations);

        c.suspend(false);
        EXPECT_EQ(backend.heldId(commandC), id);
        EXPECT_TRUE(backend.eventsEnabled);
        EXPECT_TRUE(registry.isEnabled(name));
        backend.press(commandC);
        backend.release(commandC);
        EXPECT_EQ(runs, 2);
    }
    // An event already on its way when the recorder starts runs nothing.
    registry.setPaused(true);
    EXPECT_EQ(
        backend.handler({ HotKeyEventKind::hotKeyReleased, CarbonKeyboardShortcuts::hotKeySignature, *id }),
        0);
    EXPECT_EQ(runs, 2);
}

// The printed error and the missing record are checked on a real server
// (GlobalShortcutsX11Test); here what the registry makes of a refusal.
TEST_F(HotKeyRegistryTest, Refused_CountsAsRegisteredAndStillAdvancesTheId)
{
    backend.takenByOthers.insert({ 8, 0x100 });
    const Name taken(QStringLiteral("taken"));
    setShortcut(commandC, taken);
    // Counted as registered all the same: the refusal is reported once, not retried.
    EXPECT_TRUE(registry.isEnabled(taken));
    const Name other(QStringLiteral("other"));
    setShortcut(shiftCommandX, other);
    EXPECT_EQ(registry.layer().idOf(shiftCommandX), 2);
    EXPECT_EQ(backend.heldId(shiftCommandX), 2u);
}

TEST_F(HotKeyRegistryTest, OutOfRangeStoredValues_AreRefusedNotFatal)
{
    const Name edited(QStringLiteral("edited"));
    defaults.setObject(
        edited.storageKey(), QStringLiteral("{\"carbonKeyCode\":4294967296,\"carbonModifiers\":256}"));
    testing::internal::CaptureStdout();
    onKeyUp(edited, [] {});
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("Error registering hotkey "), std::string::npos);
    EXPECT_NE(printed.find(": -"), std::string::npos);
    EXPECT_TRUE(backend.held.empty());
    EXPECT_EQ(backend.registerCalls, 0);
}

TEST_F(HotKeyRegistryTest, OpenPopup_ItsKeysAreMatchedInsteadOfGrabbed_ThenTheSameIdIsRegisteredAgain)
{
    const Name name(QStringLiteral("name"), shiftCommandX);
    int ups = 0;
    onKeyUp(name, [&] { ++ups; });
    const auto id = backend.heldId(shiftCommandX);
    registry.initialize();

    QWidget window;
    window.show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(registry.isMenuOpen()); // an ordinary window is no popup
    QMenu menu;
    menu.addAction(QStringLiteral("Quit"));
    QComboBox combo(&window);
    combo.addItems({ QStringLiteral("English"), QStringLiteral("Deutsch") });
    const struct Case {
        const char *popup;
        std::function<void()> open, close;
        QWidget *receiver;
    } cases[] = {
        { "menu", [&] { menu.show(); }, [&] { menu.hide(); }, &menu },
        { "combo box list", [&] { combo.showPopup(); }, [&] { combo.hidePopup(); }, combo.view() },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.popup);
        ups = 0;
        c.open();
        ASSERT_TRUE(QTest::qWaitFor([&] { return registry.isMenuOpen(); }, 1000));
        EXPECT_TRUE(backend.held.empty());
        EXPECT_FALSE(backend.eventsEnabled);
        EXPECT_TRUE(registry.layer().isMenuKeyMonitorInstalled());

        // Shift+Super+X reaching the open popup: X keycode 53 is the X key.
        const auto modifiers = Qt::ShiftModifier | Qt::MetaModifier;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, modifiers, 53, 0x58, 0x50, QStringLiteral("X"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, modifiers, 53, 0x58, 0x50, QStringLiteral("X"));
        QCoreApplication::sendEvent(c.receiver, &press);
        EXPECT_EQ(ups, 0);
        QCoreApplication::sendEvent(c.receiver, &release);
        EXPECT_EQ(ups, 1);
        // A key that is no hot key goes to the popup as usual.
        EXPECT_EQ(
            registry.layer().handleRawKeyEvent(HotKeyEventKind::rawKeyUp, 8, 0x100), eventNotHandledStatus);

        c.close();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !registry.isMenuOpen(); }, 1000));
        EXPECT_EQ(backend.heldId(shiftCommandX), id);
        EXPECT_TRUE(backend.eventsEnabled);
        EXPECT_FALSE(registry.layer().isMenuKeyMonitorInstalled());
    }
}

// A portal: the desktop takes the combination before an open menu could; its events are
// heard menu or not, and nothing is unregistered for the menu.
TEST_F(HotKeyRegistryTest, OpenPopup_WhereTheDesktopTakesTheKeys_ItsEventsStillRunTheAction)
{
    backend.desktopTakesKeys = true;
    const Name name(QStringLiteral("name"), shiftCommandX);
    int ups = 0;
    onKeyUp(name, [&] { ++ups; });
    registry.initialize();
    QMenu menu;
    menu.addAction(QStringLiteral("Quit"));
    menu.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return registry.isMenuOpen(); }, 1000));
    EXPECT_TRUE(backend.isHeld(shiftCommandX));
    EXPECT_FALSE(registry.layer().isMenuKeyMonitorInstalled());
    EXPECT_EQ(backend.press(shiftCommandX), 0);
    EXPECT_EQ(backend.release(shiftCommandX), 0);
    EXPECT_EQ(ups, 1);
    menu.hide();
}

TEST_F(HotKeyRegistryTest, ForeignEvents_AreNotHandled)
{
    const Name name(QStringLiteral("name"), commandC);
    int runs = 0;
    onKeyUp(name, [&] { ++runs; });
    const uint32_t id = *backend.heldId(commandC);
    EXPECT_EQ(backend.handler({ HotKeyEventKind::hotKeyReleased, 0x41424344, id }), eventNotHandledStatus);
    EXPECT_EQ(backend.handler(
                  { HotKeyEventKind::hotKeyReleased, CarbonKeyboardShortcuts::hotKeySignature, id + 7 }),
        eventNotHandledStatus);
    EXPECT_EQ(backend.handler({ 2, CarbonKeyboardShortcuts::hotKeySignature, id }), eventNotHandledStatus);
    EXPECT_EQ(runs, 0);
}

TEST_F(HotKeyRegistryTest, RemovingHandlers_ReleasesTheirHotKeys)
{
    const Name a(QStringLiteral("a"), commandC);
    const Name b(QStringLiteral("b"), shiftCommandX);
    int runs = 0;
    onKeyUp(a, [&] { ++runs; });
    onKeyUp(b, [&] { ++runs; });
    removeHandler(a);
    EXPECT_FALSE(backend.isHeld(commandC));
    EXPECT_TRUE(backend.isHeld(shiftCommandX));
    removeAllHandlers();
    EXPECT_TRUE(backend.held.empty());
    registry.enable({ a, b });
    EXPECT_TRUE(backend.isHeld(commandC) && backend.isHeld(shiftCommandX));
    backend.release(commandC);
    EXPECT_EQ(runs, 0); // handlers are gone, only the hot keys came back
    registry.disable({ a });
    EXPECT_FALSE(backend.isHeld(commandC));
}

} // namespace
