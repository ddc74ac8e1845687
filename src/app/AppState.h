#pragma once

#include "CaptureHistory.h"
#include "CaptureState.h"
#include "HistoryStore.h"
#include "OCRLanguageOption.h"
#include "capture/CaptureMode.h"
#include "capture/PermissionService.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QFuture>
#include <QImage>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QUuid>

#include <atomic>
#include <optional>

class AppActivation;
class Dialogs;
class OCRService;
class Pasteboard;
class Preferences;
class RegionSelector;
class ScreenAccess;
class UserDefaults;
class QTimer;

// What the application state works with; the loader passes the real services, tests fakes.
struct AppStateServices {
    UserDefaults &userDefaults;
    Preferences &preferences;
    Pasteboard &pasteboard;
    Dialogs &dialogs;
    ScreenAccess &screenAccess;
    RegionSelector &regionSelector;
    OCRService &service;
    AppActivation &activation;
    PermissionService permissionService;
    QString historyFilePath;
};

// The one object that drives the program: what the windows show, and the capture workflow
// from the permission check to the clipboard. Lives on the main thread. Each observable
// field sends objectWillChange() before it changes; views re-read the object.
class AppState : public QObject {
    Q_OBJECT
public:
    explicit AppState(AppStateServices services, QObject *parent = nullptr);
    ~AppState() override;

    const CaptureState &captureState() const { return m_captureState; }
    const QString &extractedText() const { return m_extractedText; }
    const QList<CaptureHistoryItem> &captureHistory() const { return m_captureHistory; }
    const std::optional<QUuid> &selectedHistoryItemID() const { return m_selectedHistoryItemID; }
    const QString &selectedLanguageIdentifier() const { return m_selectedLanguageIdentifier; }
    // Saves the history file (unless it already holds the same).
    void setSelectedLanguageIdentifier(const QString &identifier);
    const std::optional<QString> &exportStatusMessage() const { return m_exportStatusMessage; }
    bool screenRecordingPermissionGranted() const { return m_screenRecordingPermissionGranted; }
    bool hasLastCapture() const { return m_hasLastCapture; }

    Preferences &preferences() const { return m_services.preferences; }
    const std::optional<QImage> &lastCapturedImage() const { return m_lastCapturedImage; }
    bool isPermissionPollRunning() const { return m_permissionRefreshTask != nullptr; }

    QString statusMessage() const;
    // Where the windows keep what they remember (size, place, notices given).
    UserDefaults &userDefaults() const { return m_services.userDefaults; }
    bool hasExtractedText() const;
    OCRLanguageOption selectedLanguageOption() const;
    // What recognition gets: absent for automatic detection (also for unknown identifiers).
    std::optional<QString> recognitionLanguage() const;
    std::optional<CaptureHistoryItem> selectedHistoryItem() const;

    void startCapture(std::optional<CaptureMode> mode = std::nullopt);
    // Stops the reading of a capture under way (Escape); it ends as cancelled.
    void cancelCapture();
    bool isReadingCapture() const { return m_recognizing; }
    void captureLastSelection();
    void copyToClipboard(const QString &text);
    void copyExtractedText();
    // Absent: ask the screen-access service now.
    void updatePermissionStatus(std::optional<bool> granted = std::nullopt);
    void openScreenRecordingSettings();

    void selectHistoryItem(const CaptureHistoryItem &item);
    // Empties the history; the entries are kept in memory until the program ends, so that
    // one click too many loses nothing.
    void clearHistory();
    bool canUndoClearHistory() const { return m_clearedHistory.has_value(); }
    // Puts the cleared entries back among those captured since, newest first, within the
    // limit, and the selection with them when no newer one was made.
    void undoClearHistory();

    // Asks for a file and writes the whole extracted text to it; nothing without text.
    void exportText();
    // "glyphwell-yyyyMMdd-HHmmss.txt" from the selected entry's time, else now, in local time.
    QString suggestedExportFileName() const;
    static QString exportFileName(const QDateTime &time);

    static constexpr int historyLimit = HistoryStore::limit;
    static constexpr int permissionPollIntervalMs = 800;

Q_SIGNALS:
    void objectWillChange();
    // After the recognition language was changed: its models can be loaded before the capture.
    void recognitionLanguageChanged();
    // The history was cleared by the user (and may be brought back).
    void historyCleared();
    // A reading has ended, whatever came of it: the memory it worked in is free again.
    void readingFinished();

private:
    QCoro::Task<> runCapture(CaptureMode mode);
    QCoro::Task<> rerunRecognition(QImage image);
    struct RecognitionOutcome;
    QFuture<RecognitionOutcome> recognizeInBackground(QImage image, std::optional<CaptureMode> mode);
    void applyRecognizedText(const QString &text, const QString &languageIdentifier);
    void addToHistory(const QString &text, const QString &languageIdentifier);
    void loadPersistedState();
    // Saves the history and the language, taking in what another Glyphwell added meanwhile.
    void persistState();
    void startPermissionRefreshTask();
    void stopPermissionRefreshTask();
    void installPermissionRefreshObservers();
    bool showScreenRecordingExplanation();
    void registerShortcutHandlers();

    void setCaptureState(CaptureState state);
    void setExtractedText(QString text);
    void setCaptureHistory(QList<CaptureHistoryItem> history);
    void setSelectedHistoryItemID(std::optional<QUuid> id);
    void setExportStatusMessage(std::optional<QString> message);
    void setScreenRecordingPermissionGranted(bool granted);
    void setHasLastCapture(bool value);

    AppStateServices m_services;

    CaptureState m_captureState = CaptureState::idle();
    QString m_extractedText;
    QList<CaptureHistoryItem> m_captureHistory;
    std::optional<QUuid> m_selectedHistoryItemID;
    QString m_selectedLanguageIdentifier = OCRLanguageOption::automaticIdentifier;
    std::optional<QString> m_exportStatusMessage;
    bool m_screenRecordingPermissionGranted = false;
    bool m_hasLastCapture = false;

    std::optional<QImage> m_lastCapturedImage;
    bool m_hasPromptedForScreenRecordingAccess = false;
    bool m_startingCapture = false;
    QList<QMetaObject::Connection> m_permissionRefreshObservers;
    QTimer *m_permissionRefreshTask = nullptr;
    // A stopped reading is let go at once: the engine stops between words, but finding the
    // lines of a large image first cannot be interrupted, and the user should not wait for it.
    // Each reading let go moves this count on; a reading's outcome counts only while the count
    // is the one it started with, and one let go before the pool's thread got to it does not
    // start. Declared before the pool, which waits for its jobs as it goes.
    std::atomic<quint64> m_readingCount = 0;
    // Recognition runs here, off the main thread, so the windows keep painting; one job at a
    // time, in the order the captures asked: a capture started while a stopped reading still
    // runs selects at once and is read when that reading has ended.
    QThreadPool m_recognitionPool;
    bool m_recognizing = false;
    // Counts the captures started: a capture puts the overlay away only while no later one
    // owns it.
    quint64 m_captureCount = 0;
    void stopReading();
    // After a reading ended: whether it is still the current one (it was not let go).
    bool readingIsCurrent(quint64 reading);
    struct ClearedHistory {
        QList<CaptureHistoryItem> history;
        std::optional<QUuid> selected;
    };
    std::optional<ClearedHistory> m_clearedHistory;
    HistoryStore m_historyStore;
};
