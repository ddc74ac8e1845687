#include "GlyphwellApp.h"

#include "KeyboardShortcuts/RecorderCocoa/RecorderCocoa.h"
#include "app/AppShortcutNames.h"
#include "app/AppState.h"
#include "capture/OCRServiceError.h"
#include "platform/DesktopNotifications.h"
#include "platform/UserDefaults.h"
#include "platform/WindowActivation.h"
#include "ui/Commands.h"
#include "ui/Icons.h"
#include "ui/MainWindow.h"
#include "ui/MenuBarContentView.h"
#include "ui/RefreshScheduler.h"

#include <QCoreApplication>
#include <QCursor>
#include <QLoggingCategory>
#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {
Q_LOGGING_CATEGORY(lcApp, "glyphwell.app", QtInfoMsg)
}

GlyphwellApp::GlyphwellApp(AppState &state, DesktopNotifications &notifications,
    std::function<bool()> trayAvailable, WindowActivation *activation, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_notifications(notifications)
    , m_trayAvailable(
          trayAvailable ? std::move(trayAvailable) : [] { return QSystemTrayIcon::isSystemTrayAvailable(); })
    , m_ownActivation(activation ? nullptr : std::make_unique<QtWindowActivation>())
    , m_activation(activation ? *activation : *m_ownActivation)
    , m_mainWindow(std::make_unique<MainWindow>(state))
    , m_panel(std::make_unique<MenuBarContentView>(state))
    , m_trayMenu(std::make_unique<QMenu>())
    , m_trayIcon(new QSystemTrayIcon(applicationIcon(), this))
    , m_scheduler(new RefreshScheduler([this] { refresh(); }, this))
{
    connect(m_mainWindow.get(), &MainWindow::settingsRequested, this, &GlyphwellApp::showSettings);
    connect(
        m_mainWindow.get(), &MainWindow::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    connect(m_mainWindow.get(), &MainWindow::closedByUser, this, &GlyphwellApp::noticeStillRunning);
    connect(m_panel.get(), &MenuBarContentView::settingsRequested, this, &GlyphwellApp::showSettings);
    connect(m_panel.get(), &MenuBarContentView::homeRequested, this, [this] { showMainWindow(); });
    connect(m_panel.get(), &MenuBarContentView::quitRequested, qApp, &QCoreApplication::quit,
        Qt::QueuedConnection);

    // For hosts that only show menus, and for those who reach for one.
    m_trayCaptureAction
        = m_trayMenu->addAction(symbolIcon(QStringLiteral("viewfinder")), QStringLiteral("Capture Text"));
    connect(m_trayCaptureAction, &QAction::triggered, this, [this] { m_state.startCapture(); });
    connect(m_trayMenu->addAction(QStringLiteral("Show Glyphwell")), &QAction::triggered, this,
        [this] { showMainWindow(); });
    m_trayMenu->addSeparator();
    connect(m_trayMenu->addAction(QStringLiteral("Quit")), &QAction::triggered, qApp, &QCoreApplication::quit,
        Qt::QueuedConnection);
    connect(m_trayMenu.get(), &QMenu::aboutToShow, this, &GlyphwellApp::refresh);

    m_trayIcon->setContextMenu(m_trayMenu.get());
    // New shortcuts must not collide with the main menu's.
    KeyboardShortcuts::setApplicationMainMenu(m_mainWindow->menuBar());
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            togglePanel(QCursor::pos());
    });
    connect(&m_state, &AppState::objectWillChange, m_scheduler, &RefreshScheduler::schedule);
    onShortcutTextChange(m_scheduler, [this] { m_scheduler->schedule(); });
    m_lastState = m_state.captureState();
    refresh();
    // Shown even without a tray host now: Qt puts it in one that appears later.
    m_trayIcon->show();
}

GlyphwellApp::~GlyphwellApp() = default;

void GlyphwellApp::start(const DesktopLaunch &launch)
{
    // A capture asked for on the command line (a desktop key binding) stays in the tray too:
    // the window would take the focus from the program the text is to be pasted into.
    const bool inBackground = launch.background
        || (!launch.action.isEmpty() && launch.action != QLatin1String("show-main-window"));
    if (!inBackground) {
        showMainWindow();
    } else if (m_trayAvailable()) {
        // Lives in the tray until asked for.
    } else if (trayWaitMs <= 0) {
        showMainWindow();
    } else {
        // Never unreachable: without a tray after a little while, the window comes up.
        auto *poll = new QTimer(this);
        poll->setInterval(250);
        const int rounds = qMax(1, trayWaitMs / 250);
        connect(poll, &QTimer::timeout, this, [this, poll, left = rounds]() mutable {
            if (m_trayAvailable()) {
                poll->deleteLater();
            } else if (--left <= 0) {
                poll->deleteLater();
                showMainWindow();
            }
        });
        poll->start();
    }
    if (!launch.action.isEmpty())
        perform(launch.action);
}

