#include "UiTestSupport.h"
#include "fakes/DBusStandIn.h"
#include "fakes/PrivateBus.h"
#include "fakes/ScopedEnv.h"
#include "fakes/TestFiles.h"
#include "ui/BusySpinner.h"
#include "ui/ContentView.h"
#include "ui/DesktopColorScheme.h"
#include "ui/ElidedLabel.h"
#include "ui/HistoryRow.h"
#include "ui/Icons.h"
#include "ui/LanguagePicker.h"
#include "ui/LineLimitedLabel.h"
#include "ui/SettingsWindowController.h"
#include "ui/Style.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <ctime>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

class WindowTest : public ::testing::Test, public UiHarness {
protected:
    QAction *menuAction(const QString &title) const
    {
        for (QAction *action : app->mainWindow().menuActions())
            if (action->text().section(QLatin1Char('\t'), 0, 0) == title)
                return action;
        return nullptr;
    }
    CaptureHistoryItem item(const QString &text, const QString &language = u"automatic"_s) const
    {
        return { QUuid::createUuid(), text, QDateTime::currentDateTimeUtc(), language };
    }
};

// In each state the commands follow one enabling rule in every place (the main window's
// buttons and menu, the panel, the tray menu), and the text pane shows the text or the
// state's placeholder, this in a fainter colour.
TEST_F(WindowTest, ControlsAndTextPane_FollowTheState)
{
    makeApp();
    const struct {
        const char *state;
        std::function<void()> reach;
        bool capture, captureLast, copy, spinner;
        QString text;
        bool primary;
    } rows[] = {
        { "idle, nothing yet", [] {}, true, false, false, false, u"Captured OCR text will appear here."_s,
            false },
        { "success", [&] { capture(); }, true, true, true, false, u"recognized"_s, true },
        { "capturing", [&] { state->startCapture(); }, false, false, false, true,
            u"Waiting for a screen selection..."_s, false },
        { "cancelled after a success",
            [&] {
                selector.cancel();
                ASSERT_TRUE(waitUntilNotCapturing());
            },
            true, true, false, false, u"Screen capture was cancelled before an image was produced."_s,
            false },
        // White space is text here: shown as it is, in the primary colour, but not to be copied.
        { "only white space", [&] { state->selectHistoryItem(item(u" \n  "_s)); }, true, true, false, false,
            u" \n  "_s, true },
    };
    for (const auto &e : rows) {
        SCOPED_TRACE(e.state);
        e.reach();
        settle();
        EXPECT_EQ(inWindow("captureButton")->isEnabled(), e.capture);
        EXPECT_EQ(inWindow("noLineBreaksButton")->isEnabled(), e.capture);
        EXPECT_EQ(inWindow("captureLastButton")->isEnabled(), e.captureLast);
        EXPECT_EQ(inWindow("copyButton")->isEnabled(), e.copy);
        EXPECT_EQ(inWindow("exportButton")->isEnabled(), e.copy);
        EXPECT_EQ(!inWindow<BusySpinner>("captureSpinner")->isHidden(), e.spinner);
        for (const auto &[title, enabled] : { std::pair(u"Capture Text"_s, e.capture),
                 std::pair(u"No Line Breaks"_s, e.capture), std::pair(u"Capture Last"_s, e.captureLast),
                 std::pair(u"Copy Recognized Text"_s, e.copy), std::pair(u"Export…"_s, e.copy) })
            EXPECT_EQ(menuAction(title)->isEnabled(), enabled) << title.toStdString();
        EXPECT_EQ(inPanel("captureButton")->isEnabled(), e.capture);
        EXPECT_EQ(inPanel("copyButton")->isEnabled(), e.copy);
        EXPECT_EQ(inPanel("exportButton")->isEnabled(), e.copy);
        EXPECT_EQ(app->trayMenu().actions().first()->isEnabled(), e.capture);
        // Always usable.
        EXPECT_TRUE(inWindow<QComboBox>("languagePicker")->isEnabled());
        EXPECT_TRUE(inPanel("settingsButton")->isEnabled());

        EXPECT_EQ(inWindow<QPlainTextEdit>("textPane")->toPlainText(), e.text);
        EXPECT_EQ(app->mainWindow().contentView().showsTextInPrimaryColour(), e.primary);
        const QColor shown = inWindow<QPlainTextEdit>("textPane")->palette().color(QPalette::Text);
        EXPECT_EQ(shown.alphaF() == 1.0, e.primary);
    }
}

TEST_F(WindowTest, HistoryPane_EmptyStateRowsSelectionAndClearing)
{
    int counter = 0;
    textEngine.answer = [&](const QImage &) { return lines({ u"entry %1"_s.arg(++counter) }); };
    makeApp();
    auto *stack = app->mainWindow().findChild<QStackedWidget *>();
    ASSERT_TRUE(stack);
    const ContentView &view = app->mainWindow().contentView();
    EXPECT_EQ(stack->currentWidget()->objectName(), u"historyEmptyState"_s);
    EXPECT_TRUE(inWindow("clearHistoryButton")->isHidden());

    capture();
    capture();
    capture();
    settle();
    EXPECT_EQ(stack->currentWidget()->objectName(), u"historyList"_s);
    EXPECT_FALSE(inWindow("clearHistoryButton")->isHidden());
    ASSERT_EQ(view.historyRows().size(), 3);
    EXPECT_EQ(view.historyRows().first()->item().text, u"entry 3"_s);
    EXPECT_TRUE(view.historyRows().first()->isSelected());

    // A click on a row shows its text and highlights it alone.
    app->mainWindow().show();
    QTest::mouseClick(view.historyRows().last(), Qt::LeftButton);
    settle();
    EXPECT_EQ(state->extractedText(), u"entry 1"_s);
    EXPECT_EQ(inWindow<QPlainTextEdit>("textPane")->toPlainText(), u"entry 1"_s);
    EXPECT_FALSE(view.historyRows().first()->isSelected());
    EXPECT_TRUE(view.historyRows().last()->isSelected());
    QColor selected = view.historyRows().last()->backgroundColour();
    EXPECT_GT(selected.alphaF(), view.historyRows().first()->backgroundColour().alphaF());
    selected.setAlphaF(1);
    EXPECT_EQ(selected, app->mainWindow().palette().color(QPalette::Highlight));

    // Clearing: the empty state again, the text stays.
    inWindow("clearHistoryButton")->click();
    settle();
    EXPECT_TRUE(view.historyRows().isEmpty());
    EXPECT_EQ(stack->currentWidget()->objectName(), u"historyEmptyState"_s);
    EXPECT_TRUE(inWindow("clearHistoryButton")->isHidden());
    EXPECT_EQ(inWindow<QPlainTextEdit>("textPane")->toPlainText(), u"entry 1"_s);
}

