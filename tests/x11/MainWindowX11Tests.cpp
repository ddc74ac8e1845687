#include "XTestInput.h"
#include "app/AppState.h"
#include "app/Preferences.h"
#include "capture/OCRService.h"
#include "capture/TesseractEngine.h"
#include "capture/ZXingBarcodeEngine.h"
#include "entry/GlyphwellApp.h"
#include "entry/PlatformLoader.h"
#include "fakes/FakeServices.h"
#include "fakes/ScopedEnv.h"
#include "platform/AppActivation.h"
#include "platform/InMemoryUserDefaults.h"
#include "platform/LoginItem.h"
#include "ui/ContentView.h"
#include "ui/HistoryRow.h"
#include "ui/MainWindow.h"
#include "ui/MenuBarContentView.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// The program as main() puts it together on X11, used the way a user does: the pointer on
// the window's buttons, a drag over another program's window, a file name typed into the
// export dialog.
class MainWindowX11 : public ::testing::Test {
protected:
    QTemporaryDir home;
    // The export dialog opens in the home folder.
    ScopedEnv homeVariable { "HOME", home.path().toLocal8Bit() };
    Platform platform = loadPlatform(u"x11"_s);
    TesseractEngine textEngine;
    ZXingBarcodeEngine barcodeEngine;
    OCRService service { textEngine, barcodeEngine, *platform.screenGrabber };
    InMemoryUserDefaults defaults;
    XdgAutostartLoginItem loginItem { home.filePath(u"autostart.desktop"_s), u"/usr/bin/glyphwell"_s };
    Preferences preferences { defaults, loginItem };
    AppActivation activation;
    FakeNotifications notifications;
    std::unique_ptr<AppState> state;
    std::unique_ptr<GlyphwellApp> app;
    QProcess imageViewer;
    XTestInput input;

    void SetUp() override
    {
        ASSERT_TRUE(input.isValid());
        ASSERT_TRUE(platform.unavailableReason.isEmpty());
        state = std::make_unique<AppState>(AppStateServices { defaults, preferences, *platform.pasteboard,
            *platform.dialogs, *platform.screenAccess, *platform.regionSelector, service, activation,
            PermissionService(), home.filePath(u"history.json"_s) });
        app = std::make_unique<GlyphwellApp>(
            *state, notifications, [] { return false; }, platform.windowActivation.get());
        imageViewer.start(u"display"_s,
            { u"-geometry"_s, u"+1100+200"_s,
                QString::fromLocal8Bit(qgetenv("GLYPHWELL_TEST_DATA")) + u"/ocr/render_testocr.png"_s });
        ASSERT_TRUE(imageViewer.waitForStarted());
        ASSERT_EQ(QProcess::execute(u"xdotool"_s,
                      { u"search"_s, u"--sync"_s, u"--onlyvisible"_s, u"--name"_s, u"ImageMagick"_s }),
            0);
    }

    void TearDown() override
    {
        app.reset();
        state.reset();
        imageViewer.kill();
        imageViewer.waitForFinished();
    }

    void click(QWidget *widget)
    {
        ASSERT_TRUE(widget);
        input.click(widget->mapToGlobal(widget->rect().center()));
    }
};

