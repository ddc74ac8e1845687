#pragma once

#include "app/CaptureHistory.h"
#include "capture/CaptureMode.h"

#include <QList>
#include <QWidget>

#include <optional>

class AppState;
class BusySpinner;
class HistoryRow;
class PermissionBanner;
class LanguagePicker;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTimer;
class QToolButton;
class QVBoxLayout;
class RefreshScheduler;

// The main window's content: title and status, the language picker, the permission banner,
// the command row, and the recognized text beside the capture history. It keeps no state of
// its own: every change of the application state redraws it, every control calls one
// operation of the state. The children carry object names ("captureButton", ...) by which
// tests and the accessibility tree find them.
class ContentView : public QWidget {
    Q_OBJECT
public:
    explicit ContentView(AppState &state, QWidget *parent = nullptr);

    // Redraws from the state at once (normally it happens on the event-loop turn after a change).
    void refresh();
    const QList<HistoryRow *> &historyRows() const { return m_rows; }
    // What the text pane shows and whether it is in the primary colour.
    QString displayedText() const;
    bool showsTextInPrimaryColour() const;

    static constexpr int historyPaneWidth = 280;
    // How long the status line offers to undo a clearing of the history.
    static inline int undoOfferMs = 8000;
    // The most of a text the text pane lays out, and of one paragraph in it; past either the
    // pane says the text goes on. Both stay well within a redraw on a slow machine.
    static constexpr qsizetype maximumPaneCharacters = 50'000;
    static constexpr qsizetype maximumPaneParagraphCharacters = 5'000;

Q_SIGNALS:
    void settingsRequested();
    // The capture buttons: the window decides how the screen is freed for the capture.
    void captureRequested(std::optional<CaptureMode> mode);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QWidget *makeHeader();
    QWidget *makeLanguageRow();
    QWidget *makeCommandRow();
    QWidget *makeContentRow();
    void refreshHistory();
    void updateTextPaneColour();

    AppState &m_state;
    RefreshScheduler *m_scheduler;
    QLabel *m_status = nullptr;
    QLabel *m_undoOffer = nullptr;
    QTimer *m_undoOfferTimer = nullptr;
    QToolButton *m_settingsButton = nullptr;
    LanguagePicker *m_languagePicker = nullptr;
    PermissionBanner *m_banner = nullptr;
    QPushButton *m_captureButton = nullptr;
    QPushButton *m_noLineBreaksButton = nullptr;
    QPushButton *m_captureLastButton = nullptr;
    BusySpinner *m_spinner = nullptr;
    QPushButton *m_copyButton = nullptr;
    QPushButton *m_exportButton = nullptr;
    QPushButton *m_clearHistoryButton = nullptr;
    QPlainTextEdit *m_textPane = nullptr;
    QStackedWidget *m_historyStack = nullptr;
    QWidget *m_historyEmpty = nullptr;
    QWidget *m_historyList = nullptr;
    QVBoxLayout *m_historyColumn = nullptr;
    QList<HistoryRow *> m_rows;
    QList<CaptureHistoryItem> m_shownHistory;
    QString m_paneText; // what the pane was given, the whole text
    bool m_primaryColour = false;
};
