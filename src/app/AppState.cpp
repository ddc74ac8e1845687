#include "AppState.h"

#include "KeyboardShortcuts/Registry.h"
#include "Preferences.h"
#include "app/AppShortcutNames.h"
#include "capture/CaptureRecognition.h"
#include "capture/CaptureTiming.h"
#include "capture/OCRService.h"
#include "capture/RegionSelector.h"
#include "capture/ScreenAccess.h"
#include "platform/AppActivation.h"
#include "platform/AtomicFile.h"
#include "platform/Dialogs.h"
#include "platform/Pasteboard.h"
#include "platform/UserDefaults.h"

#include <algorithm>
#include <utility>

#include <QCoro/QCoroFuture>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QPointer>
#include <QScopeGuard>
#include <QSet>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace {

Q_LOGGING_CATEGORY(lcApp, "glyphwell.app", QtInfoMsg)
const QString hasShownExplanationKey = QStringLiteral("hasShownScreenRecordingExplanation");
const QString permissionRequiredMessage
    = QStringLiteral("Screen Recording permission is required to capture text.");
} // namespace

// What a recognition job hands back to the capture task: the trimmed text, or the failure.
struct AppState::RecognitionOutcome {
    std::optional<QString> text;
    QString failure;
    // The language setting the text was read with: the user may pick another meanwhile.
    QString languageIdentifier;
};

namespace {

// A fault that is not one of the capture's own failures still ends the capture, with what is
// known of it, instead of leaving the program capturing for good.
QString unexpectedFailureMessage(const char *what)
{
    const QString detail = QString::fromUtf8(what).trimmed();
    return detail.isEmpty() ? QStringLiteral("The capture failed unexpectedly.")
                            : QStringLiteral("The capture failed unexpectedly: %1").arg(detail);
}

} // namespace

