#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/QtKeys.h"
#include "KeyboardShortcuts/SystemShortcuts.h"
#include "KeyboardShortcuts/ViewModifiers/ViewModifiers.h"
#include "XkbEnvironmentLayout.h"
#include "fakes/FakeShortcutDesktop.h"
#include "fakes/ScopedEnv.h"
#include "fakes/TestFiles.h"

#include <QAction>
#include <QCoro/QCoroTask>
#include <QDir>
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
class SystemShortcuts : public ::testing::Test,
                        public FakeShortcutDesktop,
                        protected XkbEnvironmentLayout { };

TEST_F(SystemShortcuts, GtkAccelerators)
{
    const struct {
        const char *accelerator;
        std::optional<Shortcut> expected;
    } rows[] = {
        { "<Super><Shift>x", Shortcut(Key::x, shift | super) },
        { "<Shift><Super>X", Shortcut(Key::x, shift | super) }, // capital through the Shift level
        { "<Primary><Alt>t", Shortcut(Key::t, control | alt) },
        { "<Control>F12", Shortcut(Key::f12, control) },
        { "<Ctrl><Mod1>Delete", Shortcut(Key::deleteForward, control | alt) },
        { "<Super>Left", Shortcut(Key::leftArrow, super) }, { "<Alt>Tab", Shortcut(Key::tab, alt) },
        { "<Super>space", Shortcut(Key::space, super) }, { "<Super>1", Shortcut(Key::one, super) },
        { "<Mod4>page_down", Shortcut(Key::pageDown, super) }, // names are matched without case too
        { "F5", Shortcut(Key::f5, ModifierFlags()) }, { "", std::nullopt }, { "disabled", std::nullopt },
        { "<Super>", std::nullopt }, { "<Super", std::nullopt }, { "<Release><Super>a", std::nullopt },
        { "<Super>Above_Tab", std::nullopt }, // the window manager's own name, not a key
    };
    for (const auto &row : rows)
        EXPECT_EQ(shortcutFromGtkAccelerator(QString::fromLatin1(row.accelerator)), row.expected)
            << row.accelerator;
}

TEST_F(SystemShortcuts, GsettingsOutputAndKglobalshortcutsrc)
{
    const QString gsettings
        = QStringLiteral("org.gnome.desktop.wm.keybindings close ['<Alt>F4']\n"
                         "org.gnome.desktop.wm.keybindings switch-windows @as []\n"
                         "org.gnome.desktop.wm.keybindings switch-applications ['<Super>Tab', '<Alt>Tab']\n"
                         "org.gnome.desktop.wm.keybindings move-to-workspace-1 ['<Super><Shift>Home']\n"
                         "org.gnome.settings-daemon.plugins.media-keys screensaver ['<Super>l']\n"
                         "org.gnome.settings-daemon.plugins.media-keys terminal '<Primary><Alt>t'\n"
                         "org.gnome.settings-daemon.plugins.media-keys volume-step 6\n"
                         "org.gnome.shell.keybindings toggle-overview ['<Super>s', 'disabled']\n");
    const std::vector<Shortcut> gnome = parseGsettingsKeybindings(gsettings);
    const std::vector<Shortcut> expectedGnome { Shortcut(Key::f4, alt), Shortcut(Key::tab, super),
        Shortcut(Key::tab, alt), Shortcut(Key::home, shift | super), Shortcut(Key::l, super),
        Shortcut(Key::t, control | alt), Shortcut(Key::s, super) };
    EXPECT_EQ(gnome, expectedGnome);

    const QString kde = QStringLiteral(
        "[kwin]\n"
        "_k_friendly_name=KWin\n"
        "Window Close=Alt+F4,Alt+F4,Close Window\n"
        "Walk Through Windows=Alt+Tab\tMeta+Tab,Alt+Tab,Walk Through Windows\n"
        "Expose=none,Ctrl+F9,Toggle Present Windows\n"
        "Window Quick Tile Left=Meta+Left,Meta+Left,Quick Tile Window to the Left\n"
        "\n"
        "[org.kde.konsole.desktop]\n"
        "_launch=Ctrl+Alt+T,Ctrl+Alt+T,Konsole\n"
        "[org.kde.spectacle.desktop]\n"
        "RectangularRegionScreenShot=Meta+Shift+Print,Meta+Shift+Print,Capture Rectangular Region\n"
        "[plasmashell]\n"
        "show dashboard=Meta+,,Ctrl+F12,Show Desktop\n"
        "[khotkeys]\n"
        "Kill=Ctrl+Alt+Del\tMeta+Backspace\tShift+PgUp\tAlt+Return\tF12,none,Kill\n");
    const std::vector<Shortcut> kdeShortcuts = parseKdeGlobalShortcuts(kde);
    const auto found = [&](const Shortcut &shortcut) {
        return std::find(kdeShortcuts.begin(), kdeShortcuts.end(), shortcut) != kdeShortcuts.end();
    };
    for (const Shortcut &expected :
        { Shortcut(Key::f4, alt), Shortcut(Key::tab, alt), Shortcut(Key::tab, super),
            Shortcut(Key::leftArrow, super), Shortcut(Key::t, control | alt), Shortcut(Key::comma, super),
            Shortcut(Key::deleteForward, control | alt), Shortcut(Key::delete_, super),
            Shortcut(Key::pageUp, shift), Shortcut(Key::return_, alt), Shortcut(Key::f12, ModifierFlags()) })
        EXPECT_TRUE(found(expected)) << expected.displayText().toStdString();
    // "none" is not a shortcut and the default column does not count.
    EXPECT_FALSE(found(Shortcut(Key::f9, control)));
    EXPECT_FALSE(found(Shortcut(Key::f12, control)));
}

