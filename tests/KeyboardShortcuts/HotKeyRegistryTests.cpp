#include "fakes/FakeShortcutDesktop.h"

#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

using namespace KeyboardShortcuts;

namespace {

const Shortcut shiftCommandX(7, 0x300);
const Shortcut commandC(8, 0x100);

class HotKeyRegistryTest : public ::testing::Test, public FakeShortcutDesktop { };

// One grab serves every name storing the combination: a press runs each name's handler, and
// the grab stays while any name still holds it (cleared, changed or its handler removed).
TEST_F(HotKeyRegistryTest, Dispatch_OneHotKeyServesEveryNameStoringIt)
{
    const struct {
        const char *change;
        std::function<void(const Name &)> letGo;
    } rows[] = {
        { "cleared", [](const Name &name) { setShortcut(std::nullopt, name); } },
        { "changed", [](const Name &name) { setShortcut(shiftCommandX, name); } },
        { "handler removed", [](const Name &name) { removeHandler(name); } },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.change);
        const Name first(QStringLiteral("first")), second(QStringLiteral("second"));
        setShortcut(commandC, first);
        setShortcut(commandC, second);
        QStringList ran;
        onKeyUp(first, [&] { ran << QStringLiteral("first"); });
        onKeyUp(second, [&] { ran << QStringLiteral("second"); });
        EXPECT_EQ(backend.held.size(), 1u);
        backend.release(commandC);
        ran.sort();
        EXPECT_EQ(ran, (QStringList { QStringLiteral("first"), QStringLiteral("second") }));
        setShortcut(commandC, second); // let go and taken again: still held
        row.letGo(second);
        EXPECT_TRUE(backend.isHeld(commandC));
        EXPECT_TRUE(registry.isEnabled(first));
        ran.clear();
        backend.release(commandC);
        EXPECT_EQ(ran, QStringList { QStringLiteral("first") });
        removeAllHandlers();
        setShortcut(std::nullopt, first);
        setShortcut(std::nullopt, second);
        EXPECT_TRUE(backend.held.empty());
    }
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

// The printed error and the missing grab are checked on a real server (SettingsX11); here
// what the registry makes of a refusal and of stored values no key can have.
TEST_F(HotKeyRegistryTest, Refusals_AreReportedOnceNotRetried_OutOfRangeValuesAreNotFatal)
{
    backend.takenByOthers.insert({ 8, 0x100 });
    const Name taken(QStringLiteral("taken"));
    setShortcut(commandC, taken);
    EXPECT_TRUE(registry.isEnabled(taken));
    setShortcut(shiftCommandX, Name(QStringLiteral("other")));
    EXPECT_EQ(registry.layer().idOf(shiftCommandX), 2); // the refused one used up id 1
    EXPECT_EQ(backend.heldId(shiftCommandX), 2u);

    const Name edited(QStringLiteral("edited"));
    defaults.setObject(
        edited.storageKey(), QStringLiteral("{\"carbonKeyCode\":4294967296,\"carbonModifiers\":256}"));
    const int registrations = backend.registerCalls;
    testing::internal::CaptureStdout();
    onKeyUp(edited, [] {});
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("Error registering hotkey "), std::string::npos);
    EXPECT_NE(printed.find(": -"), std::string::npos);
    EXPECT_EQ(backend.registerCalls, registrations);
}

// A portal: the desktop takes the combination before an open menu could; its events are
// heard menu or not, and nothing is unregistered for the menu. (Grabs under an open popup
// on X11: GlobalShortcutsX11Test.WithAPopupOpenTheKeyUpRunsInAnyReleaseOrder.)
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
}

// Nothing runs for events that are not ours, for a removed handler, or for a combination the
// store no longer holds (it is read at every press, so a change behind the registry's back counts).
TEST_F(HotKeyRegistryTest, Dispatch_NothingRunsForForeignEventsRemovedHandlersOrChangedStorage)
{
    const Name a(QStringLiteral("a"), commandC), b(QStringLiteral("b"), shiftCommandX);
    int runs = 0;
    onKeyUp(a, [&] { ++runs; });
    onKeyUp(b, [&] { ++runs; });
    const uint32_t id = *backend.heldId(commandC), ours = CarbonKeyboardShortcuts::hotKeySignature;
    const HotKeyEvent foreign[] = { { HotKeyEventKind::hotKeyReleased, 0x41424344, id },
        { HotKeyEventKind::hotKeyReleased, ours, id + 7 }, { 2, ours, id } };
    for (const HotKeyEvent &event : foreign)
        EXPECT_EQ(backend.handler(event), eventNotHandledStatus) << event.kind << " " << event.id;
    EXPECT_EQ(runs, 0);

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

    onKeyUp(b, [&] { ++runs; });
    defaults.setObject(b.storageKey(), QStringLiteral("{\"carbonKeyCode\":9,\"carbonModifiers\":256}"));
    EXPECT_EQ(backend.release(shiftCommandX), 0);
    EXPECT_EQ(runs, 0);
}

} // namespace