TEST_F(WindowTest, HistoryRow_TimeInLocalTimeLanguageNameAndFourLines)
{
    ScopedEnv zone("TZ", QByteArray("Europe/Berlin"));
    tzset();
    HistoryRow row;
    row.resize(260, 100);
    const auto show = [&](const QString &text, const QString &language = QString()) {
        row.setItem(
            { QUuid::createUuid(), text, QDateTime(QDate(2024, 5, 1), QTime(7, 5, 7), Qt::UTC), language });
    };
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    for (const auto &[language, shown] :
        { std::pair(u"de-DE"_s, u"German"_s), std::pair(u"zh-Hans"_s, u"Chinese (Simplified)"_s),
            std::pair(u"automatic"_s, u"Automatic"_s), std::pair(u"xx-YY"_s, u"Automatic"_s) }) {
        show(u"x"_s, language);
        EXPECT_EQ(row.languageText(), shown);
    }
    // 07:05:07 UTC is 09:05 in Berlin in May, written the locale's way, and without the
    // seconds also where the locale's short time has them.
    for (const QLocale &locale : { QLocale(QLocale::German, QLocale::Germany), QLocale::c() }) {
        QLocale::setDefault(locale);
        show(u"x"_s);
        SCOPED_TRACE(row.timeText().toStdString());
        EXPECT_TRUE(row.timeText().endsWith(u"09:05"_s));
        EXPECT_TRUE(row.timeText().contains(locale == QLocale::c() ? u"2024"_s : u"01.05.24"_s));
    }
    QLocale::setDefault(QLocale::c());

    // At most four lines, wrapped ones counted, the last cut with "…".
    show(u"one\ntwo\nthree\nfour\nfive\nsix"_s);
    row.resize(row.width(), row.heightForWidth(row.width()));
    const QStringList shown = row.textLabel().visibleLines();
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown.first(), u"one"_s);
    EXPECT_TRUE(shown.last().startsWith(u"four"_s) && shown.last().endsWith(QChar(0x2026)))
        << shown.last().toStdString();
    show(u"one\ntwo"_s);
    EXPECT_EQ(row.textLabel().visibleLines(), (QStringList { u"one"_s, u"two"_s }));
    show(QString(400, QLatin1Char('w')));
    EXPECT_EQ(row.textLabel().visibleLines().size(), 4);
}

TEST_F(WindowTest, LanguagePickers_AreOneSetting)
{
    makeApp();
    auto *main = inWindow<QComboBox>("languagePicker");
    auto *panel = inPanel<QComboBox>("languagePicker");
    ASSERT_EQ(main->count(), 10);
    EXPECT_EQ(main->currentText(), u"Automatic"_s);
    main->activated(main->findData(u"ja-JP"_s));
    settle();
    EXPECT_EQ(state->selectedLanguageIdentifier(), u"ja-JP"_s);
    EXPECT_EQ(panel->currentText(), u"Japanese"_s);
    EXPECT_TRUE(historyFile().contains("ja-JP"));
    panel->activated(panel->findData(u"fr-FR"_s));
    settle();
    EXPECT_EQ(main->currentText(), u"French"_s);
    state->setSelectedLanguageIdentifier(u"xx-YY"_s);
    settle();
    EXPECT_EQ(main->currentText(), u"Automatic"_s);
}

TEST_F(WindowTest, Panel_KeysAreItsOwn)
{
    makeApp();
    MenuBarContentView &panel = app->panel();
    QSignalSpy settings(&app->panel(), &MenuBarContentView::settingsRequested);
    QSignalSpy quit(&app->panel(), &MenuBarContentView::quitRequested);
    // A button's key clicks it a moment later, as if pressed by hand.
    auto press = [&](Qt::Key key) {
        panel.popUp(QPoint(400, 300));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&panel));
        QTest::keyClick(panel.windowHandle(), key, Qt::ControlModifier);
        QTest::qWait(250);
    };

    press(Qt::Key_C);
    EXPECT_TRUE(selector.pending());
    EXPECT_FALSE(panel.isVisible()); // the overlay needs the screen
    // While capturing, Ctrl+C does nothing; the other keys still work.
    press(Qt::Key_C);
    EXPECT_EQ(selector.calls, 1);
    EXPECT_TRUE(panel.isVisible());
    press(Qt::Key_Comma);
    EXPECT_EQ(settings.count(), 1);
    EXPECT_FALSE(panel.isVisible());
    press(Qt::Key_Q);
    EXPECT_EQ(quit.count(), 1);
    selector.cancel();
    ASSERT_TRUE(waitUntilNotCapturing());
}

TEST(PanelPosition, UnderThePointerOrAboveAndAlwaysOnTheScreen)
{
    const QRect screen(0, 0, 1920, 1080);
    const struct {
        QPoint pointer;
        QRect screen;
        QPoint expected;
    } rows[] {
        { { 960, 30 }, screen, { 810, 30 } }, // a bar at the top: below the pointer
        { { 960, 1070 }, screen, { 810, 690 } }, // a bar at the bottom: above it
        { { 1915, 1070 }, screen, { 1620, 690 } }, // the corner: pushed inside
        { { 3, 5 }, screen, { 0, 5 } },
        { { 1930, 10 }, QRect(1920, 0, 1280, 1024), { 1920, 10 } }, // a second screen to the right
        { { 50, 50 }, QRect(0, 0, 200, 200), { 0, 0 } }, // a screen smaller than the panel
    };
    for (const auto &row : rows)
        EXPECT_EQ(MenuBarContentView::panelPosition(row.pointer, row.screen, MenuBarContentView::panelSize),
            row.expected)
            << row.pointer.x();
}