// The desktop sources as the program reads them: a gsettings on PATH, a kglobalshortcutsrc in
// the configuration folder, each read again at every call; a source that fails gives nothing.
TEST_F(SystemShortcuts, ReadFromTheDesktopAtEveryCall)
{
    QTemporaryDir dir;
    const QString bin = dir.filePath(QStringLiteral("bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    // Knows one schema; the others fail as they do on a desktop that lacks them.
    ASSERT_TRUE(writeFile(bin + QStringLiteral("/gsettings"),
        "#!/bin/sh\n[ \"$2\" = org.gnome.desktop.wm.keybindings ] || exit 1\ncat \"$(dirname "
        "\"$0\")/wm.txt\"\n"));
    QFile::setPermissions(bin + QStringLiteral("/gsettings"), QFile::ReadOwner | QFile::ExeOwner);
    ASSERT_TRUE(
        writeFile(bin + QStringLiteral("/wm.txt"), "org.gnome.desktop.wm.keybindings close ['<Alt>F4']\n"));
    ASSERT_TRUE(writeFile(
        dir.filePath(QStringLiteral("kglobalshortcutsrc")), "[kwin]\nExpose=Ctrl+F9,Ctrl+F9,Present\n"));
    ScopedEnv env("PATH", (bin + QStringLiteral(":")).toLocal8Bit() + qgetenv("PATH"));
    env.set("XDG_CONFIG_HOME", dir.path().toLocal8Bit());

    EXPECT_EQ(
        systemShortcuts(), (std::vector<Shortcut> { Shortcut(Key::f4, alt), Shortcut(Key::f9, control) }));
    ASSERT_TRUE(
        writeFile(bin + QStringLiteral("/wm.txt"), "org.gnome.desktop.wm.keybindings close ['<Super>q']\n"));
    QFile::remove(dir.filePath(QStringLiteral("kglobalshortcutsrc")));
    EXPECT_EQ(systemShortcuts(), (std::vector<Shortcut> { Shortcut(Key::q, super) }));
    EXPECT_TRUE(isUsedBySystem(Shortcut(Key::q, super)));
    // Another program's grab counts too.
    EXPECT_FALSE(isUsedBySystem(Shortcut(Key::k, control | alt)));
    backend.takenByOthers.insert({ uint32_t(Key::k.rawValue), 0x1800 });
    EXPECT_TRUE(isUsedBySystem(Shortcut(Key::k, control | alt)));
}

using QtKeyCombinations = SystemShortcuts;

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

using EventStreams = SystemShortcuts;

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

using Bindings = SystemShortcuts;

// A widget hears the shortcut only while shown; an action follows it at once and has none
// while a recorder records; a menu item follows on the next turn, until it is given no name.
TEST_F(Bindings, WidgetActionAndMenuItemFollowTheShortcut)
{
    const Shortcut controlAltJ(Key::j, control | alt);
    const QKeySequence controlAltJKeys(Qt::ControlModifier | Qt::AltModifier | Qt::Key_J);
    const Name name(QStringLiteral("bound"), controlAltJ);
    QWidget widget;
    int downs = 0;
    onGlobalKeyboardShortcut(&widget, name, EventType::keyDown, [&] { ++downs; });
    const auto pressAfterATurn = [&] {
        QCoreApplication::processEvents();
        backend.press(controlAltJ);
        backend.release(controlAltJ);
    };
    pressAfterATurn();
    EXPECT_EQ(downs, 0); // hidden
    widget.show();
    pressAfterATurn();
    EXPECT_EQ(downs, 1);
    widget.hide();
    pressAfterATurn();
    EXPECT_EQ(downs, 1);

    QAction action, item;
    globalKeyboardShortcut(&action, name);
    KeyboardShortcuts::setShortcut(&item, name);
    EXPECT_EQ(action.shortcut(), controlAltJKeys);
    EXPECT_EQ(item.shortcut(), controlAltJKeys);
    setShortcut(Shortcut(Key::k, shift | super), name);
    const QKeySequence shiftSuperK(Qt::ShiftModifier | Qt::MetaModifier | Qt::Key_K);
    EXPECT_EQ(action.shortcut(), shiftSuperK);
    EXPECT_EQ(item.shortcut(), controlAltJKeys);
    QCoreApplication::processEvents();
    EXPECT_EQ(item.shortcut(), shiftSuperK);
    Q_EMIT Notifier::instance().recorderActiveStatusDidChange(true);
    EXPECT_TRUE(action.shortcut().isEmpty());
    Q_EMIT Notifier::instance().recorderActiveStatusDidChange(false);
    EXPECT_EQ(action.shortcut(), shiftSuperK);
    setShortcut(std::nullopt, name);
    EXPECT_TRUE(action.shortcut().isEmpty());
    QCoreApplication::processEvents();
    EXPECT_TRUE(item.shortcut().isEmpty());

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
