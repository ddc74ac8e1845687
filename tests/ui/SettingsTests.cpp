#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/RecorderCocoa/Recorder.h"
#include "KeyboardShortcuts/RecorderCocoa/RecorderCocoa.h"
#include "KeyboardShortcuts/Registry.h"
#include "UiTestSupport.h"
#include "fakes/FakeHotKeyBackend.h"
#include "fakes/ScopedEnv.h"
#include "platform/PlatformMethods.h"
#include "platform/QtDialogs.h"
#include "ui/DesktopColorScheme.h"
#include "ui/SettingsWindowController.h"
#include "ui/Style.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>

using namespace Qt::StringLiterals;

using namespace KeyboardShortcuts;
using Step = RecorderCocoa::Step;

namespace {

// X keycodes (evdev + 8) of the keys the tests press.
enum XKey : quint32 {
    xEscape = 9,
    xBackspace = 22,
    xTab = 23,
    xA = 38,
    xK = 45,
    xX = 53,
    xS = 39,
    xT = 28,
    xF5 = 71,
    xF12 = 96,
    xDelete = 119,
};

const Shortcut shiftCommandX(Key::x, ModifierFlags::shift | ModifierFlags::command);

// The harness's settings, preferences and dialogs, with a hot-key registry over a fake.
class SettingsTest : public ::testing::Test, public AppStateHarness {
protected:
    FakeHotKeyBackend backend;
    std::unique_ptr<Registry> registry;
    std::unique_ptr<SettingsWindowController> controller;

    void SetUp() override
    {
        setUserDefaults(&defaults);
        registry = std::make_unique<Registry>(backend);
        Registry::install(registry.get());
        reset(AppShortcutNames::captureText()); // a fresh profile: Shift-Super-X
        controller = std::make_unique<SettingsWindowController>(*preferences, dialogs);
    }
    void TearDown() override
    {
        controller.reset();
        setApplicationMainMenu(nullptr);
        Registry::install(nullptr);
        registry.reset();
        setUserDefaults(nullptr);
    }

    QWidget &window()
    {
        controller->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(controller->window()));
        return *controller->window();
    }
    QTabWidget &tabs() { return *window().findChild<QTabWidget *>(); }
    Recorder &recorder(const Name &name)
    {
        return *window().findChild<Recorder *>(name.rawValue() + u"Recorder"_s);
    }
    // The "Capture Text" field, recording.
    RecorderCocoa &recording()
    {
        tabs().setCurrentIndex(1);
        RecorderCocoa &field = recorder(AppShortcutNames::captureText()).field();
        QTest::qWait(10); // the window's own focusing is over
        field.setFocus(Qt::MouseFocusReason);
        EXPECT_TRUE(field.isRecording());
        return field;
    }
    static Step press(RecorderCocoa &field, Qt::Key key, Qt::KeyboardModifiers modifiers, quint32 xKeycode)
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, xKeycode, 0, 0);
        QApplication::sendEvent(&field, &event);
        return field.lastStep();
    }
    static Step releaseMouseAt(RecorderCocoa &field, QPoint local)
    {
        QWidget *target = field.window();
        const QPoint global = field.mapToGlobal(local);
        QMouseEvent event(QEvent::MouseButtonRelease, target->mapFromGlobal(global),
            target->mapFromGlobal(global), global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &event);
        return field.lastStep();
    }
};