TEST_F(WindowTest, Views_RedrawOncePerTurnAndReadThePermissionWhenShown)
{
    makeApp();
    QLabel *status = inWindow<QLabel>("statusLine");
    // Several changes in one turn: nothing drawn yet, then the end state at once.
    capture();
    settle();
    state->clearHistory();
    state->selectHistoryItem(item(u"picked"_s));
    EXPECT_EQ(inWindow<QPlainTextEdit>("textPane")->toPlainText(), u"recognized"_s);
    settle();
    EXPECT_EQ(inWindow<QPlainTextEdit>("textPane")->toPlainText(), u"picked"_s);
    EXPECT_EQ(status->text(), u"Text extracted successfully."_s);

    const int before = access.preflightCalls;
    app->mainWindow().show();
    EXPECT_GT(access.preflightCalls, before);
    const int panelBefore = access.preflightCalls;
    app->panel().popUp(QPoint(10, 10));
    EXPECT_GT(access.preflightCalls, panelBefore);
    app->panel().close();
}

TEST_F(WindowTest, Start_OpensTheWindowUnlessATrayHoldsTheProgram)
{
    // A start by --capture stays in the tray like --background: the window would take the
    // focus from where the text is to be pasted. --background: windows-and-tray.sh.
    const struct {
        const char *action;
        bool tray, windowAtOnce, windowLater;
    } cases[] = {
        { "", false, true, true },
        { "", true, true, true },
        { "capture-text", true, false, false },
        { "capture-last-selection", true, false, false },
        { "capture-without-line-breaks", false, false, true },
        { "show-main-window", true, true, true },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "action " << c.action << ", tray " << c.tray);
        trayAvailable = c.tray;
        makeApp();
        app->start({ false, QString::fromLatin1(c.action) });
        EXPECT_EQ(app->mainWindow().isVisible(), c.windowAtOnce);
        if (selector.pending())
            selector.cancel();
        QTest::qWait(app->trayWaitMs + 300);
        EXPECT_EQ(app->mainWindow().isVisible(), c.windowLater);
        app.reset();
    }
}

// Clear History can be taken back while the program runs: from Edit > Undo, with Ctrl+Z or
// by the status line's link, which stays a few seconds. What was captured since stays first;
// the whole is kept within the limit and written to the file.
TEST_F(WindowTest, ClearHistory_CanBeUndoneWhileTheProgramRuns)
{
    enum class Way { menu, keys, link };
    struct Case {
        const char *name;
        Way way;
        int before, since; // captures before the clearing and after it
        int offerMs; // how long the link stays
    };
    const int offer = ContentView::undoOfferMs;
    const auto ids = [](const QList<CaptureHistoryItem> &history) {
        QList<QUuid> ids;
        for (const CaptureHistoryItem &item : history)
            ids.append(item.id);
        return ids;
    };
    for (const Case &c : { Case { "menu", Way::menu, 3, 0, offer }, Case { "ctrl+z", Way::keys, 3, 1, offer },
             Case { "link", Way::link, 3, 0, offer },
             Case { "over the limit, the link gone", Way::menu, AppState::historyLimit, 3, 100 } }) {
        SCOPED_TRACE(c.name);
        ContentView::undoOfferMs = c.offerMs;
        QFile::remove(historyPath());
        makeApp();
        MainWindow &window = app->mainWindow();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        for (int i = 0; i < c.before; ++i)
            capture();
        const QList<CaptureHistoryItem> cleared = state->captureHistory();
        state->selectHistoryItem(cleared.at(1));
        settle();
        QLabel *link = inWindow<QLabel>("undoClearHistoryLink");
        QAction *undo = menuAction(u"Undo Clear History"_s);
        ASSERT_TRUE(link && undo);
        EXPECT_FALSE(undo->isEnabled());
        inWindow("clearHistoryButton")->click();
        settle();
        window.refreshMenu();
        EXPECT_TRUE(state->captureHistory().isEmpty());
        EXPECT_TRUE(link->isVisible());
        EXPECT_TRUE(undo->isEnabled());
        if (c.way == Way::link)
            saveScreenshot(window, u"main-window-history-cleared-undo"_s);
        for (int i = 0; i < c.since; ++i) {
            QTest::qWait(2); // later than the cleared ones
            capture();
        }
        if (c.offerMs < offer) { // the link leaves the status line; the menu keeps its Undo
            EXPECT_TRUE(QTest::qWaitFor([&] { return !link->isVisible(); }, 2000));
            window.refreshMenu();
            EXPECT_TRUE(undo->isEnabled());
        }
        const QList<CaptureHistoryItem> since = state->captureHistory();
        if (c.way == Way::menu)
            undo->trigger();
        else if (c.way == Way::link)
            Q_EMIT link->linkActivated(u"undo"_s);
        else {
            window.activateWindow();
            QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
        }
        settle();
        window.refreshMenu();
        QList<CaptureHistoryItem> expected = since + cleared;
        expected.resize(qMin<qsizetype>(expected.size(), AppState::historyLimit));
        EXPECT_EQ(state->captureHistory(), expected);
        // The old selection comes back unless a newer capture made its own.
        EXPECT_EQ(state->selectedHistoryItemID(), c.since ? since.first().id : cleared.at(1).id);
        // The file keeps whole seconds: the entries are told by their ids.
        EXPECT_EQ(ids(decodePersistedState(historyFile())->history), ids(expected));
        EXPECT_FALSE(link->isVisible());
        EXPECT_FALSE(undo->isEnabled());
        EXPECT_EQ(app->mainWindow().contentView().historyRows().size(), expected.size());
        app.reset();
    }
    ContentView::undoOfferMs = offer;
}

