#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/RecorderCocoa/Recorder.h"
#include "KeyboardShortcuts/Registry.h"
#include "KeyboardShortcuts/x11/X11HotKeyBackend.h"
#include "XTestInput.h"
#include "app/AppShortcutNames.h"
#include "entry/GlyphwellApp.h"
#include "fakes/AppStateHarness.h"
#include "ui/MainWindow.h"
#include "ui/SettingsWindowController.h"
#include "ui/UiTestSupport.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTabWidget>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace KeyboardShortcuts;

namespace {

using namespace Keysym;
constexpr xcb_keysym_t keyK = 0x6b, keyJ = 0x6a, keyX = 0x78;

const Shortcut controlOptionK(Key::k, ModifierFlags::control | ModifierFlags::option);
const Shortcut shiftCommandX(Key::x, ModifierFlags::shift | ModifierFlags::command);

// The settings window driven with real keys and clicks: the hot keys are the X server's, the
// capture they start the application state's (with a selector that only counts).
class SettingsX11 : public ::testing::Test, public AppStateHarness {
protected:
    XTestInput input;
    X11HotKeyBackend backend;
    std::unique_ptr<Registry> registry;
    std::unique_ptr<GlyphwellApp> app;
    std::unique_ptr<SettingsWindowController> settings;

    void SetUp() override
    {
        ASSERT_TRUE(input.isValid());
        KeyboardShortcuts::setUserDefaults(&defaults);
        registry = std::make_unique<Registry>(backend);
        Registry::install(registry.get());
        // The program's names exist once per process: an earlier test may have made them.
        registry->initialize();
        reset(AppShortcutNames::captureText());
        makeState(); // registers the capture handlers
        app = std::make_unique<GlyphwellApp>(*state, notifications, [] { return false; });
        settings = std::make_unique<SettingsWindowController>(*preferences, dialogs);
        QObject::connect(app.get(), &GlyphwellApp::settingsRequested, [this] { settings->show(); });
    }
    void TearDown() override
    {
        settings.reset();
        app.reset();
        state.reset();
        Registry::install(nullptr);
        registry.reset();
        KeyboardShortcuts::setUserDefaults(nullptr);
    }

    // Whether the combination starts a capture now; a started one is cancelled again.
    bool startsACapture(std::initializer_list<xcb_keysym_t> keys, int holdMs = 30)
    {
        const int before = selector.calls;
        input.chord(keys, holdMs);
        const bool started = QTest::qWaitFor([&] { return selector.calls > before; }, 1000);
        if (started) {
            selector.cancel();
            EXPECT_TRUE(waitUntilNotCapturing());
        }
        return started;
    }
    RecorderCocoa &captureTextField() const
    {
        return settings->window()->findChild<Recorder *>(u"captureTextRecorder"_s)->field();
    }
    // Ctrl+, in the main window, then Ctrl+Tab to the shortcuts tab and Tab to the first field.
    void openSettingsFromTheMainWindow()
    {
        app->showMainWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&app->mainWindow()));
        input.chord({ controlL, comma });
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return settings->window() && settings->window()->isActiveWindow(); }, 5000))
            << "Ctrl+, did not open the settings";
        QTest::qWait(100);
        EXPECT_FALSE(captureTextField().isRecording()); // the window does not start recording by itself
        input.chord({ controlL, tab });
        EXPECT_EQ(settings->window()->findChild<QTabWidget *>()->currentIndex(), 1);
        input.chord({ tab });
        ASSERT_TRUE(captureTextField().isRecording()) << "Tab did not reach the Capture Text recorder first";
    }
    FakeNotifications notifications;
};

