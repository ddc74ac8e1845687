#pragma once

#include "capture/CaptureMode.h"

#include <QMainWindow>

#include <optional>

class AppState;
class ContentView;
class QAction;
class RefreshScheduler;

// The main window, known as "main": the menu bar (on Linux the program's main menu) over
// ContentView. Closing it only hides it; the program keeps running in the tray. It comes back
// at the size and place it was last left at, when that place is still on a screen.
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
    static constexpr QSize defaultSize { 960, 680 };
    // The settings keys of the window's frame ("x y width height") and its maximized state.
    static inline const QString frameKey = QStringLiteral("mainWindowFrame");
    static inline const QString maximizedKey = QStringLiteral("mainWindowMaximized");
    // The frame to restore from the stored text: absent when there is none, it cannot be
    // read, or too little of it would lie on the screens (a monitor since unplugged).
    static std::optional<QRect> restorableFrame(
        const std::optional<QString> &stored, const QList<QRect> &screens);

Q_SIGNALS:
    void settingsRequested();
    void quitRequested();
    // The user closed the window; the program goes on without it.
    void closedByUser();

protected:
    void closeEvent(QCloseEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void restoreFrame();
    void saveFrame();
    void buildMenus();
    void showAbout();

    AppState &m_state;
    ContentView *m_contentView;
    RefreshScheduler *m_scheduler;
    QAction *m_exportAction = nullptr;
    QAction *m_copyAction = nullptr;
    QAction *m_undoAction = nullptr;
    QAction *m_captureAction = nullptr;
    QAction *m_noLineBreaksAction = nullptr;
    QAction *m_captureLastAction = nullptr;
    QAction *m_stopReadingAction = nullptr;
    bool m_returnAfterCapture = false;
};