// A stored frame comes back only when it can be read and enough of its top lies on a screen
// to take hold of it.
TEST(MainWindowFrame, RestoredOnlyWhereItCanBeReachedAgain)
{
    const QList<QRect> one { QRect(0, 0, 1920, 1080) };
    const QList<QRect> two { QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024) };
    struct Case {
        std::optional<QString> stored;
        QList<QRect> screens;
        std::optional<QRect> expected;
    };
    const Case cases[] {
        { std::nullopt, one, std::nullopt },
        { u"40 30 900 620"_s, one, QRect(40, 30, 900, 620) },
        { u"2000 100 900 620"_s, two, QRect(2000, 100, 900, 620) },
        // The second monitor is gone.
        { u"2000 100 900 620"_s, one, std::nullopt },
        // 20 pixels of it left on the screen; then 120.
        { u"-880 10 900 600"_s, one, std::nullopt },
        { u"1800 10 900 600"_s, one, QRect(1800, 10, 900, 600) },
        // Its title bar above the screen.
        { u"100 -600 900 610"_s, one, std::nullopt },
        { u"0 0 0 0"_s, one, std::nullopt },
        { u"10 10 99999999 600"_s, one, std::nullopt },
        { u"ten 10 900 600"_s, one, std::nullopt },
        { u"10 10 900"_s, one, std::nullopt },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stored.value_or(u"(none)"_s).toStdString());
        EXPECT_EQ(MainWindow::restorableFrame(c.stored, c.screens), c.expected);
    }
}

// Closed, the window keeps its frame for the next start; the first close says where
// Glyphwell went (the tray, or the applications menu without one), once, kept in the
// settings; where nothing could say it, the next close tries again.
TEST_F(WindowTest, MainWindow_RemembersItsFrameAndSaysOnceThatItKeepsRunning)
{
    struct Case {
        bool tray, notifications;
        const char *where; // in the notice; empty when none can be shown
    };
    for (const Case &c : { Case { true, true, "tray" }, Case { false, true, "applications menu" },
             Case { false, false, "" } }) {
        SCOPED_TRACE(c.where);
        defaults.removeObject(GlyphwellApp::runningNoticeKey);
        defaults.removeObject(MainWindow::frameKey);
        trayAvailable = c.tray;
        notifications.available = c.notifications;
        notifications.bodies.clear();
        makeApp();
        MainWindow &window = app->mainWindow();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        const QRect frame(40, 30, 900, 620);
        window.setGeometry(frame);
        settle();
        for (int close = 0; close < 2; ++close) {
            window.close();
            settle();
            EXPECT_FALSE(window.isVisible());
            window.show();
            settle();
        }
        if (*c.where) {
            ASSERT_EQ(notifications.bodies.size(), 1);
            EXPECT_TRUE(notifications.bodies.first().contains(QLatin1String(c.where)));
            EXPECT_TRUE(notifications.bodies.first().contains(u"Shift+Super+X"_s));
        } else {
            EXPECT_TRUE(notifications.bodies.isEmpty());
        }
        EXPECT_EQ(defaults.boolForKey(GlyphwellApp::runningNoticeKey), *c.where != 0);
        // The next start: the same frame.
        app.reset();
        makeApp();
        EXPECT_EQ(app->mainWindow().geometry(), frame);
        app.reset();
    }
}

TEST_F(WindowTest, Actions_OfTheRunningInstanceCallTheStateOperations)
{
    // What the launch's token is used for: the overlay that a capture brings up, or the window.
    struct RecordingActivation : QtWindowActivation {
        QStringList calls;
        void activate(QWidget &window, const QString &startupId) override
        {
            calls << u"activate "_s + startupId;
            QtWindowActivation::activate(window, startupId);
        }
        void expectActivation(const QString &startupId) override { calls << u"expect "_s + startupId; }
    } recording;
    activation = &recording;
    makeApp();
    capture();
    app->perform(u"capture-without-line-breaks"_s, u"token-1"_s);
    EXPECT_EQ(recording.calls, QStringList { u"expect token-1"_s });
    ASSERT_TRUE(QTest::qWaitFor([&] { return selector.pending(); }, 2000));
    selector.finish(QRectF(0, 0, 30, 30));
    ASSERT_TRUE(waitUntilNotCapturing());
    const int reads = textEngine.calls;
    app->perform(u"capture-last-selection"_s);
    ASSERT_TRUE(waitUntilNotCapturing());
    EXPECT_EQ(textEngine.calls, reads + 1);
    EXPECT_EQ(selector.calls, 2);
    EXPECT_FALSE(app->mainWindow().isVisible());
    app->perform(u"show-main-window"_s, u"token-2"_s);
    EXPECT_TRUE(app->mainWindow().isVisible());
    EXPECT_EQ(recording.calls.last(), u"activate token-2"_s);
    app.reset();
}