TEST_F(SettingsX11, RecordByKeyboardAndByClick_TheNewCombinationWorksAtOnce)
{
    EXPECT_TRUE(startsACapture({ shiftL, superL, keyX }));
    openSettingsFromTheMainWindow();
    RecorderCocoa &field = captureTextField();
    input.chord({ controlL, altL, keyK });
    EXPECT_EQ(getShortcut(AppShortcutNames::captureText()), controlOptionK);
    EXPECT_FALSE(field.isRecording());

    EXPECT_TRUE(startsACapture({ controlL, altL, keyK }));
    EXPECT_FALSE(startsACapture({ shiftL, superL, keyX }));

    // While recording, the combination the program holds reaches the recorder and is stored;
    // no capture starts.
    settings->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings->window()));
    field.setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(field.isRecording());
    EXPECT_FALSE(startsACapture({ controlL, altL, keyK }));
    EXPECT_EQ(getShortcut(AppShortcutNames::captureText()), controlOptionK);
    field.setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(startsACapture({ shiftL, superL, keyX }));
    EXPECT_EQ(getShortcut(AppShortcutNames::captureText()), shiftCommandX);
    EXPECT_TRUE(startsACapture({ shiftL, superL, keyX }));

    // A click on the field starts recording. The combination recorded is still down when its
    // grab is made: held past the server's key-repeat delay it starts no capture; the next
    // press does.
    settings->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings->window()));
    input.click(field.mapToGlobal(QPoint(field.width() / 3, field.height() / 2)));
    ASSERT_TRUE(field.isRecording());
    EXPECT_FALSE(startsACapture({ controlL, altL, keyK }, 1500));
    EXPECT_EQ(getShortcut(AppShortcutNames::captureText()), controlOptionK);
    EXPECT_TRUE(startsACapture({ controlL, altL, keyK }));
}

TEST_F(SettingsX11, CombinationAnotherClientHolds_BringsTheSystemAlert)
{
    const xcb_keycode_t j = input.keycodeOf(keyJ);
    ASSERT_TRUE(input.grab(j, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1));

    openSettingsFromTheMainWindow();
    RecorderCocoa &field = captureTextField();
    dialogs.answer = 0; // "OK": keep what is stored
    input.chord({ controlL, altL, keyJ });
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown.first().messageText, u"This shortcut is already used by the system."_s);
    EXPECT_EQ(getShortcut(AppShortcutNames::captureText()), shiftCommandX);
    // Recording resumes once the other program's grab has given the keyboard back.
    ASSERT_TRUE(QTest::qWaitFor([&] { return field.isRecording(); }, 1000));

    // "Use Anyway": stored, and the field says that the desktop did not give it to us.
    dialogs.answer = 1;
    input.chord({ controlL, altL, keyJ });
    ASSERT_EQ(dialogs.shown.size(), 2);
    EXPECT_EQ(getShortcut(AppShortcutNames::captureText()),
        Shortcut(Key::j, ModifierFlags::control | ModifierFlags::option));
    auto *recorder = settings->window()->findChild<Recorder *>(u"captureTextRecorder"_s);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recorder->warning().isEmpty(); }, 1000));
    EXPECT_TRUE(recorder->warning().contains(u"Another program holds this shortcut"_s));
    saveScreenshot(*settings->window(), u"x11-settings-shortcut-held-elsewhere"_s);

    // Once the other program lets go, the refused shortcut is asked for again when Glyphwell
    // comes back to the front or its settings open.
    const Shortcut controlOptionJ(Key::j, ModifierFlags::control | ModifierFlags::option);
    const struct {
        const char *when;
        std::function<void()> comeBack;
    } rows[] = {
        { "the settings open",
            [&] {
                settings->window()->close();
                settings->show();
            } },
        { "Glyphwell becomes active",
            [&] {
                settings->window()->close();
                // Another program's window takes the focus.
                input.takeFocus(1200, 0);
                ASSERT_TRUE(QTest::qWaitFor([] { return !QGuiApplication::focusWindow(); }, 2000));
                // The window manager's part: the main window gets the focus back.
                input.setFocus(xcb_window_t(app->mainWindow().winId()));
                ASSERT_TRUE(QTest::qWaitFor([] { return QGuiApplication::focusWindow(); }, 2000));
            } },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.when);
        setShortcut(shiftCommandX, AppShortcutNames::captureText());
        ASSERT_TRUE(input.grab(j, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1));
        testing::internal::CaptureStdout();
        setShortcut(controlOptionJ, AppShortcutNames::captureText());
        // The refusal is printed, as the server's error.
        EXPECT_EQ(QString::fromStdString(testing::internal::GetCapturedStdout()),
            u"Error registering hotkey %1: -9878\n"_s.arg(controlOptionJ.displayText()));
        ASSERT_FALSE(registry->layer().isHeldByPlatform(controlOptionJ));
        xcb_ungrab_key(input.connection(), j, input.root(), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1);
        input.sync();
        row.comeBack();
        EXPECT_TRUE(registry->layer().isHeldByPlatform(controlOptionJ));
        EXPECT_TRUE(startsACapture({ controlL, altL, keyJ }));
        if (settings->window()->isVisible())
            EXPECT_EQ(recorder->warning(), QString());
    }
}

} // namespace