AppState::AppState(AppStateServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_historyStore(m_services.historyFilePath)
{
    m_recognitionPool.setMaxThreadCount(1);
    m_services.regionSelector.onCancelWhileHeld = [this] { cancelCapture(); };
    loadPersistedState();
    installPermissionRefreshObservers();
    updatePermissionStatus();
    registerShortcutHandlers();
}

AppState::~AppState()
{
    m_services.regionSelector.onCancelWhileHeld = nullptr;
    stopPermissionRefreshTask();
    for (const auto &connection : std::as_const(m_permissionRefreshObservers))
        disconnect(connection);
}

// Observable fields: tell the views first, then store.

void AppState::setCaptureState(CaptureState state)
{
    Q_EMIT objectWillChange();
    m_captureState = std::move(state);
}

void AppState::setExtractedText(QString text)
{
    Q_EMIT objectWillChange();
    m_extractedText = std::move(text);
}

void AppState::setCaptureHistory(QList<CaptureHistoryItem> history)
{
    Q_EMIT objectWillChange();
    m_captureHistory = std::move(history);
}

void AppState::setSelectedHistoryItemID(std::optional<QUuid> id)
{
    Q_EMIT objectWillChange();
    m_selectedHistoryItemID = id;
}

void AppState::setSelectedLanguageIdentifier(const QString &identifier)
{
    Q_EMIT objectWillChange();
    const bool changed = identifier != m_selectedLanguageIdentifier;
    m_selectedLanguageIdentifier = identifier;
    persistState();
    if (changed)
        Q_EMIT recognitionLanguageChanged();
}

void AppState::setExportStatusMessage(std::optional<QString> message)
{
    Q_EMIT objectWillChange();
    m_exportStatusMessage = std::move(message);
}

void AppState::setScreenRecordingPermissionGranted(bool granted)
{
    Q_EMIT objectWillChange();
    m_screenRecordingPermissionGranted = granted;
}

void AppState::setHasLastCapture(bool value)
{
    Q_EMIT objectWillChange();
    m_hasLastCapture = value;
}

// Derived values.

QString AppState::statusMessage() const
{
    switch (m_captureState.kind()) {
    case CaptureState::Kind::idle:
        return m_exportStatusMessage.value_or(QStringLiteral("Ready to capture text from a screen snippet."));
    case CaptureState::Kind::capturing:
        return QStringLiteral("Select an area with the screen capture tool.");
    case CaptureState::Kind::success:
        return m_exportStatusMessage.value_or(QStringLiteral("Text extracted successfully."));
    case CaptureState::Kind::failure:
        return m_captureState.message();
    }
    return {};
}

bool AppState::hasExtractedText() const
{
    // Asked at every redraw: no trimmed copy of a text that may be megabytes long.
    return std::any_of(
        m_extractedText.cbegin(), m_extractedText.cend(), [](QChar c) { return !c.isSpace(); });
}

OCRLanguageOption AppState::selectedLanguageOption() const
{
    const auto &options = OCRLanguageOption::all();
    for (const auto &option : options) {
        if (option.identifier == m_selectedLanguageIdentifier)
            return option;
    }
    return options.first();
}

std::optional<QString> AppState::recognitionLanguage() const
{
    const QString identifier = selectedLanguageOption().identifier;
    if (identifier == OCRLanguageOption::automaticIdentifier)
        return std::nullopt;
    return identifier;
}

std::optional<CaptureHistoryItem> AppState::selectedHistoryItem() const
{
    if (!m_selectedHistoryItemID)
        return std::nullopt;
    for (const auto &item : m_captureHistory) {
        if (item.id == *m_selectedHistoryItemID)
            return item;
    }
    return std::nullopt;
}

// The capture workflow.

void AppState::cancelCapture()
{
    // The selection has its own Escape; this stops the reading of the text.
    if (!m_recognizing)
        return;
    stopReading();
    setCaptureState(CaptureState::failure(errorDescription(OCRServiceError::captureCancelled)));
}

void AppState::stopReading()
{
    m_services.service.cancelRecognition();
    Q_EMIT objectWillChange();
    ++m_readingCount;
    m_recognizing = false;
    m_services.regionSelector.dismissSelection();
}

bool AppState::readingIsCurrent(quint64 reading)
{
    if (reading != m_readingCount)
        return false;
    Q_EMIT objectWillChange();
    m_recognizing = false;
    return true;
}

void AppState::startCapture(std::optional<CaptureMode> mode)
{
    // A new capture asked for while the last one is read stops that reading and starts at
    // once, rather than being dropped.
    if (m_recognizing) {
        stopReading();
        setCaptureState(CaptureState::idle());
    }
    // The explanation alert runs a nested event loop, where another shortcut press arrives
    // before the state says capturing: the whole flow is guarded, not only the selection.
    if (m_captureState.kind() == CaptureState::Kind::capturing || m_startingCapture)
        return;
    m_startingCapture = true;
    const auto done = qScopeGuard([this] { m_startingCapture = false; });

    if (m_services.screenAccess.preflight()) {
        updatePermissionStatus(true);
    } else {
        QString guidance = m_services.permissionService.screenRecordingGuidanceMessage();
        updatePermissionStatus(false);
        bool granted = false;
        if (!m_hasPromptedForScreenRecordingAccess) {
            if (!m_services.userDefaults.boolForKey(hasShownExplanationKey)) {
                if (!showScreenRecordingExplanation()) {
                    // Neither flag changes: the explanation comes again next time.
                    setCaptureState(CaptureState::failure(permissionRequiredMessage));
                    return;
                }
                m_services.userDefaults.setBool(hasShownExplanationKey, true);
            }
            if (m_services.screenAccess.preflight()) {
                granted = true;
            } else {
                m_services.screenAccess.request();
                m_hasPromptedForScreenRecordingAccess = true;
                granted = m_services.screenAccess.preflight();
                if (!granted)
                    guidance = m_services.permissionService.screenRecordingGuidanceMessage();
            }
        }
        if (!granted) {
            updatePermissionStatus(false);
            setCaptureState(CaptureState::failure(guidance));
            return;
        }
        updatePermissionStatus(true);
    }

    // Set synchronously: this is what keeps a second trigger from starting another capture.
    setCaptureState(CaptureState::capturing());
    setExtractedText(QString());
    setExportStatusMessage(std::nullopt);
    runCapture(mode.value_or(CaptureMode::text));
}

QCoro::Task<> AppState::runCapture(CaptureMode mode)
{
    // The object outlives every capture in the program; the guard only matters in teardown.
    QPointer<AppState> self(this);
    QImage image;
    // Whatever the outcome, the overlay a Wayland selection leaves up goes with this capture:
    // after the clipboard has the text, while the overlay still holds the keyboard focus
    // the compositor asks for.
    // A capture started after this one's reading was let go owns the overlay by then.
    RegionSelector &selector = m_services.regionSelector;
    const quint64 capture = ++m_captureCount;
    const auto dismiss = qScopeGuard([this, self, capture, &selector] {
        if (!self || capture == m_captureCount)
            selector.dismissSelection();
    });
    try {
        auto selection = selector.selectRegion();
        const QRectF rect = co_await selection;
        if (!self)
            co_return;
        if (!m_services.preferences.autoCopy())
            selector.dismissSelection();
        auto grab = m_services.service.captureRegion(rect);
        image = co_await grab;
        markCaptureStep("grab");
        if (!self)
            co_return;
    } catch (const CaptureError &error) {
        if (!self)
            co_return;
        // Only this request was refused; whether access is allowed at all is still what the
        // check before the capture says, so the banner is left as it is.
        if (error.isScreenAccessRefusal()) {
            qCWarning(lcApp).noquote() << "Screen access refused:" << error.localizedDescription();
            setCaptureState(
                CaptureState::failure(m_services.permissionService.screenRecordingGuidanceMessage()));
        } else {
            setCaptureState(CaptureState::failure(error.localizedDescription()));
        }
        co_return;
    } catch (const std::exception &error) {
        if (self)
            setCaptureState(CaptureState::failure(unexpectedFailureMessage(error.what())));
        co_return;
    } catch (...) {
        if (self)
            setCaptureState(CaptureState::failure(unexpectedFailureMessage("")));
        co_return;
    }
    const quint64 reading = m_readingCount;
    auto recognition = recognizeInBackground(image, mode);
    const RecognitionOutcome outcome = co_await recognition;
    if (self)
        Q_EMIT readingFinished();
    if (!self || !readingIsCurrent(reading))
        co_return;
    if (!outcome.text) {
        setCaptureState(CaptureState::failure(outcome.failure));
        co_return;
    }
    // Only an image that gave a result replaces the one capture-last reads again.
    m_lastCapturedImage = image;
    setHasLastCapture(true);
    applyRecognizedText(*outcome.text, outcome.languageIdentifier);
}

QFuture<AppState::RecognitionOutcome> AppState::recognizeInBackground(
    QImage image, std::optional<CaptureMode> mode)
{
    Q_EMIT objectWillChange();
    m_recognizing = true;
    // The language is read now, on the main thread, as the capture reaches recognition.
    return QtConcurrent::run(&m_recognitionPool,
        [&service = m_services.service, image = std::move(image), mode, language = recognitionLanguage(),
            identifier = m_selectedLanguageIdentifier, &current = m_readingCount,
            reading = m_readingCount.load()] {
            // Let go while a stopped reading still held the engine: its outcome would be dropped.
            if (current != reading)
                return RecognitionOutcome { std::nullopt, errorDescription(OCRServiceError::captureCancelled),
                    identifier };
            try {
                RecognitionOutcome outcome { recognizeCapturedImage(service, image, mode, language), {},
                    identifier };
                markCaptureStep("recognized");
                return outcome;
            } catch (const CaptureError &error) {
                return RecognitionOutcome { std::nullopt, error.localizedDescription(), identifier };
            } catch (const std::exception &error) {
                return RecognitionOutcome { std::nullopt, unexpectedFailureMessage(error.what()),
                    identifier };
            } catch (...) {
                return RecognitionOutcome { std::nullopt, unexpectedFailureMessage(""), identifier };
            }
        });
}

void AppState::captureLastSelection()
{
    if (m_captureState.kind() == CaptureState::Kind::capturing || m_startingCapture || !m_lastCapturedImage)
        return;
    setCaptureState(CaptureState::capturing());
    setExtractedText(QString());
    setExportStatusMessage(std::nullopt);
    rerunRecognition(*m_lastCapturedImage);
}

QCoro::Task<> AppState::rerunRecognition(QImage image)
{
    QPointer<AppState> self(this);
    // A re-run always reads text with its line breaks, whatever the first capture's mode.
    const quint64 reading = m_readingCount;
    auto recognition = recognizeInBackground(std::move(image), std::nullopt);
    const RecognitionOutcome outcome = co_await recognition;
    if (self)
        Q_EMIT readingFinished();
    if (!self || !readingIsCurrent(reading))
        co_return;
    if (outcome.text)
        applyRecognizedText(*outcome.text, outcome.languageIdentifier);
    else
        setCaptureState(CaptureState::failure(outcome.failure));
}

void AppState::applyRecognizedText(const QString &text, const QString &languageIdentifier)
{
    setExtractedText(text);
    addToHistory(text, languageIdentifier);
    if (m_services.preferences.autoCopy()) {
        copyToClipboard(text);
        markCaptureStep("clipboard");
    }
    setCaptureState(CaptureState::success());
}

void AppState::copyToClipboard(const QString &text)
{
    Pasteboard &pasteboard = m_services.pasteboard;
    if (m_services.preferences.additiveClipboard()) {
        const std::optional<QString> current = pasteboard.string();
        if (current && !current->isEmpty()) {
            pasteboard.clearContents();
            pasteboard.setString(*current + QLatin1Char('\n') + text);
            return;
        }
    }
    pasteboard.clearContents();
    pasteboard.setString(text);
}

void AppState::copyExtractedText()
{
    if (hasExtractedText())
        copyToClipboard(m_extractedText);
}

// Screen access.

void AppState::updatePermissionStatus(std::optional<bool> granted)
{
    const bool value = granted ? *granted : m_services.screenAccess.preflight();
    const bool arrived = value && !m_screenRecordingPermissionGranted;
    setScreenRecordingPermissionGranted(value);
    if (value) {
        stopPermissionRefreshTask();
        // Permission failures clear themselves once access arrives; other failures stay. A
        // request the desktop refused while access stood (a Wayland portal saying no this
        // once) keeps its guidance: re-reading an unchanged "granted" is no news.
        if (arrived && m_captureState.kind() == CaptureState::Kind::failure
            && m_captureState.message().contains(QStringLiteral("Screen Recording"), Qt::CaseInsensitive))
            setCaptureState(CaptureState::idle());
    } else {
        startPermissionRefreshTask();
    }
}

void AppState::openScreenRecordingSettings()
{
    m_services.permissionService.openScreenRecordingSettings();
    startPermissionRefreshTask();
}

void AppState::startPermissionRefreshTask()
{
    if (m_permissionRefreshTask)
        return;
    // A timer owned by this object: it stops with it, and never prompts.
    m_permissionRefreshTask = new QTimer(this);
    m_permissionRefreshTask->setTimerType(Qt::PreciseTimer);
    m_permissionRefreshTask->setInterval(permissionPollIntervalMs);
    connect(m_permissionRefreshTask, &QTimer::timeout, this, [this] {
        if (m_services.screenAccess.preflight())
            updatePermissionStatus(true);
    });
    m_permissionRefreshTask->start();
}

void AppState::stopPermissionRefreshTask()
{
    delete m_permissionRefreshTask;
    m_permissionRefreshTask = nullptr;
}

void AppState::installPermissionRefreshObservers()
{
    auto refresh = [this] {
        QMetaObject::invokeMethod(
            this, [this] { updatePermissionStatus(); }, Qt::QueuedConnection);
    };
    m_permissionRefreshObservers = {
        connect(&m_services.activation, &AppActivation::didBecomeActive, this, refresh),
        connect(&m_services.activation, &AppActivation::willBecomeActive, this, refresh),
    };
}

bool AppState::showScreenRecordingExplanation()
{
    AlertSpec alert;
    alert.style = AlertSpec::Style::informational;
    alert.messageText = QStringLiteral("Glyphwell Needs Screen Recording");
    alert.informativeText = QStringLiteral(
        "Glyphwell needs Screen Recording to read text from the selected screen area.\n\n"
        "It does not record audio, upload screenshots, or monitor your screen. Everything is processed "
        "locally, and nothing leaves this device.");
    alert.buttons = { QStringLiteral("Continue"), QStringLiteral("Not Now") };
    return m_services.dialogs.runModalAlert(alert) == 0;
}

// History.

void AppState::addToHistory(const QString &text, const QString &languageIdentifier)
{
    CaptureHistoryItem item { QUuid::createUuid(), text, QDateTime::currentDateTimeUtc(),
        languageIdentifier };
    m_historyStore.remember(item.id);
    QList<CaptureHistoryItem> history = m_captureHistory;
    history.prepend(item);
    HistoryStore::cutToLimit(history, 1);
    setCaptureHistory(std::move(history));
    setSelectedHistoryItemID(item.id);
    persistState();
}

void AppState::selectHistoryItem(const CaptureHistoryItem &item)
{
    setSelectedHistoryItemID(item.id);
    // A capture running is not ended by a look at the history: its result still comes.
    if (m_captureState.kind() == CaptureState::Kind::capturing)
        return;
    setExtractedText(item.text);
    setExportStatusMessage(std::nullopt);
    setCaptureState(CaptureState::success());
}

void AppState::clearHistory()
{
    if (!m_captureHistory.isEmpty()) {
        Q_EMIT objectWillChange();
        m_clearedHistory = ClearedHistory { m_captureHistory, m_selectedHistoryItemID };
    }
    setCaptureHistory({});
    setSelectedHistoryItemID(std::nullopt);
    persistState();
    if (m_clearedHistory)
        Q_EMIT historyCleared();
}

void AppState::undoClearHistory()
{
    if (!m_clearedHistory)
        return;
    Q_EMIT objectWillChange();
    const ClearedHistory cleared = *std::exchange(m_clearedHistory, std::nullopt);
    QList<CaptureHistoryItem> history = m_captureHistory;
    QSet<QUuid> present;
    for (const CaptureHistoryItem &item : std::as_const(history))
        present.insert(item.id);
    for (const CaptureHistoryItem &item : cleared.history) {
        if (!present.contains(item.id))
            history.append(item);
    }
    std::stable_sort(history.begin(), history.end(),
        [](const CaptureHistoryItem &a, const CaptureHistoryItem &b) { return a.capturedAt > b.capturedAt; });
    HistoryStore::cutToLimit(history, 0);
    const bool selectionKept = !m_selectedHistoryItemID && cleared.selected
        && std::any_of(history.cbegin(), history.cend(),
            [&](const CaptureHistoryItem &item) { return item.id == *cleared.selected; });
    setCaptureHistory(std::move(history));
    if (selectionKept)
        setSelectedHistoryItemID(cleared.selected);
    persistState();
}

void AppState::loadPersistedState()
{
    const std::optional<PersistedGlyphwellState> state = m_historyStore.load();
    if (!state)
        return;
    setCaptureHistory(state->history);
    // The file holds this already: nothing to write.
    Q_EMIT objectWillChange();
    m_selectedLanguageIdentifier = state->selectedLanguageIdentifier;
}

void AppState::persistState()
{
    // Another Glyphwell's captures written meanwhile join ours.
    QList<CaptureHistoryItem> history
        = m_historyStore.save({ m_captureHistory, m_selectedLanguageIdentifier });
    if (history != m_captureHistory)
        setCaptureHistory(std::move(history));
}

// Export.

QString AppState::exportFileName(const QDateTime &time)
{
    // Fixed Western digits and the Gregorian calendar, whatever the user's locale.
    return QStringLiteral("glyphwell-")
        + QLocale::c().toString(time.toLocalTime(), QStringLiteral("yyyyMMdd-HHmmss"))
        + QStringLiteral(".txt");
}

QString AppState::suggestedExportFileName() const
{
    const std::optional<CaptureHistoryItem> item = selectedHistoryItem();
    return exportFileName(item ? item->capturedAt : QDateTime::currentDateTime());
}

void AppState::exportText()
{
    if (!hasExtractedText())
        return;
    SavePanelSpec panel;
    panel.title = QStringLiteral("Export OCR Text");
    panel.message = QStringLiteral("Save the recognized text as a plain text file.");
    panel.proposedName = suggestedExportFileName();
    // The text the user asked to export: a capture started from a hot key while the dialog is
    // open must not change what is written.
    const QString text = m_extractedText;
    const std::optional<QString> path = m_services.dialogs.runSavePanel(panel);
    if (!path || path->isEmpty())
        return;
    // The whole text, untrimmed, in UTF-8 without a byte-order mark.
    QString error;
    if (!writeFileAtomically(*path, text.toUtf8(), FileAccess::asTheUserChose, &error)) {
        qCWarning(lcApp, "Could not export to %s: %s", qPrintable(*path), qPrintable(error));
        setCaptureState(CaptureState::failure(QStringLiteral("Couldn't export the OCR text.")));
        return;
    }
    setExportStatusMessage(QStringLiteral("Exported to ") + QFileInfo(*path).fileName() + QLatin1Char('.'));
    if (m_captureState.kind() == CaptureState::Kind::idle)
        setCaptureState(CaptureState::success());
}

// Shortcuts.

void AppState::registerShortcutHandlers()
{
    using namespace KeyboardShortcuts;
    // The handlers only schedule the work, so the key release is answered at once; they hold
    // this object weakly and do nothing once it is gone.
    auto schedule = [self = QPointer<AppState>(this)](void (*work)(AppState &)) {
        return [self, work] {
            markCaptureStep("shortcut");
            if (self)
                QMetaObject::invokeMethod(
                    self.data(),
                    [self, work] {
                        if (self)
                            work(*self);
                    },
                    Qt::QueuedConnection);
        };
    };
    onKeyUp(AppShortcutNames::captureText(), schedule([](AppState &state) { state.startCapture(); }));
    onKeyUp(AppShortcutNames::captureWithoutLineBreaks(),
        schedule([](AppState &state) { state.startCapture(CaptureMode::textWithoutLineBreaks); }));
    onKeyUp(AppShortcutNames::captureLastSelection(),
        schedule([](AppState &state) { state.captureLastSelection(); }));
}