// The global shortcuts, in Linux notation, beside the capture commands wherever they are
// offered; they follow a change and go when cleared.
TEST_F(WindowTest, Shortcuts_ShownBesideTheCaptureCommands)
{
    using namespace KeyboardShortcuts;
    makeApp();
    setShortcut(Shortcut(Key::l, ModifierFlags::control | ModifierFlags::option),
        AppShortcutNames::captureLastSelection());
    settle();
    const struct {
        const char *place;
        std::function<QString()> shown;
        QString withDefault, changed, cleared;
    } rows[] = {
        { "menu item", [&] { return menuAction(u"Capture Text"_s)->text(); },
            u"Capture Text\tShift+Super+X"_s, u"Capture Text\tCtrl+Super+Page Up"_s, u"Capture Text"_s },
        { "window button", [&] { return inWindow("captureButton")->toolTip(); },
            u"Capture Text (Shift+Super+X)"_s, u"Capture Text (Ctrl+Super+Page Up)"_s, u"Capture Text"_s },
        { "panel", [&] { return inPanel<QLabel>("captureShortcutLabel")->text(); }, u"Shift+Super+X"_s,
            u"Ctrl+Super+Page Up"_s, QString() },
        { "tray menu", [&] { return app->trayMenu().actions().first()->text(); },
            u"Capture Text\tShift+Super+X"_s, u"Capture Text\tCtrl+Super+Page Up"_s, u"Capture Text"_s },
        { "tray tooltip", [&] { return app->trayIcon().toolTip().section(QLatin1Char('\n'), 2); },
            u"Capture Text: Shift+Super+X"_s, u"Capture Text: Ctrl+Super+Page Up"_s, QString() },
    };
    const auto each = [&](auto expected) {
        settle();
        for (const auto &row : rows) {
            SCOPED_TRACE(row.place);
            EXPECT_EQ(row.shown(), expected(row));
        }
    };
    each([](const auto &row) { return row.withDefault; });
    EXPECT_EQ(menuAction(u"Capture Last"_s)->text(), u"Capture Last\tCtrl+Alt+L"_s);
    setShortcut(Shortcut(Key::pageUp, ModifierFlags::control | ModifierFlags::command),
        AppShortcutNames::captureText());
    each([](const auto &row) { return row.changed; });
    setShortcut(std::nullopt, AppShortcutNames::captureText());
    each([](const auto &row) { return row.cleared; });
    setShortcut(std::nullopt, AppShortcutNames::captureLastSelection());
}

// The icon theme's symbols where they were drawn for the palette in use; where a dark palette
// took the place of the platform's light one, ours in its text colour, and back again.
TEST(SymbolIcons, ThemeSymbolsWhereTheyFitThePaletteOursElsewhere)
{
    // A theme of the test's own, whose copy symbol is a red square.
    QTemporaryDir folder;
    ASSERT_TRUE(QDir(folder.path()).mkpath(u"red/24x24/actions"_s));
    ASSERT_TRUE(writeFile(folder.filePath(u"red/index.theme"_s),
        "[Icon Theme]\nName=Red\nDirectories=24x24/actions\n[24x24/actions]\nSize=24\nType=Fixed\n"));
    ASSERT_TRUE(writeFile(folder.filePath(u"red/24x24/actions/edit-copy.svg"_s),
        R"(<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24"><rect x="4" y="4" width="16" height="16" fill="#ff0000"/></svg>)"));
    const QString theme = QIcon::themeName();
    const QStringList paths = QIcon::themeSearchPaths();
    QIcon::setThemeSearchPaths({ folder.path() });
    QIcon::setThemeName(u"red"_s);
    ASSERT_TRUE(QIcon::hasThemeIcon(u"edit-copy"_s));
    DesktopColorScheme scheme;
    const QImage themed = QIcon::fromTheme(u"edit-copy"_s).pixmap(24).toImage();
    for (const auto preference : { DesktopColorScheme::Scheme::light, DesktopColorScheme::Scheme::dark,
             DesktopColorScheme::Scheme::light }) {
        SCOPED_TRACE(int(preference));
        scheme.apply(preference);
        const QImage shown = symbolIcon(u"doc.on.doc"_s).pixmap(24).toImage();
        if (preference == DesktopColorScheme::Scheme::light) {
            EXPECT_EQ(shown, themed);
            EXPECT_EQ(shown.pixelColor(12, 12), QColor(Qt::red));
            continue;
        }
        const auto [ink, off] = inkIn(shown, QApplication::palette().color(QPalette::WindowText));
        EXPECT_GT(ink, 20);
        EXPECT_EQ(off, 0);
    }
    QIcon::setThemeSearchPaths(paths);
    QIcon::setThemeName(theme);
}

// The desktop's preference comes from the portal's settings: read at start, followed when
// the user switches; an answer that is no scheme changes nothing.
TEST(DesktopColorSchemeTest, ReadsThePortalAndFollowsItsChanges)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    QDBusConnection portal = bus.connect(u"portal"_s);
    QDBusConnection ours = bus.connect(u"ours"_s);
    QVariant answer;
    DBusStandIn settings(portal, [&answer](const QDBusMessage &message, QDBusConnection &connection) {
        return message.member() == QLatin1String("Read")
            && connection.send(message.createReply(
                QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(answer))))));
    });
    ASSERT_TRUE(portal.registerService(u"org.freedesktop.portal.Desktop"_s));
    ASSERT_TRUE(portal.registerVirtualObject(u"/org/freedesktop/portal/desktop"_s, &settings));
    const QPalette light = QApplication::palette();
    using Scheme = DesktopColorScheme::Scheme;
    struct Case {
        QVariant answer;
        Scheme expected;
        std::vector<std::pair<uint, Scheme>> changes;
    };
    const Case cases[] {
        { QVariant(1u), Scheme::dark,
            { { 2u, Scheme::light }, { 1u, Scheme::dark }, { 0u, Scheme::noPreference } } },
        { QVariant(2u), Scheme::light, { { 1u, Scheme::dark } } },
        { QVariant(0u), Scheme::noPreference, {} },
        { QVariant(u"dark"_s), Scheme::noPreference, {} },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer.toString().toStdString());
        answer = c.answer;
        DesktopColorScheme scheme;
        QSignalSpy changed(&scheme, &DesktopColorScheme::schemeChanged);
        scheme.watch(ours);
        if (c.expected != Scheme::noPreference)
            ASSERT_TRUE(changed.wait(5000));
        else
            QTest::qWait(300);
        EXPECT_EQ(scheme.scheme(), c.expected);
        EXPECT_EQ(DesktopColorScheme::isDark(QApplication::palette()), c.expected == Scheme::dark);
        for (const auto &change : c.changes) {
            const auto [value, expected] = change;
            QDBusMessage signal = QDBusMessage::createSignal(u"/org/freedesktop/portal/desktop"_s,
                u"org.freedesktop.portal.Settings"_s, u"SettingChanged"_s);
            signal << u"org.freedesktop.appearance"_s << u"color-scheme"_s
                   << QVariant::fromValue(QDBusVariant(value));
            ASSERT_TRUE(portal.send(signal));
            ASSERT_TRUE(
                QTest::qWaitFor([&, expected = expected] { return scheme.scheme() == expected; }, 5000));
            EXPECT_EQ(DesktopColorScheme::isDark(QApplication::palette()), expected == Scheme::dark);
        }
        scheme.apply(Scheme::light);
        QApplication::setPalette(light);
    }
}