TEST_F(MainWindowX11, CaptureTextButton_DragThenExportThroughTheRealDialog)
{
    // The window lies over the picture to be read: it steps aside while the screen is frozen.
    MainWindow &window = app->mainWindow();
    app->start({});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.move(900, 100);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window.geometry().contains(QRect(1092, 192, 658, 498)); }, 2000));
    QTest::qWait(200);

    click(window.findChild<QPushButton *>(u"captureButton"_s));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (QWindow *w : QGuiApplication::topLevelWindows())
                if (w->isExposed() && w->title().startsWith(u"Glyphwell Selection"_s))
                    return true;
            return false;
        },
        10000))
        << "no overlay after a click on Capture Text";
    EXPECT_FALSE(window.isVisible());
    input.drag(QPoint(1092, 192), QPoint(1750, 690));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return state->captureState().kind() != CaptureState::Kind::capturing; }, 60000));
    ASSERT_EQ(state->captureState(), CaptureState::success()) << state->statusMessage().toStdString();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window)) << "the window did not come back";
    QTest::qWait(100);

    // What the user sees: the text in the pane, the entry in the history.
    const QString pane = window.findChild<QPlainTextEdit *>(u"textPane"_s)->toPlainText();
    EXPECT_TRUE(pane.startsWith(u"This is a lot of 12 point text"_s)) << pane.toStdString();
    EXPECT_TRUE(pane.contains(u"lazy fox"_s));
    ASSERT_EQ(window.contentView().historyRows().size(), 1);
    EXPECT_TRUE(window.contentView().historyRows().first()->isSelected());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), pane);

    // Export: the real dialog, a name typed over the proposed one, Return.
    bool dialogSeen = false;
    QTimer typist;
    typist.setInterval(100);
    QObject::connect(&typist, &QTimer::timeout, [&] {
        QFileDialog *chooser = nullptr;
        for (QWidget *widget : QApplication::allWidgets())
            if (auto *candidate = qobject_cast<QFileDialog *>(widget); candidate && candidate->isVisible())
                chooser = candidate;
        if (!chooser || !chooser->window()->windowHandle() || !chooser->window()->windowHandle()->isExposed())
            return;
        typist.stop();
        dialogSeen = true;
        EXPECT_EQ(chooser->window()->windowTitle(), u"Export OCR Text"_s);
        QTest::qWait(300);
        input.chord({ Keysym::controlL, 'a' });
        for (const char c : std::string_view("exported"))
            input.tapKey(xcb_keysym_t(c));
        input.tapKey(Keysym::returnKey);
    });
    typist.start();
    // Should the dialog never be found, close it rather than wait for ever inside it.
    QTimer::singleShot(20000, &typist, [] {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible())
                dialog->reject();
    });
    click(window.findChild<QPushButton *>(u"exportButton"_s));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialogSeen && !QApplication::activeModalWidget(); }, 20000));

    QFile file(home.filePath(u"exported.txt"_s));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "no file at " << file.fileName().toStdString();
    EXPECT_EQ(QString::fromUtf8(file.readAll()), state->extractedText());
    EXPECT_EQ(state->statusMessage(), u"Exported to exported.txt."_s);
}

// The tray panel casts its shadow only where a compositing manager can blend it: none on the
// bare server, one while xcompmgr runs (seen on the image viewer's white page below it, read
// back from the screen), none again once the compositor has gone.
TEST_F(MainWindowX11, TrayPanel_ShadowOnlyWhileACompositorRuns)
{
    EXPECT_FALSE(MenuBarContentView::desktopComposites());
    EXPECT_EQ(MenuBarContentView(*state).edge(), MenuBarContentView::Edge::border);
    QProcess compositor;
    compositor.start(u"xcompmgr"_s, {});
    ASSERT_TRUE(compositor.waitForStarted(5000)) << "xcompmgr is not installed";
    ASSERT_TRUE(QTest::qWaitFor([] { return MenuBarContentView::desktopComposites(); }, 5000));
    {
        MenuBarContentView panel(*state);
        EXPECT_EQ(panel.edge(), MenuBarContentView::Edge::shadow);
        panel.popUp(QPoint(1400, 230));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
        QTest::qWait(500);
        const QImage screen = rootScreenshot(u"x11-tray-panel-shadow"_s);
        ASSERT_FALSE(screen.isNull());
        // Just below the panel the page is shaded; further down it is its own white.
        const QRect frame(
            panel.mapToGlobal(QPoint(MenuBarContentView::shadowMargin, MenuBarContentView::shadowMargin)),
            MenuBarContentView::panelSize);
        const QColor shaded = screen.pixelColor(frame.center().x(), frame.bottom() + 4);
        const QColor page = screen.pixelColor(frame.center().x(), frame.bottom() + 40);
        EXPECT_GT(page.lightness(), 200);
        EXPECT_LT(shaded.lightness(), page.lightness());
        panel.close();
    }
    compositor.terminate();
    ASSERT_TRUE(compositor.waitForFinished(5000));
    EXPECT_TRUE(QTest::qWaitFor([] { return !MenuBarContentView::desktopComposites(); }, 5000));
}

} // namespace