// Made once and kept with its tab; the General tab's switches follow the preferences both ways.
TEST_F(SettingsTest, Window_IsKeptWithItsTab_GeneralSwitchesFollowThePreferences)
{
    QWidget &first = window();
    EXPECT_EQ(first.minimumSize(), first.maximumSize()); // not resizable
    EXPECT_FALSE(first.windowFlags() & Qt::WindowMaximizeButtonHint);
    tabs().setCurrentIndex(1);
    first.close();
    controller->show();
    EXPECT_EQ(controller->window(), &first);
    EXPECT_TRUE(first.isVisible());
    EXPECT_EQ(tabs().currentIndex(), 1);

    auto *autoCopy = first.findChild<QCheckBox *>(u"autoCopySwitch"_s);
    auto *additive = first.findChild<QCheckBox *>(u"additiveClipboardSwitch"_s);
    auto *login = first.findChild<QCheckBox *>(u"launchAtLoginSwitch"_s);
    EXPECT_TRUE(autoCopy->isChecked());
    EXPECT_FALSE(additive->isChecked());
    EXPECT_FALSE(login->isChecked());

    autoCopy->click();
    EXPECT_FALSE(preferences->autoCopy());
    EXPECT_FALSE(defaults.boolForKey(u"autoCopy"_s));
    preferences->setAdditiveClipboard(true);
    QTest::qWait(0);
    EXPECT_TRUE(additive->isChecked());

    login->click();
    EXPECT_TRUE(QFile::exists(loginItem.entryPath()));
    QTest::qWait(0);
    EXPECT_TRUE(login->isChecked());
    login->click();
    // Refused: the autostart folder is a file, so the entry cannot be written; the switch
    // springs back.
    QDir(dir.path()).removeRecursively();
    QDir().mkpath(dir.path());
    ASSERT_TRUE(writeFile(dir.filePath(u"autostart"_s), ""));
    login->click();
    QTest::qWait(0);
    EXPECT_FALSE(preferences->launchAtLogin());
    EXPECT_FALSE(login->isChecked());
}

TEST_F(SettingsTest, Recorder_ChecksEachCombinationInItsOrder)
{
    RecorderCocoa &field = recording();
    QSignalSpy active(&Notifier::instance(), &Notifier::recorderActiveStatusDidChange);
    EXPECT_TRUE(registry->isPaused());
    EXPECT_EQ(field.placeholderText(), u"Press Shortcut"_s);
    QMenuBar menu;
    QMenu *file = menu.addMenu(u"&File"_s);
    file->addAction(u"E&xport…"_s)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    setApplicationMainMenu(&menu);
    field.isSystemShortcut = [](const Shortcut &shortcut) {
        return shortcut == Shortcut(Key::t, ModifierFlags::control | ModifierFlags::option)
            || shortcut.key() == Key::f12;
    };
    const Name &name = AppShortcutNames::captureText();
    const Shortcut controlAltT(Key::t, ModifierFlags::control | ModifierFlags::option);
    // In this order: what is refused keeps recording and stores nothing; what is stored ends it.
    const struct {
        const char *what;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        quint32 xKeycode;
        Step step;
        int beeps, answer;
        std::optional<Shortcut> stored;
    } rows[] = {
        { "Control on its way to a combination", Qt::Key_Control, Qt::ControlModifier, 37, Step::other, 0, 0,
            {} },
        { "A alone", Qt::Key_A, Qt::NoModifier, xA, Step::needsModifier, 1, 0, {} },
        { "Shift+A", Qt::Key_A, Qt::ShiftModifier, xA, Step::needsModifier, 1, 0, {} },
        // Accepted by the modifier rule; F35 has no key of ours, so it beeps one step later.
        { "Shift+F35", Qt::Key_F35, Qt::ShiftModifier, 0, Step::notAShortcut, 1, 0, {} },
        // AltGr cannot be part of a shortcut; storing Ctrl+K instead would be another one.
        { "AltGr+Ctrl+K", Qt::Key_K, Qt::ControlModifier | Qt::GroupSwitchModifier, xK, Step::notAShortcut, 1,
            0, {} },
        { "Ctrl+S, the menu's Export", Qt::Key_S, Qt::ControlModifier, xS, Step::usedByMenuItem, 0, 0, {} },
        { "Ctrl+Alt+T, the system's, kept", Qt::Key_T, Qt::ControlModifier | Qt::AltModifier, xT,
            Step::keptSystemShortcut, 0, 0, {} },
        { "F5 alone", Qt::Key_F5, Qt::NoModifier, xF5, Step::stored, 0, 0,
            Shortcut(Key::f5, ModifierFlags()) },
        { "F12 alone, though the system lists it", Qt::Key_F12, Qt::NoModifier, xF12, Step::stored, 0, 0,
            Shortcut(Key::f12, ModifierFlags()) },
        { "Super+Escape: not a cancel", Qt::Key_Escape, Qt::MetaModifier, xEscape, Step::stored, 0, 0,
            Shortcut(Key::escape, ModifierFlags::command) },
        { "Ctrl+Alt+T with Use Anyway", Qt::Key_T, Qt::ControlModifier | Qt::AltModifier, xT, Step::stored, 0,
            1, controlAltT },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        field.setFocus();
        dialogs.answer = row.answer;
        const int beeps = dialogs.beeps, changes = active.count();
        EXPECT_EQ(press(field, row.key, row.modifiers, row.xKeycode), row.step);
        EXPECT_EQ(dialogs.beeps - beeps, row.beeps);
        EXPECT_EQ(getShortcut(name), row.stored.value_or(shiftCommandX));
        EXPECT_EQ(field.isRecording(), !row.stored);
        if (row.step == Step::usedByMenuItem || row.step == Step::keptSystemShortcut)
            EXPECT_GE(active.count() - changes, 2) << "the alert ends recording and starts it again";
        if (row.stored) {
            EXPECT_EQ(field.text(), row.stored->displayText());
            EXPECT_FALSE(registry->isPaused());
            EXPECT_TRUE(backend.isHeld(*row.stored)); // in effect at once
        }
    }
    ASSERT_EQ(dialogs.shown.size(), 3);
    EXPECT_EQ(dialogs.shown[0].messageText, u"This shortcut is already taken by the menu item “Export…”."_s);
    EXPECT_EQ(dialogs.shown[0].window, field.window());
    for (const int system : { 1, 2 }) {
        EXPECT_EQ(dialogs.shown[system].messageText, u"This shortcut is already used by the system."_s);
        EXPECT_EQ(dialogs.shown[system].buttons, (QStringList { u"OK"_s, u"Use Anyway"_s }));
    }
    EXPECT_EQ(field.placeholderText(), u"Record Shortcut"_s);
}