TEST_F(WindowTest, Failure_NobodySeesIsNotifiedAndTheTrayToolTipFollows)
{
    makeApp();
    textEngine.answer = [](const QImage &) { return std::nullopt; };
    capture();
    settle();
    EXPECT_EQ(notifications.bodies, QStringList { u"Vision text recognition failed."_s });
    EXPECT_EQ(app->trayIcon().toolTip(),
        u"Glyphwell\nVision text recognition failed.\nCapture Text: Shift+Super+X"_s);

    // The user's own cancel needs no notice; a failure shown in a window neither.
    state->startCapture();
    settle();
    selector.cancel();
    ASSERT_TRUE(waitUntilNotCapturing());
    settle();
    app->mainWindow().show();
    capture();
    settle();
    EXPECT_EQ(notifications.bodies.size(), 1);

    // Successes stay quiet. While the text is read, the tray icon shows that Glyphwell is busy,
    // so a user who pastes too early knows why nothing came.
    app->mainWindow().hide();
    const auto iconImage = [&] { return app->trayIcon().icon().pixmap(32, 32).toImage(); };
    const QImage idle = iconImage();
    QSemaphore reading, release;
    textEngine.answer = [&](const QImage &) {
        reading.release();
        release.acquire();
        return lines({ u"fine"_s });
    };
    state->startCapture();
    ASSERT_TRUE(QTest::qWaitFor([&] { return selector.pending(); }, 3000));
    selector.finish(QRectF(10, 20, 100, 40));
    ASSERT_TRUE(QTest::qWaitFor([&] { return reading.available() > 0; }, 3000));
    settle();
    const QImage busy = iconImage();
    EXPECT_NE(busy, idle);
    {
        QLabel shown;
        shown.setPixmap(QPixmap::fromImage(busy));
        shown.resize(busy.size());
        saveScreenshot(shown, u"tray-icon-busy"_s);
    }
    release.release();
    ASSERT_TRUE(waitUntilNotCapturing());
    settle();
    EXPECT_EQ(iconImage(), idle);
    EXPECT_EQ(notifications.bodies.size(), 1);
    EXPECT_EQ(
        app->trayIcon().toolTip(), u"Glyphwell\nText extracted successfully.\nCapture Text: Shift+Super+X"_s);
}

TEST_F(WindowTest, LargeEntries_KeepTheWindowAnswering)
{
    // 25 entries of 1 MB: recognised pages (lines of text) and one endless line each.
    PersistedGlyphwellState file { {}, u"automatic"_s };
    const QString line = u"The quick brown fox jumps over the lazy dog 0123456789 again and again.\n"_s;
    for (int i = 0; i < 25; ++i) {
        QString text = i % 2 ? QString(1 << 20, QLatin1Char('w')) : line.repeated((1 << 20) / line.size());
        text.prepend(u"entry %1 "_s.arg(i));
        file.history.append(
            { QUuid::createUuid(), text, QDateTime::currentDateTimeUtc().addSecs(-i), u"automatic"_s });
    }
    ASSERT_TRUE(writeFileAtomically(historyPath(), encodePersistedState(file), FileAccess::privateToUser));
    makeApp();
    ASSERT_EQ(state->captureHistory().size(), 25);

    // The main thread's processor time for each step, so that other builds on the machine do not count.
    const auto step = [](const char *name, const std::function<void()> &work) {
        const auto cpuMs = [] {
            timespec now {};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
            return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
        };
        const qint64 start = cpuMs();
        work();
        EXPECT_LT(cpuMs() - start, 100) << name;
    };
    step("show the window", [&] {
        app->mainWindow().resize(900, 640);
        app->mainWindow().show();
    });
    step("lay out and draw it", [&] { settle(); });
    step("draw it again", [&] { app->mainWindow().repaint(); });
    ASSERT_EQ(app->mainWindow().findChildren<HistoryRow *>().size(), 25);
    for (const CaptureHistoryItem &item : state->captureHistory()) {
        step(qPrintable(item.text.left(8)), [&] {
            state->selectHistoryItem(item);
            settle();
            app->mainWindow().repaint();
        });
    }
    step("open the panel", [&] {
        app->panel().show();
        settle();
        app->panel().repaint();
    });

    // The pane shows the start and says the rest is there; Copy takes the whole text.
    auto *pane = inWindow<QPlainTextEdit>("textPane");
    EXPECT_TRUE(pane->toPlainText().startsWith(state->captureHistory().last().text.left(1000)));
    EXPECT_TRUE(pane->toPlainText().contains(u"Copy and Export take the whole text"_s));
    state->copyExtractedText();
    EXPECT_EQ(pasteboard.contents, state->captureHistory().last().text);
    pane->verticalScrollBar()->setValue(pane->verticalScrollBar()->maximum());
    saveScreenshot(app->mainWindow(), u"main-window-large-entries"_s);
}

// Top edge of a child in the window's coordinates.
int topOf(const QWidget *child, const QWidget &window)
{
    return child->mapTo(&window, QPoint(0, 0)).y();
}

class Screenshots : public ::testing::Test, public UiHarness {
protected:
    void SetUp() override
    {
        textEngine.answer = [this](const QImage &) {
            static const QStringList texts { u"Invoice 2024-0117\nTotal due: 1,284.50 EUR\nPay by 31 May"_s,
                u"git rebase --onto main feature~3 feature\nSuccessfully rebased and updated "
                "refs/heads/feature."_s,
                u"The quick brown fox jumps over the lazy dog.\nPack my box with five dozen liquor jugs.\n"
                "How vexingly quick daft zebras jump!\nSphinx of black quartz, judge my vow.\n"
                "A fifth line that the row leaves out."_s };
            return lines({ texts[(count++) % texts.size()] });
        };
    }
    void showMainWindow()
    {
        app->mainWindow().resize(960, 680);
        app->mainWindow().show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&app->mainWindow()));
        settle();
    }
    int count = 0;
};

