#pragma once

#include "capture/CaptureMode.h"

#include <QMainWindow>

#include <optional>

class AppState;
class ContentView;
class QAction;
class RefreshScheduler;

// The main window, known as "main": the menu bar (on Linux the program's main menu) over
// ContentView. Closing it only hides it; the program keeps running in the tray.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(AppState &state, QWidget *parent = nullptr);

    ContentView &contentView() const { return *m_contentView; }
    // The menu items, by the command they carry; the shortcut recorder checks new shortcuts
    // against their key sequences.
    QList<QAction *> menuActions() const;
    void refreshMenu();
    // Starts a capture with this window out of the way: it is hidden before the screen is
    // frozen, so the frame shows what lies below it, and comes back once the capture is over.
    void startCaptureAside(std::optional<CaptureMode> mode = std::nullopt);

    // How long the window manager and the windows below get to redraw once it is hidden.
    static constexpr int stepAsideMs = 150;

    static constexpr QSize minimumContentSize { 820, 560 };

Q_SIGNALS:
    void settingsRequested();
    void quitRequested();

private:
    void buildMenus();
    void showAbout();

    AppState &m_state;
    ContentView *m_contentView;
    RefreshScheduler *m_scheduler;
    QAction *m_exportAction = nullptr;
    QAction *m_copyAction = nullptr;
    QAction *m_captureAction = nullptr;
    QAction *m_noLineBreaksAction = nullptr;
    QAction *m_captureLastAction = nullptr;
    bool m_returnAfterCapture = false;
};