TEST_F(SettingsTest, Recorder_EscapeTabClicksAndClearing)
{
    RecorderCocoa &field = recording();
    const Name &name = AppShortcutNames::captureText();

    EXPECT_EQ(press(field, Qt::Key_Escape, Qt::NoModifier, xEscape), Step::cancel);
    EXPECT_FALSE(field.isRecording());
    EXPECT_EQ(getShortcut(name), shiftCommandX);

    field.setFocus();
    EXPECT_EQ(press(field, Qt::Key_Tab, Qt::NoModifier, xTab), Step::tab);
    EXPECT_FALSE(field.hasFocus());
    EXPECT_TRUE(recorder(AppShortcutNames::captureWithoutLineBreaks()).field().hasFocus());

    // A click just outside the field keeps recording; one a little further ends it.
    RecorderCocoa &capture = recorder(name).field();
    capture.setFocus();
    EXPECT_EQ(releaseMouseAt(capture, QPoint(-2, 5)), Step::clickInside);
    EXPECT_TRUE(capture.isRecording());
    EXPECT_EQ(releaseMouseAt(capture, QPoint(capture.width() + 1, capture.height() / 2)), Step::clickInside);
    EXPECT_EQ(releaseMouseAt(capture, QPoint(-4, 5)), Step::clickOutside);
    EXPECT_FALSE(capture.isRecording());

    // That the default stays away after a restart: ShortcutStorage.Clear_DisablesASlotWithDefault_*.
    capture.setFocus();
    EXPECT_EQ(press(capture, Qt::Key_Backspace, Qt::NoModifier, xBackspace), Step::clear);
    EXPECT_EQ(getShortcut(name), std::nullopt);
    EXPECT_EQ(capture.text(), QString());
    EXPECT_FALSE(backend.isHeld(shiftCommandX));
    EXPECT_TRUE(capture.isRecording());

    setShortcut(shiftCommandX, name);
    EXPECT_EQ(capture.text(), u"Shift+Super+X"_s); // follows the stored value
    EXPECT_EQ(press(capture, Qt::Key_Delete, Qt::NoModifier, xDelete), Step::clear);
    EXPECT_EQ(getShortcut(name), std::nullopt);

    // The clear button in the field, recording or not; it is there only while there is
    // something to clear.
    for (const bool whileRecording : { true, false }) {
        SCOPED_TRACE(whileRecording ? "recording" : "not recording");
        setShortcut(shiftCommandX, name);
        if (!whileRecording)
            capture.clearFocus();
        QTest::qWait(10);
        QToolButton *clear = nullptr;
        for (QToolButton *button : capture.findChildren<QToolButton *>())
            clear = button->isVisible() && button->isEnabled() ? button : clear;
        ASSERT_NE(clear, nullptr);
        QTest::mouseClick(clear, Qt::LeftButton);
        EXPECT_EQ(getShortcut(name), std::nullopt);
        EXPECT_FALSE(backend.isHeld(shiftCommandX));
        QTest::qWait(10);
        EXPECT_FALSE(clear->isVisible());
    }
}

