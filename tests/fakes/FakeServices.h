#pragma once

#include "capture/OCRServiceError.h"
#include "capture/RecognitionEngine.h"
#include "capture/RegionSelector.h"
#include "capture/ScreenAccess.h"
#include "capture/ScreenGrabber.h"
#include "platform/DesktopNotifications.h"
#include "platform/Dialogs.h"
#include "platform/Pasteboard.h"

#include <QCoro/QCoroSignal>
#include <QImage>
#include <QList>
#include <QObject>
#include <QRectF>

#include <atomic>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

// Screen access whose answers the test sets. request() can grant it, like a user who says yes.
class FakeScreenAccess : public ScreenAccess {
public:
    bool granted = false;
    bool grantOnRequest = false;
    int preflightCalls = 0;
    int requestCalls = 0;

    bool preflight() override
    {
        ++preflightCalls;
        return granted;
    }
    void request() override
    {
        ++requestCalls;
        if (grantOnRequest)
            granted = true;
    }
};

// A region selector that waits until the test answers: finish() with a rectangle or cancel().
class FakeRegionSelector : public QObject, public RegionSelector {
    Q_OBJECT
public:
    int calls = 0;
    bool pending() const { return m_pending; }

    // Runs at each dismissSelection().
    std::function<void()> onDismiss;

    QCoro::Task<QRectF> selectRegion() override;
    void dismissSelection() override;
    void finish(QRectF rect);
    void cancel();

Q_SIGNALS:
    void answered();

private:
    bool m_pending = false;
    std::variant<QRectF, CaptureError> m_answer = QRectF();
};

// A screen grabber that hands back a set image (or fails), after a turn of the event loop.
// freezeFrame() hands back `frame` (empty unless the test sets one) and counts the calls.
class FakeScreenGrabber : public ScreenGrabber {
public:
    std::variant<QImage, CaptureError> result = QImage();
    // When set, the grab fails with this fault that is none of the capture's own errors.
    std::optional<std::string> unexpectedFault;
    QList<QRectF> requests;
    FrozenFrame frame;
    int freezeCalls = 0;
    int releaseCalls = 0;
    bool holdsFrame = false;

    QCoro::Task<QImage> captureRegion(QRectF rect) override;
    QCoro::Task<FrozenFrame> freezeFrame() override;
    void releaseFrame() override;
};

// Recognition engines scripted per image: the image's top-left pixel colour picks the answer,
// so a test can tell which image was read.
class FakeTextEngine : public TextRecognitionEngine {
public:
    std::function<std::optional<std::vector<TextObservation>>(const QImage &)> answer;
    // Filled on the recognition thread: read it once the capture is over, or after calls.
    QList<std::optional<QString>> languages;
    std::atomic<int> calls { 0 };
    // Set by cancelRecognition(); an answer that waits may look at it and throw as the engine does.
    std::atomic<bool> cancelled { false };

    std::optional<std::vector<TextObservation>> recognizeText(const QImage &image,
        const std::optional<QString> &languageIdentifier, ReadingNotes *notes = nullptr) override;
    void cancelRecognition() override { cancelled = true; }
};

class FakeBarcodeEngine : public BarcodeDetectionEngine {
public:
    std::function<std::optional<std::vector<BarcodeObservation>>(const QImage &)> answer;
    int calls = 0;

    std::optional<std::vector<BarcodeObservation>> detectBarcodes(const QImage &image) override;
};

class FakePasteboard : public Pasteboard {
public:
    std::optional<QString> contents;
    int writes = 0;

    std::optional<QString> string() const override { return contents; }
    void clearContents() override { contents.reset(); }
    void setString(const QString &text) override
    {
        ++writes;
        contents = text;
    }
};

// Answers alerts with a set button and save panels with a set path (absent: cancel), and
// remembers what it was shown. onSavePanel runs while the panel is "open".
class FakeDialogs : public Dialogs {
public:
    int answer = 0;
    QList<AlertSpec> shown;
    std::optional<QString> savePath;
    QList<SavePanelSpec> savePanels;
    std::function<void()> onSavePanel;
    int beeps = 0;
    // Runs while an alert is "up", before it is answered.
    std::function<void(const AlertSpec &)> onAlert;

    int runModalAlert(const AlertSpec &alert) override
    {
        shown.append(alert);
        if (onAlert)
            onAlert(alert);
        return answer;
    }
    std::optional<QString> runSavePanel(const SavePanelSpec &panel) override
    {
        savePanels.append(panel);
        if (onSavePanel)
            onSavePanel();
        return savePath;
    }
    void beep() override { ++beeps; }
};

// Solid images tell images apart in the fakes.
QImage solidImage(QColor colour, QSize size = QSize(40, 20));
std::vector<TextObservation> lines(const QStringList &texts);

// Remembers the notifications it was asked to show; `available` false plays a desktop
// without a notification service.
class FakeNotifications : public DesktopNotifications {
public:
    bool available = true;
    QStringList bodies;

    bool notify(const QString &, const QString &body) override
    {
        if (available)
            bodies.append(body);
        return available;
    }
};
