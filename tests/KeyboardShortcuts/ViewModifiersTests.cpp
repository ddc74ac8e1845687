#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/QtKeys.h"
#include "KeyboardShortcuts/ViewModifiers/ViewModifiers.h"
#include "XkbEnvironmentLayout.h"
#include "fakes/FakeShortcutDesktop.h"
#include "fakes/ScopedEnv.h"

#include <QAction>
#include <QCoro/QCoroTask>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

using namespace KeyboardShortcuts;

namespace {

const ModifierFlags shift = ModifierFlags::shift, control = ModifierFlags::control,
                    alt = ModifierFlags::option, super = ModifierFlags::command;

// A US layout from the XKB environment, over the fake desktop.
class ShortcutsOnUsLayout : public ::testing::Test,
                            public FakeShortcutDesktop,
                            protected XkbEnvironmentLayout { };

using QtKeyCombinations = ShortcutsOnUsLayout;

TEST_F(QtKeyCombinations, BothWays)
{
    const struct {
        Shortcut shortcut;
        QKeyCombination combination;
    } rows[] = {
        { Shortcut(Key::x, shift | super), QKeyCombination(Qt::ShiftModifier | Qt::MetaModifier, Qt::Key_X) },
        { Shortcut(Key::comma, control), QKeyCombination(Qt::ControlModifier, Qt::Key_Comma) },
        { Shortcut(Key::f12, ModifierFlags()), QKeyCombination(Qt::Key_F12) },
        { Shortcut(Key::return_, alt), QKeyCombination(Qt::AltModifier, Qt::Key_Return) },
        { Shortcut(Key::deleteForward, control | alt),
            QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_Delete) },
        { Shortcut(Key::delete_, super), QKeyCombination(Qt::MetaModifier, Qt::Key_Backspace) },
        { Shortcut(Key::pageUp, shift), QKeyCombination(Qt::ShiftModifier, Qt::Key_PageUp) },
    };
    for (const auto &row : rows) {
        EXPECT_EQ(keyCombination(row.shortcut), row.combination) << row.shortcut.description().toStdString();
        EXPECT_EQ(shortcutForKeyCombination(row.combination), row.shortcut)
            << row.shortcut.description().toStdString();
    }
    // On a German layout the key in the Y position types Z.
    useLayout("de");
    EXPECT_EQ(keyCombination(Shortcut(Key::y, control)), QKeyCombination(Qt::ControlModifier, Qt::Key_Z));
}

using EventStreams = ShortcutsOnUsLayout;

// Takes events from the stream until it has `count`, the way a capture coroutine would.
QCoro::Task<> collect(QCoro::AsyncGenerator<EventType> stream, std::vector<EventType> &into, size_t count)
{
    QCORO_FOREACH(EventType type, stream)
    {
        into.push_back(type);
        if (into.size() == count)
            break;
    }
}

TEST_F(EventStreams, DownThenUp_TwoStreamsBothHear_EarlierPressesAreNot)
{
    const Name name(QStringLiteral("stream"), Shortcut(Key::k, control | alt));
    const Shortcut combination(Key::k, control | alt);
    std::vector<EventType> all, second, releases;
    collect(events(name), all, 4);
    collect(events(name), second, 2);
    collect(events(EventType::keyUp, name), releases, 2);

    // Before the event loop turns, the streams are not listening yet.
    backend.press(combination);
    EXPECT_TRUE(all.empty());
    QCoreApplication::processEvents();
    ASSERT_TRUE(backend.isHeld(combination));
    EXPECT_EQ(backend.release(combination), 0);
    EXPECT_EQ(backend.press(combination), 0);
    EXPECT_EQ(backend.release(combination), 0);
    EXPECT_EQ(backend.press(combination), 0);
    EXPECT_EQ(backend.release(combination), 0);

    // The first press heard was after the turn: the first release is heard without its press.
    EXPECT_EQ(
        all, (std::vector { EventType::keyUp, EventType::keyDown, EventType::keyUp, EventType::keyDown }));
    EXPECT_EQ(second, (std::vector { EventType::keyUp, EventType::keyDown }));
    EXPECT_EQ(releases, (std::vector { EventType::keyUp, EventType::keyUp }));

    // The ended streams leave their entries, so the shortcut stays registered.
    QCoreApplication::processEvents();
    EXPECT_TRUE(registry.streamKeyDownHandlers.value(name).isEmpty());
    EXPECT_TRUE(backend.isHeld(combination));
}