// The desktop's own alert for a combination the system uses: only "Use Anyway" stores it;
// Escape and closing the alert keep what was stored.
TEST_F(SettingsTest, Recorder_SystemAlertStoresOnlyWhenForced)
{
    QtDialogs qtDialogs;
    const Shortcut controlAltT(Key::t, ModifierFlags::control | ModifierFlags::option);
    const struct {
        const char *answer;
        std::function<void(QMessageBox &)> act;
        std::optional<Shortcut> stored;
    } rows[] = {
        { "Escape", [](QMessageBox &box) { QTest::keyClick(&box, Qt::Key_Escape); }, shiftCommandX },
        { "closed", [](QMessageBox &box) { box.close(); }, shiftCommandX },
        { "OK", [](QMessageBox &box) { box.buttons().at(0)->click(); }, shiftCommandX },
        { "Use Anyway",
            [](QMessageBox &box) {
                for (QAbstractButton *button : box.buttons()) {
                    if (button->text() == u"Use Anyway"_s)
                        button->click();
                }
            },
            controlAltT },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.answer);
        setShortcut(shiftCommandX, AppShortcutNames::captureText());
        RecorderCocoa field(AppShortcutNames::captureText(), qtDialogs);
        field.isSystemShortcut = [&](const Shortcut &shortcut) { return shortcut == controlAltT; };
        field.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&field));
        QTest::qWait(10);
        field.setFocus();
        ASSERT_TRUE(field.isRecording());
        bool answered = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                box && !answered) {
                answered = true;
                row.act(*box);
            }
        });
        poll.start(20);
        press(field, Qt::Key_T, Qt::ControlModifier | Qt::AltModifier, xT);
        EXPECT_TRUE(answered);
        EXPECT_EQ(getShortcut(AppShortcutNames::captureText()), row.stored);
        field.clearFocus();
    }
}

TEST_F(SettingsTest, Recorder_OnChangeHearsStoresAndClears)
{
    std::vector<std::optional<Shortcut>> changes;
    RecorderCocoa field(AppShortcutNames::captureLastSelection(), dialogs,
        [&](const std::optional<Shortcut> &shortcut) { changes.push_back(shortcut); });
    field.isSystemShortcut = [](const Shortcut &) { return false; };
    field.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&field));
    QTest::qWait(10);
    field.setFocus();
    ASSERT_TRUE(field.isRecording());
    press(field, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier, xK);
    field.setFocus();
    press(field, Qt::Key_Backspace, Qt::NoModifier, xBackspace);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0], Shortcut(Key::k, ModifierFlags::control | ModifierFlags::option));
    EXPECT_EQ(changes[1], std::nullopt);
    field.clearFocus();
}

