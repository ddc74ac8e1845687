#include "MainWindow.h"

#include "Commands.h"
#include "ContentView.h"
#include "Icons.h"
#include "RefreshScheduler.h"
#include "app/AppShortcutNames.h"
#include "app/AppState.h"
#include "capture/EngineVersions.h"
#include "platform/PlatformMethods.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHideEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

MainWindow::MainWindow(AppState &state, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_contentView(new ContentView(state, this))
    , m_scheduler(new RefreshScheduler([this] { refreshMenu(); }, this))
{
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QStringLiteral("Glyphwell"));
    setWindowIcon(applicationIcon());
    setCentralWidget(m_contentView);
    buildMenus();
    m_contentView->setMinimumSize(minimumContentSize);
    restoreFrame();
    // Quitting from the menu or the tray never hides the window first.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (isVisible())
            saveFrame();
    });
    connect(m_contentView, &ContentView::settingsRequested, this, &MainWindow::settingsRequested);
    connect(m_contentView, &ContentView::captureRequested, this, &MainWindow::startCaptureAside);
    connect(&m_state, &AppState::objectWillChange, m_scheduler, &RefreshScheduler::schedule);
    onShortcutTextChange(m_scheduler, [this] { m_scheduler->schedule(); });
    refreshMenu();
}

