#include "XTestInput.h"
#include "app/AppState.h"
#include "app/Preferences.h"
#include "capture/OCRService.h"
#include "capture/TesseractEngine.h"
#include "capture/ZXingBarcodeEngine.h"
#include "entry/GlyphwellApp.h"
#include "entry/PlatformLoader.h"
#include "fakes/FakeServices.h"
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

namespace {

// The program as main() puts it together on X11, used the way a user does: the pointer on
// the window's buttons, a drag over another program's window, a file name typed into the
// export dialog.
class MainWindowX11 : public ::testing::Test {
protected:
    QTemporaryDir home;
    QByteArray oldHome = qgetenv("HOME");
    Platform platform = loadPlatform(QStringLiteral("x11"));
    TesseractEngine textEngine;
    ZXingBarcodeEngine barcodeEngine;
    OCRService service { textEngine, barcodeEngine, *platform.screenGrabber };
    InMemoryUserDefaults defaults;
    XdgAutostartLoginItem loginItem { home.filePath(QStringLiteral("autostart.desktop")),
        QStringLiteral("/usr/bin/glyphwell") };
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
        // The export dialog opens in the home folder.
        qputenv("HOME", home.path().toLocal8Bit());
        state = std::make_unique<AppState>(AppStateServices { defaults, preferences, *platform.pasteboard,
            *platform.dialogs, *platform.screenAccess, *platform.regionSelector, service, activation,
            PermissionService(), home.filePath(QStringLiteral("history.json")) });
        app = std::make_unique<GlyphwellApp>(
            *state, notifications, [] { return false; }, platform.windowActivation.get());
        imageViewer.start(QStringLiteral("display"),
            { QStringLiteral("-geometry"), QStringLiteral("+1100+200"),
                QString::fromLocal8Bit(qgetenv("GLYPHWELL_TEST_DATA"))
                    + QStringLiteral("/ocr/render_testocr.png") });
        ASSERT_TRUE(imageViewer.waitForStarted());
        ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"),
                      { QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                          QStringLiteral("--name"), QStringLiteral("ImageMagick") }),
            0);
    }

    void TearDown() override
    {
        app.reset();
        state.reset();
        imageViewer.kill();
        imageViewer.waitForFinished();
        qputenv("HOME", oldHome);
    }

    void click(QWidget *widget)
    {
        ASSERT_TRUE(widget);
        const QPoint centre = widget->mapToGlobal(widget->rect().center());
        input.moveTo(centre.x(), centre.y(), 80);
        input.press();
        input.release(100);
    }

    // Lower-case letters only, which is all the file name needs.
    void type(const QString &text)
    {
        for (const QChar c : text)
            input.tapKey(xcb_keysym_t(c.unicode()));
    }

    void withControl(xcb_keysym_t keysym)
    {
        const xcb_keycode_t control = input.keycodeOf(0xffe3);
        const xcb_keycode_t key = input.keycodeOf(keysym);
        for (auto [type, code] : { std::pair { XCB_KEY_PRESS, control }, { XCB_KEY_PRESS, key },
                 { XCB_KEY_RELEASE, key }, { XCB_KEY_RELEASE, control } })
            xcb_test_fake_input(input.connection(), type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        input.sync();
        QTest::qWait(50);
    }
};

TEST_F(MainWindowX11, CaptureTextButton_DragThenExportThroughTheRealDialog)
{
    // The window lies over the picture to be read: it steps aside while the screen is frozen.
    MainWindow &window = app->mainWindow();
    app->start({});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.move(900, 100);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.geometry().contains(QRect(1092, 192, 658, 498)); }, 2000));
    QTest::qWait(200);

    click(window.findChild<QPushButton *>(QStringLiteral("captureButton")));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (QWindow *w : QGuiApplication::topLevelWindows())
                if (w->isExposed() && w->title().startsWith(QStringLiteral("Glyphwell Selection")))
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
    const QString pane = window.findChild<QPlainTextEdit *>(QStringLiteral("textPane"))->toPlainText();
    EXPECT_TRUE(pane.startsWith(QStringLiteral("This is a lot of 12 point text"))) << pane.toStdString();
    EXPECT_TRUE(pane.contains(QStringLiteral("lazy fox")));
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
        EXPECT_EQ(chooser->window()->windowTitle(), QStringLiteral("Export OCR Text"));
        QTest::qWait(300);
        withControl('a');
        type(QStringLiteral("exported"));
        input.tapKey(0xff0d); // Return
    });
    typist.start();
    // Should the dialog never be found, close it rather than wait for ever inside it.
    QTimer::singleShot(20000, &typist, [] {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible())
                dialog->reject();
    });
    click(window.findChild<QPushButton *>(QStringLiteral("exportButton")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialogSeen && !QApplication::activeModalWidget(); }, 20000));

    QFile file(home.filePath(QStringLiteral("exported.txt")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "no file at " << file.fileName().toStdString();
    EXPECT_EQ(QString::fromUtf8(file.readAll()), state->extractedText());
    EXPECT_EQ(state->statusMessage(), QStringLiteral("Exported to exported.txt."));
}

// The tray panel casts its shadow only where a compositing manager can blend it: none on the
// bare server, one while xcompmgr runs (seen on the image viewer's white page below it, read
// back from the screen), none again once the compositor has gone.
TEST_F(MainWindowX11, TrayPanel_ShadowOnlyWhileACompositorRuns)
{
    EXPECT_FALSE(MenuBarContentView::desktopComposites());
    EXPECT_EQ(MenuBarContentView(*state).edge(), MenuBarContentView::Edge::border);
    QProcess compositor;
    compositor.start(QStringLiteral("xcompmgr"), {});
    ASSERT_TRUE(compositor.waitForStarted(5000)) << "xcompmgr is not installed";
    ASSERT_TRUE(QTest::qWaitFor([] { return MenuBarContentView::desktopComposites(); }, 5000));
    {
        MenuBarContentView panel(*state);
        EXPECT_EQ(panel.edge(), MenuBarContentView::Edge::shadow);
        panel.popUp(QPoint(1400, 230));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
        QTest::qWait(500);
        const QString folder = qEnvironmentVariable("GLYPHWELL_SCREENSHOTS", home.path());
        QDir().mkpath(folder);
        const QString path = QDir(folder).absoluteFilePath(QStringLiteral("x11-tray-panel-shadow.png"));
        ASSERT_EQ(QProcess::execute(
                      QStringLiteral("import"), { QStringLiteral("-window"), QStringLiteral("root"), path }),
            0);
        const QImage screen(path);
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