TEST_F(Screenshots, MainWindow_InItsStates)
{
    makeApp();
    showMainWindow();
    MainWindow &window = app->mainWindow();
    saveScreenshot(window, u"main-window-empty"_s);

    // The text column beside the narrower history, the whole window wide enough for both.
    const auto boxes = window.findChildren<QGroupBox *>();
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[1]->title(), u"Capture History"_s);
    EXPECT_GT(boxes[0]->width(), boxes[1]->width());
    EXPECT_GE(window.contentView().width(), 820);

    capture();
    capture();
    capture();
    state->selectHistoryItem(state->captureHistory().at(1));
    settle();
    saveScreenshot(window, u"main-window-history-selected"_s);

    state->startCapture();
    settle();
    const int step = inWindow<BusySpinner>("captureSpinner")->step();
    QTest::qWait(300);
    EXPECT_GE(inWindow<BusySpinner>("captureSpinner")->step(), step + 2) << "the spinner stood still";
    saveScreenshot(window, u"main-window-capturing"_s);
    selector.cancel();
    ASSERT_TRUE(waitUntilNotCapturing());

    access.granted = false;
    state->updatePermissionStatus();
    settle();
    saveScreenshot(window, u"main-window-permission-banner"_s);
    // The banner comes below the status and the language, above the commands and the text.
    const int banner = topOf(inWindow<QWidget>("permissionBanner"), window);
    EXPECT_LT(topOf(inWindow<QComboBox>("languagePicker"), window), banner);
    EXPECT_LT(topOf(inWindow<QLabel>("statusLine"), window), banner);
    EXPECT_LT(banner, topOf(inWindow("captureButton"), window));
    EXPECT_LT(banner, topOf(inWindow<QPlainTextEdit>("textPane"), window));
}

// The panel's sections follow the permission and the history: the notice until "Check Again"
// finds the permission, the newest capture (not the selected one) while there is one.
TEST_F(Screenshots, TrayPanel_SectionsFollowThePermissionAndTheHistory)
{
    access.granted = false;
    makeApp();
    MenuBarContentView &panel = app->panel();
    const auto show = [&](const QString &picture) {
        panel.popUp(QPoint(600, 20));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
        settle();
        saveScreenshot(panel, picture);
        EXPECT_EQ(panel.size(), MenuBarContentView::panelSize);
    };
    show(u"tray-panel-permission"_s);
    EXPECT_FALSE(inWindow<QWidget>("permissionBanner")->isHidden());
    EXPECT_FALSE(inPanel<QWidget>("permissionSection")->isHidden());
    EXPECT_TRUE(inPanel<QWidget>("recentCaptureSection")->isHidden());
    access.granted = true;
    inPanel("checkAgainButton")->click();
    settle();
    EXPECT_TRUE(inWindow<QWidget>("permissionBanner")->isHidden());
    EXPECT_TRUE(inPanel<QWidget>("permissionSection")->isHidden());
    panel.close();
    show(u"tray-panel-empty"_s);
    panel.close();

    capture();
    capture();
    state->selectHistoryItem(state->captureHistory().last());
    show(u"tray-panel-recent-capture"_s);
    EXPECT_FALSE(inPanel<QWidget>("recentCaptureSection")->isHidden());
    EXPECT_EQ(inPanel<QLabel>("recentCaptureText")->text(), state->captureHistory().first().text);
    // Between the status and the bottom bar, the newest capture takes the room down to it.
    const QWidget *section = inPanel<QWidget>("recentCaptureSection");
    EXPECT_LT(topOf(inPanel<QWidget>("statusLine"), panel), topOf(section, panel));
    EXPECT_EQ(topOf(section, panel) + section->height(), topOf(inPanel<QWidget>("bottomDivider"), panel));
    EXPECT_GT(inPanel<QWidget>("recentCaptureScroll")->height(), 80);
    panel.close();

    state->clearHistory();
    settle();
    EXPECT_TRUE(inPanel<QWidget>("recentCaptureSection")->isHidden());
    EXPECT_EQ(panel.size(), MenuBarContentView::panelSize);
}

// The panel parts from what lies below: a one-pixel border where no compositor runs, a
// shadow around it where one does (its shade on a real screen: MainWindowX11Tests); either
// way the panel itself keeps its size.
TEST_F(Screenshots, TrayPanel_EdgeWithAndWithoutACompositor)
{
    makeApp();
    capture();
    using Edge = MenuBarContentView::Edge;
    DesktopColorScheme scheme;
    for (const auto preference : { DesktopColorScheme::Scheme::light, DesktopColorScheme::Scheme::dark }) {
        scheme.apply(preference);
        for (const Edge edge : { Edge::border, Edge::shadow }) {
            const QString name = QLatin1String(edge == Edge::border ? "border" : "shadow")
                + QLatin1String(preference == DesktopColorScheme::Scheme::dark ? "-dark" : "");
            SCOPED_TRACE(name.toStdString());
            MenuBarContentView panel(*state, edge);
            panel.popUp(QPoint(600, 300));
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
            settle();
            const QWidget *frame = panel.findChild<QWidget *>(u"panelFrame"_s);
            ASSERT_NE(frame, nullptr);
            EXPECT_EQ(frame->size() + QSize(2, 2), MenuBarContentView::panelSize);
            const int margin = edge == Edge::shadow ? MenuBarContentView::shadowMargin : 0;
            EXPECT_EQ(panel.size(), MenuBarContentView::panelSize + QSize(2 * margin, 2 * margin));
            const QImage picture = panel.grab().toImage().convertToFormat(QImage::Format_ARGB32);
            const QColor window = panel.palette().color(QPalette::Window);
            // The edge, half-way down the left side, against the panel's own colour.
            const QColor line = picture.pixelColor(margin, margin + 190);
            EXPECT_GE(Style::contrastRatio(line, window), 1.3) << line.name().toStdString();
            EXPECT_EQ(picture.pixelColor(margin + 1, margin + 190).rgb(), window.rgb());
            saveScreenshot(panel, u"tray-panel-edge-"_s + name);
            panel.close();
        }
    }
    scheme.apply(DesktopColorScheme::Scheme::light);
}