void MainWindow::buildMenus()
{
    auto add = [this](QMenu *menu, const QString &title, const QKeySequence &keys, auto slot) {
        QAction *action = menu->addAction(title);
        if (!keys.isEmpty())
            action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    m_exportAction = add(file, QStringLiteral("Export…"), QKeySequence(Qt::CTRL | Qt::Key_S),
        [this] { m_state.exportText(); });
    m_exportAction->setIcon(symbolIcon(QStringLiteral("square.and.arrow.down")));
    add(file, QStringLiteral("Settings…"), QKeySequence(Qt::CTRL | Qt::Key_Comma), [this] {
        Q_EMIT settingsRequested();
    })->setIcon(symbolIcon(QStringLiteral("gear")));
    file->addSeparator();
    add(file, QStringLiteral("Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { Q_EMIT quitRequested(); });

    QMenu *edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    m_undoAction = add(edit, QStringLiteral("Undo Clear History"), QKeySequence(QKeySequence::Undo),
        [this] { m_state.undoClearHistory(); });
    edit->addSeparator();
    // Ctrl+C stays the text pane's own copy of what is selected in it.
    m_copyAction = add(edit, QStringLiteral("Copy Recognized Text"),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), [this] { m_state.copyExtractedText(); });
    m_copyAction->setIcon(symbolIcon(QStringLiteral("doc.on.doc")));

    QMenu *capture = menuBar()->addMenu(QStringLiteral("&Capture"));
    m_captureAction = add(capture, QStringLiteral("Capture Text"), {}, [this] { startCaptureAside(); });
    m_captureAction->setIcon(symbolIcon(QStringLiteral("viewfinder")));
    m_noLineBreaksAction = add(capture, QStringLiteral("No Line Breaks"), {},
        [this] { startCaptureAside(CaptureMode::textWithoutLineBreaks); });
    m_noLineBreaksAction->setIcon(symbolIcon(QStringLiteral("text.alignleft")));
    m_captureLastAction
        = add(capture, QStringLiteral("Capture Last"), {}, [this] { m_state.captureLastSelection(); });
    m_captureLastAction->setIcon(symbolIcon(QStringLiteral("arrow.counterclockwise")));
    capture->addSeparator();
    // A large or dense selection can take seconds to read: Escape stops it.
    m_stopReadingAction = add(capture, QStringLiteral("Stop Reading"), QKeySequence(Qt::Key_Escape),
        [this] { m_state.cancelCapture(); });

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    add(help, QStringLiteral("About Glyphwell"), {}, [this] { showAbout(); });

    for (QMenu *menu : { file, edit, capture, help })
        connect(menu, &QMenu::aboutToShow, this, &MainWindow::refreshMenu);
}

QList<QAction *> MainWindow::menuActions() const
{
    QList<QAction *> actions;
    for (QAction *menu : menuBar()->actions()) {
        if (!menu->menu())
            continue;
        for (QAction *action : menu->menu()->actions()) {
            if (!action->isSeparator())
                actions.append(action);
        }
    }
    return actions;
}

void MainWindow::startCaptureAside(std::optional<CaptureMode> mode)
{
    if (!isVisible() || isMinimized() || m_state.captureState().kind() == CaptureState::Kind::capturing) {
        m_state.startCapture(mode);
        return;
    }
    hide();
    QTimer::singleShot(stepAsideMs, this, [this, mode] {
        m_state.startCapture(mode);
        // Refused at once (no permission): the window comes back with the reason.
        m_returnAfterCapture = true;
        refreshMenu();
    });
}

void MainWindow::refreshMenu()
{
    if (m_returnAfterCapture && m_state.captureState().kind() != CaptureState::Kind::capturing) {
        m_returnAfterCapture = false;
        show();
        raise();
        activateWindow();
    }
    const CommandAvailability commands = CommandAvailability::of(m_state);
    m_exportAction->setEnabled(commands.exportText);
    m_copyAction->setEnabled(commands.copy);
    m_undoAction->setEnabled(m_state.canUndoClearHistory());
    m_captureAction->setEnabled(commands.capture);
    m_noLineBreaksAction->setEnabled(commands.capture);
    m_captureLastAction->setEnabled(commands.captureLast);
    m_stopReadingAction->setEnabled(m_state.isReadingCapture());
    using namespace KeyboardShortcuts;
    m_captureAction->setText(
        menuTextWithShortcut(QStringLiteral("Capture Text"), AppShortcutNames::captureText()));
    m_noLineBreaksAction->setText(
        menuTextWithShortcut(QStringLiteral("No Line Breaks"), AppShortcutNames::captureWithoutLineBreaks()));
    m_captureLastAction->setText(
        menuTextWithShortcut(QStringLiteral("Capture Last"), AppShortcutNames::captureLastSelection()));
}

std::optional<QRect> MainWindow::restorableFrame(
    const std::optional<QString> &stored, const QList<QRect> &screens)
{
    if (!stored)
        return std::nullopt;
    const QStringList parts = stored->split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 4)
        return std::nullopt;
    int numbers[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts[i].toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    const QRect frame(numbers[0], numbers[1], numbers[2], numbers[3]);
    // Sizes beyond any screen are a damaged file, not a window.
    if (frame.width() <= 0 || frame.height() <= 0 || frame.width() > 100'000 || frame.height() > 100'000)
        return std::nullopt;
    // Enough of its top on a screen to take hold of it and move it.
    const QRect titleBand(frame.left(), frame.top(), frame.width(), qMin(frame.height(), 48));
    for (const QRect &screen : screens) {
        const QRect seen = screen.intersected(titleBand);
        if (seen.width() >= qMin(frame.width(), 120) && seen.height() >= qMin(titleBand.height(), 24))
            return frame;
    }
    return std::nullopt;
}

void MainWindow::restoreFrame()
{
    resize(defaultSize);
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    if (const std::optional<QRect> frame
        = restorableFrame(m_state.userDefaults().stringForKey(frameKey), screens)) {
        // Never below the size the content needs, whatever was stored.
        setGeometry(QRect(frame->topLeft(), frame->size().expandedTo(minimumSizeHint())));
    }
    if (m_state.userDefaults().boolForKey(maximizedKey))
        setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::saveFrame()
{
    const QRect frame = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    if (!frame.isValid())
        return;
    UserDefaults &defaults = m_state.userDefaults();
    defaults.setObject(frameKey,
        QStringLiteral("%1 %2 %3 %4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height()));
    defaults.setBool(maximizedKey, isMaximized());
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closedByUser();
}

void MainWindow::hideEvent(QHideEvent *event)
{
    QMainWindow::hideEvent(event);
    // Not when minimized: the frame is the one it had before.
    if (!event->spontaneous())
        saveFrame();
}

void MainWindow::showAbout()
{
    QMessageBox::about(this, QStringLiteral("About Glyphwell"),
        QStringLiteral("<h3>Glyphwell %1</h3>"
                       "<p>Turns any part of the screen into text. Everything is read on this computer; "
                       "nothing leaves it.</p>"
                       "<p>Text recognition: Tesseract %2<br>Barcodes and QR codes: ZXing-C++ %3<br>Qt %4</p>"
                       "<p>This session: %5</p>")
            .arg(QCoreApplication::applicationVersion(), tesseractVersion(), zxingVersion(),
                QString::fromLatin1(qVersion()), platformMethods().description().toHtmlEscaped()));
}