using Bindings = ShortcutsOnUsLayout;

TEST_F(Bindings, WidgetHearsOnlyWhileShown)
{
    const Name name(QStringLiteral("bound"), Shortcut(Key::j, control | alt));
    QWidget widget;
    int downs = 0;
    onGlobalKeyboardShortcut(&widget, name, EventType::keyDown, [&] { ++downs; });
    QCoreApplication::processEvents();
    backend.press(Shortcut(Key::j, control | alt));
    EXPECT_EQ(downs, 0); // hidden

    widget.show();
    QCoreApplication::processEvents();
    backend.press(Shortcut(Key::j, control | alt));
    backend.release(Shortcut(Key::j, control | alt));
    EXPECT_EQ(downs, 1);
    widget.hide();
    QCoreApplication::processEvents();
    backend.press(Shortcut(Key::j, control | alt));
    EXPECT_EQ(downs, 1);
}

TEST_F(Bindings, ActionFollowsTheShortcutAndHasNoneWhileRecording)
{
    const Name name(QStringLiteral("bound"), Shortcut(Key::j, control | alt));
    QAction action;
    globalKeyboardShortcut(&action, name);
    EXPECT_EQ(action.shortcut(), QKeySequence(Qt::ControlModifier | Qt::AltModifier | Qt::Key_J));

    setShortcut(Shortcut(Key::k, shift | super), name);
    EXPECT_EQ(action.shortcut(), QKeySequence(Qt::ShiftModifier | Qt::MetaModifier | Qt::Key_K));
    Q_EMIT Notifier::instance().recorderActiveStatusDidChange(true);
    EXPECT_TRUE(action.shortcut().isEmpty());
    Q_EMIT Notifier::instance().recorderActiveStatusDidChange(false);
    EXPECT_EQ(action.shortcut(), QKeySequence(Qt::ShiftModifier | Qt::MetaModifier | Qt::Key_K));
    setShortcut(std::nullopt, name);
    EXPECT_TRUE(action.shortcut().isEmpty());
}

TEST_F(Bindings, MenuItemFollowsOnTheNextTurn_NoNameClearsIt)
{
    const Name name(QStringLiteral("item"), Shortcut(Key::j, control | alt));
    QAction item;
    KeyboardShortcuts::setShortcut(&item, name);
    EXPECT_EQ(item.shortcut(), QKeySequence(Qt::ControlModifier | Qt::AltModifier | Qt::Key_J));

    KeyboardShortcuts::setShortcut(Shortcut(Key::f5, control), name);
    EXPECT_EQ(item.shortcut(), QKeySequence(Qt::ControlModifier | Qt::AltModifier | Qt::Key_J));
    QCoreApplication::processEvents();
    EXPECT_EQ(item.shortcut(), QKeySequence(Qt::ControlModifier | Qt::Key_F5));
    KeyboardShortcuts::setShortcut(std::nullopt, name);
    QCoreApplication::processEvents();
    EXPECT_TRUE(item.shortcut().isEmpty());

    // Without a name it stops following.
    KeyboardShortcuts::setShortcut(&item, std::nullopt);
    KeyboardShortcuts::setShortcut(Shortcut(Key::f6, control), name);
    QCoreApplication::processEvents();
    EXPECT_TRUE(item.shortcut().isEmpty());
    QAction never;
    never.setShortcut(QKeySequence(Qt::Key_F7));
    KeyboardShortcuts::setShortcut(&never, std::nullopt);
    EXPECT_TRUE(never.shortcut().isEmpty());
}

} // namespace