// Under a field whose shortcut another program holds, a warning that reads on light and dark
// windows; and one when the desktop refuses a shortcut (both tabs without warnings:
// Screenshots.EveryWindow_LightDarkAndBackWhileRunningAndAtLargerFont).
TEST_F(SettingsTest, Screenshots_WarningsUnderTheFields)
{
    QWidget &settings = window();
    tabs().setCurrentIndex(1);
    // One shortcut another program holds, to show the warning under its field.
    backend.takenByOthers.insert(
        { uint32_t(Key::k.rawValue), uint32_t(CarbonModifier::control | CarbonModifier::option) });
    testing::internal::CaptureStdout();
    setShortcut(Shortcut(Key::k, ModifierFlags::control | ModifierFlags::option),
        AppShortcutNames::captureLastSelection());
    testing::internal::GetCapturedStdout();
    QTest::qWait(20);
    saveScreenshot(settings, u"settings-shortcuts"_s);
    // The rows in their order, each label beside its field.
    const auto top = [&](const Name &name) { return recorder(name).mapTo(&settings, QPoint()).y(); };
    EXPECT_LT(top(AppShortcutNames::captureText()), top(AppShortcutNames::captureWithoutLineBreaks()));
    EXPECT_LT(
        top(AppShortcutNames::captureWithoutLineBreaks()), top(AppShortcutNames::captureLastSelection()));
    EXPECT_EQ(recorder(AppShortcutNames::captureLastSelection()).warning(),
        u"Another program holds this shortcut, so it does nothing in Glyphwell for now. Choose "
        "another one, or free it in that program: Glyphwell asks again each time you come back "
        "to it."_s);
    EXPECT_EQ(recorder(AppShortcutNames::captureText()).warning(), QString());
    EXPECT_EQ(settings.findChild<QLabel *>(u"desktopBindingNote"_s), nullptr);
    // The warning reads on light and dark windows, also after a switch while it shows.
    DesktopColorScheme scheme;
    for (const auto preference : { DesktopColorScheme::Scheme::dark, DesktopColorScheme::Scheme::light }) {
        scheme.apply(preference);
        QTest::qWait(20);
        const QString text = recorder(AppShortcutNames::captureLastSelection()).warning();
        const QList<QLabel *> labels = settings.findChildren<QLabel *>();
        const auto warning
            = std::find_if(labels.begin(), labels.end(), [&](QLabel *l) { return l->text() == text; });
        ASSERT_NE(warning, labels.end());
        EXPECT_GE(Style::contrastRatio((*warning)->palette().color(QPalette::WindowText),
                      settings.palette().color(QPalette::Window)),
            4.5);
        if (preference == DesktopColorScheme::Scheme::dark)
            saveScreenshot(settings, u"settings-shortcuts-warning-dark"_s);
    }
    // Refused with nobody holding it: the warning says the desktop refused it.
    backend.refusesEverything = true;
    testing::internal::CaptureStdout();
    setShortcut(Shortcut(Key::f5, ModifierFlags()), AppShortcutNames::captureText());
    testing::internal::GetCapturedStdout();
    QTest::qWait(10);
    EXPECT_EQ(recorder(AppShortcutNames::captureText()).warning(),
        u"The desktop does not give this shortcut to programs. Choose another one."_s);
}

// Where the desktop gives programs no shortcuts, the Shortcuts tab names the desktop's own
// place; on GNOME it offers to add the custom shortcut itself (clicked on a real GNOME
// session in capture-on-desktop.sh).
TEST_F(SettingsTest, ShortcutsTab_WhereTheDesktopGivesNoShortcuts_SaysWhatToBind)
{
    const ScopedEnv desktop("XDG_CURRENT_DESKTOP", {});
    // No program holds the shortcuts there: the fields do not say one does.
    backend.refusesEverything = true;
    testing::internal::CaptureStdout();
    setShortcut(shiftCommandX, AppShortcutNames::captureText());
    testing::internal::GetCapturedStdout();
    const struct {
        const char *desktop;
        const char *place;
        bool addsItself;
    } rows[] = {
        { "sway", "bindsym Mod4+Shift+x exec glyphwell --capture", false },
        { "KDE", "KDE System Settings &gt; Shortcuts", false },
        { "GNOME", "GNOME Settings &gt; Keyboard &gt; Keyboard Shortcuts &gt; Custom Shortcuts", true },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.desktop);
        qputenv("XDG_CURRENT_DESKTOP", row.desktop);
        setPlatformMethods({ u"portal screenshot"_s, u"desktop binding"_s });
        controller = std::make_unique<SettingsWindowController>(*preferences, dialogs);
        QWidget &settings = window();
        tabs().setCurrentIndex(1);
        const QLabel *note = settings.findChild<QLabel *>(u"desktopBindingNote"_s);
        QTest::qWait(20);
        EXPECT_EQ(recorder(AppShortcutNames::captureText()).warning(), QString());
        setPlatformMethods({});
        ASSERT_NE(note, nullptr);
        EXPECT_TRUE(note->text().contains(QLatin1String(row.place))) << note->text().toStdString();
        EXPECT_TRUE(note->isVisible());
        EXPECT_EQ(settings.findChild<QPushButton *>(u"addGnomeShortcut"_s) != nullptr, row.addsItself);
        if (row.addsItself)
            saveScreenshot(settings, u"settings-shortcuts-gnome"_s);
    }
}

} // namespace
