#include "UiTestSupport.h"
#include "ui/BusySpinner.h"
#include "ui/ContentView.h"
#include "ui/DesktopColorScheme.h"
#include "ui/ElidedLabel.h"
#include "ui/Icons.h"
#include "ui/LanguagePicker.h"
#include "ui/SettingsWindowController.h"
#include "ui/Style.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

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

} // namespace

namespace {

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