void GlyphwellApp::perform(const QString &action, const QString &startupId)
{
    if (action != QLatin1String("show-main-window"))
        m_activation.expectActivation(startupId);
    if (action == QLatin1String("capture-text"))
        m_state.startCapture();
    else if (action == QLatin1String("capture-without-line-breaks"))
        m_state.startCapture(CaptureMode::textWithoutLineBreaks);
    else if (action == QLatin1String("capture-last-selection"))
        m_state.captureLastSelection();
    else
        showMainWindow(startupId);
}

void GlyphwellApp::showMainWindow(const QString &startupId)
{
    m_activation.activate(*m_mainWindow, startupId);
}

void GlyphwellApp::showSettings()
{
    Q_EMIT settingsRequested();
}

void GlyphwellApp::togglePanel(QPoint pointer)
{
    if (m_panel->isVisible())
        m_panel->close();
    else
        m_panel->popUp(pointer);
}

void GlyphwellApp::notifyFailure(const QString &message)
{
    if (m_notifications.notify(QStringLiteral("Glyphwell"), message))
        return;
    if (m_trayAvailable())
        m_trayIcon->showMessage(QStringLiteral("Glyphwell"), message, QSystemTrayIcon::Warning);
    else
        qCWarning(lcApp, "%s", qPrintable(message));
}

void GlyphwellApp::noticeStillRunning()
{
    UserDefaults &defaults = m_state.userDefaults();
    if (defaults.boolForKey(runningNoticeKey))
        return;
    const QString keys = shortcutText(KeyboardShortcuts::AppShortcutNames::captureText());
    const QString capture = keys.isEmpty() ? QString() : QStringLiteral(" %1 still captures text.").arg(keys);
    const bool tray = m_trayAvailable();
    const QString body = tray
        ? QStringLiteral("Glyphwell is still running in the tray: click its icon to open it again.") + capture
        : QStringLiteral(
              "Glyphwell is still running: start it again from the applications menu to open its window.")
            + capture;
    bool shown = m_notifications.notify(QStringLiteral("Glyphwell keeps running"), body);
    if (!shown && tray) {
        m_trayIcon->showMessage(
            QStringLiteral("Glyphwell keeps running"), body, QSystemTrayIcon::Information);
        shown = true;
    }
    // Said once; where it could not be said, it is tried again at the next close.
    if (shown)
        defaults.setBool(runningNoticeKey, true);
}

bool GlyphwellApp::anyWindowVisible() const
{
    return (m_mainWindow->isVisible() && !m_mainWindow->isMinimized()) || m_panel->isVisible();
}

void GlyphwellApp::refresh()
{
    const CaptureState &state = m_state.captureState();
    const KeyboardShortcuts::Name &captureText = KeyboardShortcuts::AppShortcutNames::captureText();
    const QString keys = shortcutText(captureText);
    m_trayIcon->setToolTip(QStringLiteral("Glyphwell\n") + m_state.statusMessage()
        + (keys.isEmpty() ? QString() : QStringLiteral("\nCapture Text: ") + keys));
    m_trayCaptureAction->setText(menuTextWithShortcut(QStringLiteral("Capture Text"), captureText));
    m_trayCaptureAction->setEnabled(CommandAvailability::of(m_state).capture);
    // Busy while a capture is selected and read; the main window has its spinner.
    const bool busy = state.kind() == CaptureState::Kind::capturing;
    if (busy != m_trayBusy) {
        m_trayBusy = busy;
        m_trayIcon->setIcon(busy ? busyApplicationIcon() : applicationIcon());
    }

    // A failure nobody can see would be silent; the user's own cancel needs no word.
    if (state != m_lastState && state.kind() == CaptureState::Kind::failure && !anyWindowVisible()
        && state.message() != errorDescription(OCRServiceError::captureCancelled))
        notifyFailure(state.message());
    m_lastState = state;
}
