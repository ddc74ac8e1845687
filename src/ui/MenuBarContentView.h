#pragma once

#include <QWidget>

#include <optional>

class AppState;
class LineLimitedLabel;
class LanguagePicker;
class QLabel;
class QPushButton;
class RefreshScheduler;

// The tray's panel: a small frameless popup at the pointer with the quick commands, the
// status line, the permission notice and the newest capture, which takes the room the rest
// leaves. It keeps no state of its own. Being frameless, it draws its own edge: a shadow
// around it where a compositor can blend one, a one-pixel border where none runs.
// Escape or a click outside closes it; its keys (Ctrl+C capture, Ctrl+, settings, Ctrl+Q
// quit) belong to it alone, not to the desktop.
class MenuBarContentView : public QWidget {
    Q_OBJECT
public:
    enum class Edge { border, shadow };

    // edge: what sets the panel off from the windows below; the desktop's means by default.
    explicit MenuBarContentView(
        AppState &state, std::optional<Edge> edge = std::nullopt, QWidget *parent = nullptr);

    // Whether the desktop blends translucent windows (a compositing manager runs).
    static bool desktopComposites();
    Edge edge() const { return m_edge; }

    // Opens the panel at the pointer, inside the available area of the screen under it.
    void popUp(QPoint pointer);
    // Where a panel of this size goes for a pointer: centred under it, or above it when there
    // is no room below, and always inside the available area.
    static QPoint panelPosition(QPoint pointer, const QRect &available, QSize size);

    void refresh();

    // The panel itself; with a shadow the window is larger by shadowMargin on every side.
    static constexpr QSize panelSize { 300, 380 };
    static constexpr int shadowMargin = 12;
    // The newest capture's text shown in the panel: more than its few lines show at once (the
    // main window has it all); a longer text made the panel slow to open.
    static constexpr qsizetype maximumRecentCharacters = 500;

Q_SIGNALS:
    void settingsRequested();
    void homeRequested();
    void quitRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QWidget *divider(QWidget *parent);

    AppState &m_state;
    Edge m_edge;
    QWidget *m_frame;
    QWidget *m_filler;
    RefreshScheduler *m_scheduler;
    QPushButton *m_captureButton;
    QLabel *m_captureShortcut;
    QPushButton *m_copyButton;
    QPushButton *m_exportButton;
    LanguagePicker *m_languagePicker;
    LineLimitedLabel *m_status;
    QWidget *m_permissionSection;
    QWidget *m_recentSection;
    QLabel *m_recentText;
};
