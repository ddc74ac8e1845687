#pragma once

#include "app/CaptureState.h"
#include "app/CommandLine.h"

#include <QObject>

#include <functional>
#include <memory>

class AppState;
class DesktopNotifications;
class MainWindow;
class WindowActivation;
class QAction;
class MenuBarContentView;
class QMenu;
class QSystemTrayIcon;
class RefreshScheduler;

// The desktop program around the one application state: the main window ("main"), the tray
// icon with its panel and menu, and the notice of a failed capture when no window shows it.
class GlyphwellApp : public QObject {
    Q_OBJECT
public:
    // trayAvailable: whether a tray host can show our icon now (QSystemTrayIcon's answer by
    // default).
    // activation: how a window comes forward when asked for (Qt's own way when absent).
    GlyphwellApp(AppState &state, DesktopNotifications &notifications,
        std::function<bool()> trayAvailable = {}, WindowActivation *activation = nullptr,
        QObject *parent = nullptr);
    ~GlyphwellApp() override;

    // Opens the main window unless started in the background with a tray to live in; a
    // tray host that appears within trayWaitMs of a background start still counts (at login
    // the panel may start after us). Then runs the launch's action, if any.
    void start(const DesktopLaunch &launch);
    // One of the actions of the running instance (empty: bring the main window forward);
    // startupId as the asking start passed it.
    void perform(const QString &action, const QString &startupId = {});

    void showMainWindow(const QString &startupId = {});
    void showSettings();
    void togglePanel(QPoint pointer);

    MainWindow &mainWindow() const { return *m_mainWindow; }
    MenuBarContentView &panel() const { return *m_panel; }
    QSystemTrayIcon &trayIcon() const { return *m_trayIcon; }
    QMenu &trayMenu() const { return *m_trayMenu; }

    int trayWaitMs = 3000;
    // Set once the user has been told that closing the window leaves Glyphwell running.
    static inline const QString runningNoticeKey = QStringLiteral("hasShownStillRunningNotice");

Q_SIGNALS:
    void settingsRequested();

private:
    void refresh();
    bool anyWindowVisible() const;
    void notifyFailure(const QString &message);
    // The first time the window is closed: where Glyphwell went, and how to get it back.
    void noticeStillRunning();

    AppState &m_state;
    DesktopNotifications &m_notifications;
    std::function<bool()> m_trayAvailable;
    std::unique_ptr<WindowActivation> m_ownActivation;
    WindowActivation &m_activation;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::unique_ptr<MenuBarContentView> m_panel;
    std::unique_ptr<QMenu> m_trayMenu;
    QSystemTrayIcon *m_trayIcon;
    bool m_trayBusy = false;
    RefreshScheduler *m_scheduler;
    QAction *m_trayCaptureAction = nullptr;
    CaptureState m_lastState = CaptureState::idle();
};