// Every window in the light palette, switched to the dark one and back while the program
// runs, and at 1.3 times the default font, written to the screenshots. In each, every plain
// label, button title and the recognized text read on their background (4.5:1, drawn colours
// blended), labels fit their widgets or end in "…", nothing in a list is wider than its
// view, a language picker shows its name whole or cut with "…" (its open list has room for
// every name), and our symbols are drawn in the text colour (greyed when disabled).
TEST_F(Screenshots, EveryWindow_LightDarkAndBackWhileRunningAndAtLargerFont)
{
    const QFont original = QApplication::font();
    DesktopColorScheme scheme;
    std::unique_ptr<SettingsWindowController> settings;
    const auto open = [&] {
        makeApp();
        capture();
        capture();
        state->setSelectedLanguageIdentifier(u"zh-Hans"_s);
        showMainWindow();
        app->panel().popUp(QPoint(400, 300));
        settings = std::make_unique<SettingsWindowController>(*preferences, dialogs);
        settings->show();
        settle();
    };
    for (const char *name : { "light", "dark", "light-again", "larger-font" }) {
        SCOPED_TRACE(name);
        const QLatin1String look(name);
        if (look == QLatin1String("light")) {
            open();
        } else if (look == QLatin1String("larger-font")) {
            settings.reset();
            app.reset();
            QFont larger = original;
            larger.setPointSizeF(original.pointSizeF() * 1.3);
            QApplication::setFont(larger);
            open();
        } else {
            scheme.apply(look == QLatin1String("dark") ? DesktopColorScheme::Scheme::dark
                                                       : DesktopColorScheme::Scheme::light);
            settle();
        }
        ASSERT_TRUE(QTest::qWaitForWindowExposed(settings->window()));
        auto *tabs = settings->window()->findChild<QTabWidget *>();
        ASSERT_NE(tabs, nullptr);
        tabs->setCurrentIndex(0);
        const std::vector<std::pair<QWidget *, QString>> windows {
            { &app->mainWindow(), u"main-window"_s },
            { &app->panel(), u"tray-panel"_s },
            { settings->window(), u"settings-general"_s },
            { settings->window(), u"settings-shortcuts"_s },
        };
        for (const auto &[window, picture] : windows) {
            SCOPED_TRACE(picture.toStdString());
            if (picture == QLatin1String("settings-shortcuts")) {
                tabs->setCurrentIndex(1);
                settle();
            }
            const QColor background = window->palette().color(QPalette::Window);
            const auto readable = [&](const QWidget *widget, QPalette::ColorRole text, QColor behind) {
                const QColor seen = over(widget->palette().color(text), behind);
                EXPECT_GE(Style::contrastRatio(seen, behind), 4.5) << widget->objectName().toStdString();
            };
            for (const QLabel *label : window->findChildren<QLabel *>()) {
                if (!label->isVisible() || label->text().isEmpty())
                    continue;
                SCOPED_TRACE(label->text().toStdString());
                readable(label, QPalette::WindowText, background);
                if (auto *elided = qobject_cast<const ElidedLabel *>(label)) {
                    const QString shown = elided->shownText();
                    EXPECT_TRUE(shown == label->text() || shown.endsWith(QChar(0x2026)));
                    EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width());
                } else if (!label->wordWrap() && label->textFormat() != Qt::RichText) {
                    EXPECT_LE(
                        label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width());
                }
            }
            for (const QPushButton *button : window->findChildren<QPushButton *>()) {
                if (button->isVisible() && !button->text().isEmpty())
                    readable(button, QPalette::ButtonText, button->palette().color(QPalette::Button));
            }
            for (const QPlainTextEdit *pane : window->findChildren<QPlainTextEdit *>())
                readable(pane, QPalette::Text, background);
            // What scrolls only up and down is never wider than its view.
            for (const QScrollArea *scroll : window->findChildren<QScrollArea *>()) {
                if (scroll->isVisible() && scroll->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff)
                    EXPECT_LE(scroll->widget()->width(), scroll->viewport()->width())
                        << scroll->objectName().toStdString();
            }
            for (const LanguagePicker *picker : window->findChildren<LanguagePicker *>()) {
                const QString shown = picker->shownText();
                EXPECT_TRUE(shown == picker->currentText() || shown.endsWith(QChar(0x2026)))
                    << shown.toStdString();
                EXPECT_LT(picker->fontMetrics().horizontalAdvance(shown), picker->width());
                for (int i = 0; i < picker->count(); ++i)
                    EXPECT_LE(picker->fontMetrics().horizontalAdvance(picker->itemText(i)),
                        picker->view()->minimumWidth());
            }
            if (look != QLatin1String("light-again"))
                saveScreenshot(*window, picture + QLatin1Char('-') + look);
        }
        const QPalette palette = QApplication::palette();
        for (const char *symbol : { "viewfinder", "macwindow", "command" }) {
            for (const auto &[mode, group] : { std::pair(QIcon::Normal, QPalette::Active),
                     std::pair(QIcon::Disabled, QPalette::Disabled) }) {
                SCOPED_TRACE(testing::Message() << symbol << " " << mode);
                const auto [ink, off]
                    = inkIn(symbolIcon(QString::fromLatin1(symbol)).pixmap(QSize(24, 24), mode).toImage(),
                        palette.color(group, QPalette::WindowText));
                EXPECT_GT(ink, 20);
                EXPECT_EQ(off, 0);
            }
        }
    }
    app->panel().close();
    settings.reset();
    app.reset();
    QApplication::setFont(original);
}

} // namespace
