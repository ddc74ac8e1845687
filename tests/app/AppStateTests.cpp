#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/Registry.h"
#include "app/AppShortcutNames.h"
#include "capture/CaptureRecognition.h"
#include "capture/TesseractEngine.h"
#include "fakes/AppStateHarness.h"
#include "fakes/FakeHotKeyBackend.h"
#include "fakes/ReadOnlyFolder.h"
#include "fakes/ScopedEnv.h"
#include "fakes/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <ctime>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>

namespace {

const QString cancelledText = QStringLiteral("Screen capture was cancelled before an image was produced.");
const QString noTextText = QStringLiteral("No text was recognized in the captured image.");
const QString permissionRequiredText
    = QStringLiteral("Screen Recording permission is required to capture text.");

class AppStateTest : public ::testing::Test, public AppStateHarness { };

TEST_F(AppStateTest, Capture_PutsTrimmedTextInResultHistoryAndClipboard)
{
    textEngine.answer = [](const QImage &) {
        return lines({ QStringLiteral("  first line"), QStringLiteral("second \n") });
    };
    makeState();
    QSignalSpy readings(state.get(), &AppState::readingFinished);
    capture();

    const QString expected = QStringLiteral("first line\nsecond");
    EXPECT_EQ(readings.count(), 1);
    EXPECT_EQ(state->captureState(), CaptureState::success());
    EXPECT_EQ(state->statusMessage(), QStringLiteral("Text extracted successfully."));
    EXPECT_EQ(state->extractedText(), expected);
    ASSERT_EQ(state->captureHistory().size(), 1);
    EXPECT_EQ(state->captureHistory().first().text, expected);
    EXPECT_EQ(state->selectedHistoryItemID(), state->captureHistory().first().id);
    EXPECT_EQ(pasteboard.contents, expected);
    EXPECT_TRUE(state->hasLastCapture());
    ASSERT_EQ(grabber.requests.size(), 1);
    EXPECT_EQ(grabber.requests.first(), QRectF(10, 20, 100, 40));
    EXPECT_TRUE(historyFile().contains("first line\\nsecond"));

    // While the next overlay is up the old result is gone; the announcement of the change
    // still sees the old state.
    QList<CaptureState::Kind> announced;
    QObject::connect(
        state.get(), &AppState::objectWillChange, [&] { announced.append(state->captureState().kind()); });
    state->startCapture();
    EXPECT_TRUE(announced.contains(CaptureState::Kind::success));
    EXPECT_EQ(state->captureState(), CaptureState::capturing());
    EXPECT_EQ(state->extractedText(), QString());
    EXPECT_EQ(state->statusMessage(), QStringLiteral("Select an area with the screen capture tool."));
    cancelSelection();
}

// Each failure ends the capture with its message (faults that are none of the capture's own
// errors too), and a new capture can start.
TEST_F(AppStateTest, Failures_EndInTheirMessageAndTouchNothingElse)
{
    makeState();
    pasteboard.contents = QStringLiteral("keep");
    QSignalSpy readings(state.get(), &AppState::readingFinished);
    const struct {
        const char *name;
        std::function<void()> arrange;
        QString message;
    } rows[] = {
        { "cancelled", [] {}, cancelledText },
        { "no image", [&] { grabber.result = CaptureError(OCRServiceError::noCapturedImage); },
            QStringLiteral("The screen capture completed, but no image file was created.") },
        { "recognition fails",
            [&] {
                grabber.result = solidImage(Qt::white);
                textEngine.answer = [](const QImage &) { return std::nullopt; };
            },
            QStringLiteral("Vision text recognition failed.") },
        { "grab fault", [&] { grabber.unexpectedFault = "grab fault"; },
            QStringLiteral("The capture failed unexpectedly: grab fault") },
        { "recognition fault",
            [&] {
                grabber.unexpectedFault.reset();
                textEngine.answer = [](const QImage &) -> std::optional<std::vector<TextObservation>> {
                    throw std::runtime_error("recognition fault");
                };
            },
            QStringLiteral("The capture failed unexpectedly: recognition fault") },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        row.arrange();
        startSelecting();
        if (row.message == cancelledText)
            selector.cancel();
        else
            selector.finish(QRectF(10, 20, 100, 40));
        ASSERT_TRUE(waitUntilNotCapturing());
        EXPECT_EQ(state->captureState(), CaptureState::failure(row.message));
        EXPECT_EQ(state->statusMessage(), row.message);
        startSelecting(); // not stuck
        cancelSelection();
    }
    EXPECT_TRUE(state->captureHistory().isEmpty());
    EXPECT_EQ(pasteboard.contents, QStringLiteral("keep"));
    // Only the two that got as far as a reading say it ended (its memory can go back).
    EXPECT_EQ(readings.count(), 2);
    EXPECT_FALSE(state->hasLastCapture());
    EXPECT_FALSE(QFile::exists(historyPath()));

    // Without a good capture, capture-last has nothing to read and changes nothing.
    const CaptureState last = state->captureState();
    QSignalSpy changes(state.get(), &AppState::objectWillChange);
    state->captureLastSelection();
    QTest::qWait(20);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(state->captureState(), last);
}

// A Wayland compositor takes the clipboard only from the focused client: the overlay that
// holds the focus goes once the text is on the clipboard, at once when nothing is to be
// copied, and after any failure.
TEST_F(AppStateTest, HeldOverlay_IsDismissedAfterTheClipboardHasTheText)
{
    struct Seen {
        std::optional<QString> clipboard;
        int recognitions;
    };
    const struct {
        const char *name;
        bool autoCopy;
        bool recognitionFails;
        bool cancel;
        Seen first;
    } rows[] = {
        { "auto-copy", true, false, false, { QStringLiteral("recognized"), 1 } },
        { "no auto-copy: before recognition", false, false, false, { std::nullopt, 0 } },
        { "recognition fails", true, true, false, { std::nullopt, 1 } },
        { "cancelled", true, false, true, { std::nullopt, 0 } },
    };
    makeState();
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        preferences->setAutoCopy(row.autoCopy);
        pasteboard.contents.reset();
        textEngine.calls = 0;
        textEngine.answer
            = [fails = row.recognitionFails](const QImage &) -> std::optional<std::vector<TextObservation>> {
            if (fails)
                return std::nullopt;
            return lines({ QStringLiteral("recognized") });
        };
        QList<Seen> seen;
        selector.onDismiss = [&] { seen.append({ pasteboard.contents, textEngine.calls.load() }); };
        startSelecting();
        if (row.cancel)
            selector.cancel();
        else
            selector.finish(QRectF(10, 20, 100, 40));
        ASSERT_TRUE(waitUntilNotCapturing());
        ASSERT_FALSE(seen.isEmpty());
        EXPECT_EQ(seen.first().clipboard, row.first.clipboard);
        EXPECT_EQ(seen.first().recognitions, row.first.recognitions);
    }
    selector.onDismiss = nullptr;
}

// Codes are read in every capture, whatever the text mode: their payloads follow the text,
// each on a line of its own (a code alone: end-to-end-capture.sh).
TEST_F(AppStateTest, CodesInEveryCapture_FollowTheText)
{
    const auto codes = [](QStringList payloads) {
        return [payloads](const QImage &) {
            std::vector<BarcodeObservation> found;
            for (const QString &payload : payloads)
                found.push_back({ payload, QRect(0, 0, 10, 10) });
            return std::optional(found);
        };
    };
    const struct {
        const char *name;
        QStringList text;
        QStringList payloads;
        CaptureMode mode;
        std::optional<QString> expected; // absent: "No text was recognized"
    } cases[] = {
        { "text and two codes", { QStringLiteral("Scan to pay"), QStringLiteral("Table 4") },
            { QStringLiteral("upi://pay?a=1"), QStringLiteral("WIFI:S:cafe;;") }, CaptureMode::text,
            QStringLiteral("Scan to pay\nTable 4\nupi://pay?a=1\nWIFI:S:cafe;;") },
        { "folded text, the payload on its own line", { QStringLiteral("Scan"), QStringLiteral("me") },
            { QStringLiteral("12345") }, CaptureMode::textWithoutLineBreaks,
            QStringLiteral("Scan me\n12345") },
        { "a payload of blanks adds nothing", { QStringLiteral("Hello") }, { QStringLiteral(" \n\t ") },
            CaptureMode::text, QStringLiteral("Hello") },
        { "neither text nor a code", {}, {}, CaptureMode::text, std::nullopt },
        { "a code of blanks alone is no result", {}, { QStringLiteral(" \n\t ") }, CaptureMode::text,
            std::nullopt },
    };
    makeState();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        textEngine.answer = [text = c.text](const QImage &) { return lines(text); };
        barcodeEngine.answer = codes(c.payloads);
        pasteboard.contents = QStringLiteral("keep");
        capture(c.mode);
        if (c.expected) {
            EXPECT_EQ(state->captureState(), CaptureState::success());
            EXPECT_EQ(state->extractedText(), *c.expected);
        } else {
            EXPECT_EQ(state->captureState(), CaptureState::failure(noTextText));
            EXPECT_EQ(pasteboard.contents, QStringLiteral("keep"));
        }
    }
    // The qrCode mode reads codes alone, without falling back to the text.
    barcodeEngine.answer = codes({ QStringLiteral(" \n\t ") });
    const int reads = textEngine.calls, scans = barcodeEngine.calls;
    capture(CaptureMode::qrCode);
    EXPECT_EQ(state->captureState(),
        CaptureState::failure(QStringLiteral("No QR code or barcode was found in the captured image.")));
    EXPECT_EQ(textEngine.calls, reads);
    EXPECT_EQ(barcodeEngine.calls, scans + 1);
}

TEST_F(AppStateTest, HugeSelection_IsReadReducedToTheRecognitionBound)
{
    // Two 8K screens side by side, 66 million pixels.
    QImage frame(2 * 7680, 4320, QImage::Format_Grayscale8);
    frame.fill(Qt::white);
    grabber.result = frame;
    std::atomic<qint64> readPixels = 0;
    std::atomic<double> readAspect = 0;
    textEngine.answer = [&](const QImage &image) {
        readPixels = qint64(image.width()) * image.height();
        readAspect = double(image.width()) / image.height();
        return lines({ QStringLiteral("wide") });
    };
    makeState();
    startSelecting();
    selector.finish(QRectF(0, 0, 2 * 7680, 4320));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return state->captureState().kind() != CaptureState::Kind::capturing; }, 60'000));
    EXPECT_EQ(state->extractedText(), QStringLiteral("wide"));
    EXPECT_LE(readPixels.load(), maximumRecognitionPixels);
    EXPECT_GT(readPixels.load(), maximumRecognitionPixels * 99 / 100);
    EXPECT_NEAR(readAspect.load(), 2 * 7680.0 / 4320, 0.01);
    // Within the bound, nothing is scaled.
    EXPECT_EQ(boundedForRecognition(QImage(7680, 4320, QImage::Format_Grayscale8)).size(), QSize(7680, 4320));
}

TEST_F(AppStateTest, Clipboard_ReplacesOrAppendsAsSet)
{
    textEngine.answer = [](const QImage &) { return lines({ QStringLiteral("def") }); };
    makeState();
    const struct {
        bool additive, autoCopy;
        std::optional<QString> before; // absent: an image, say
        std::optional<QString> after;
    } rows[] = {
        { true, true, QStringLiteral("abc"), QStringLiteral("abc\ndef") },
        { true, true, QString(), QStringLiteral("def") },
        { true, true, std::nullopt, QStringLiteral("def") },
        { false, true, QStringLiteral("abc"), QStringLiteral("def") },
        { false, false, QStringLiteral("untouched"), QStringLiteral("untouched") },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.before.value_or(QStringLiteral("(image)")).toStdString());
        preferences->setAdditiveClipboard(row.additive);
        preferences->setAutoCopy(row.autoCopy);
        pasteboard.contents = row.before;
        const int writes = pasteboard.writes;
        capture();
        EXPECT_EQ(pasteboard.contents, row.after);
        EXPECT_EQ(pasteboard.writes - writes, row.autoCopy ? 1 : 0);
        EXPECT_EQ(state->extractedText(), QStringLiteral("def"));
    }
    EXPECT_EQ(state->captureHistory().size(), 5);

    // The copy command takes the shown text as it is, and only when there is some.
    state->copyExtractedText();
    EXPECT_EQ(pasteboard.contents, QStringLiteral("def"));
    preferences->setAdditiveClipboard(true);
    state->copyExtractedText();
    EXPECT_EQ(pasteboard.contents, QStringLiteral("def\ndef"));
}

// While the text is read, Escape (in the window or over the held overlay) or a new capture
// lets the user go at once; the engine goes on until it can stop (the real one:
// TesseractEngine.ReadingStopsAtItsBudgetAndWhenCancelled). What that reading gives is dropped,
// and a new capture's reading waits for the engine rather than running beside it.
TEST_F(AppStateTest, Reading_StopsForEscapeAndForANewCapture)
{
    makeState();
    // The first reading of each case holds the engine until released, stopped or not.
    std::atomic<bool> hold = false;
    std::atomic<bool> release = false;
    textEngine.answer = [&](const QImage &) -> std::optional<std::vector<TextObservation>> {
        if (hold.exchange(false)) {
            for (int waited = 0; waited < 5000 && !release; waited += 5)
                QThread::msleep(5);
            if (textEngine.cancelled.exchange(false))
                throw CaptureError(OCRServiceError::captureCancelled);
            return lines({ QStringLiteral("the stopped reading") });
        }
        return lines({ QStringLiteral("read to the end") });
    };
    const CaptureState cancelled = CaptureState::failure(errorDescription(OCRServiceError::captureCancelled));
    // Where the new capture is when the stopped reading ends.
    enum class NewCapture { none, selecting, queued, stoppedWhileQueued };
    struct Case {
        const char *name;
        std::function<void()> interrupt;
        NewCapture next;
        bool read; // whether the new capture was read to the end
    };
    const Case cases[] = {
        { "Escape", [&] { state->cancelCapture(); }, NewCapture::none, false },
        { "Escape over the held overlay", [&] { selector.onCancelWhileHeld(); }, NewCapture::none, false },
        { "another capture, selecting", [&] { state->startCapture(); }, NewCapture::selecting, true },
        { "another capture, waiting for the engine", [&] { state->startCapture(); }, NewCapture::queued,
            true },
        { "another capture, stopped while waiting", [&] { state->startCapture(); },
            NewCapture::stoppedWhileQueued, false },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int selections = selector.calls;
        const int readings = textEngine.calls;
        const qsizetype history = state->captureHistory().size();
        int dismissals = 0;
        selector.onDismiss = [&] { ++dismissals; };
        hold = true;
        release = false;
        startSelecting();
        selector.finish(QRectF(0, 0, 50, 50));
        ASSERT_TRUE(QTest::qWaitFor([&] { return textEngine.calls > readings; }, 3000));
        ASSERT_TRUE(state->isReadingCapture());
        c.interrupt();
        // At once, with the engine still held: the reading is let go, its overlay put away.
        EXPECT_FALSE(state->isReadingCapture());
        EXPECT_GE(dismissals, 1);
        EXPECT_EQ(state->captureState(), c.next == NewCapture::none ? cancelled : CaptureState::capturing());
        if (c.next != NewCapture::none)
            ASSERT_TRUE(QTest::qWaitFor([&] { return selector.pending(); }, 3000));
        if (c.next == NewCapture::queued || c.next == NewCapture::stoppedWhileQueued) {
            selector.finish(QRectF(0, 0, 50, 50));
            ASSERT_TRUE(QTest::qWaitFor([&] { return state->isReadingCapture(); }, 3000));
            if (c.next == NewCapture::stoppedWhileQueued) {
                state->cancelCapture();
                EXPECT_EQ(state->captureState(), cancelled);
            }
        }
        QTest::qWait(50);
        EXPECT_EQ(textEngine.calls - readings, 1);
        const int dismissalsBefore = dismissals;
        release = true;
        QTest::qWait(50); // the stopped capture ends
        if (c.next == NewCapture::selecting) {
            EXPECT_EQ(dismissals, dismissalsBefore);
            EXPECT_TRUE(selector.pending());
            selector.finish(QRectF(0, 0, 50, 50));
        }
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return state->captureState().kind() != CaptureState::Kind::capturing; }, 3000));
        QTest::qWait(20);
        EXPECT_EQ(state->captureState(), c.read ? CaptureState::success() : cancelled);
        EXPECT_EQ(state->extractedText(), c.read ? QStringLiteral("read to the end") : QString());
        EXPECT_EQ(state->captureHistory().size() - history, c.read ? 1 : 0);
        EXPECT_EQ(textEngine.calls - readings, c.read ? 2 : 1) << "readings, the stopped one's included";
        EXPECT_EQ(selector.calls - selections, c.next == NewCapture::none ? 1 : 2);
        selector.onDismiss = nullptr;
    }
}

// With the real engine on a dense page, whose lines it finds before it can be interrupted:
// Escape over the held overlay, Stop Reading and a new capture let the user go within 200 ms,
// and the next capture reads once the stopped reading has ended.
TEST_F(AppStateTest, Reading_OfADensePageLetsTheUserGoWithin200Ms)
{
    const auto render = [](const QStringList &texts, QSize size) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QFont font;
        font.setPixelSize(14);
        painter.setFont(font);
        painter.setPen(Qt::black);
        for (int i = 0; i < texts.size(); ++i)
            painter.drawText(QPoint(8, 22 + i * 16), texts[i]);
        return image;
    };
    QStringList page;
    for (int i = 0; i < 90; ++i)
        page.append(QStringLiteral("Line %1 of a dense page that takes the engine a long time").arg(i));
    const QImage dense = render(page, QSize(440, 1480));
    const QImage small = render({ QStringLiteral("The next text is read") }, QSize(240, 40));
    TesseractEngine engine;
    engine.warmUp(std::nullopt);
    OCRService recognition(engine, barcodeEngine, grabber);
    makeState(&recognition);
    const QString cancelled = errorDescription(OCRServiceError::captureCancelled);
    const struct {
        const char *name;
        std::function<void()> interrupt;
        bool startsCapture;
    } rows[] = {
        { "Escape over the held overlay", [&] { selector.onCancelWhileHeld(); }, false },
        { "Stop Reading", [&] { state->cancelCapture(); }, false },
        { "a new capture", [&] { state->startCapture(); }, true },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        grabber.result = dense;
        startSelecting();
        selector.finish(QRectF(0, 0, dense.width(), dense.height()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return state->isReadingCapture(); }, 3000));
        QTest::qWait(300); // into the line finding, which the whole page takes seconds past
        ASSERT_TRUE(state->isReadingCapture());
        row.interrupt();
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return row.startsCapture
                    ? selector.pending()
                    : state->captureState() == CaptureState::failure(cancelled) && !state->isReadingCapture();
            },
            5000));
        EXPECT_LT(clock.elapsed(), 200);
        if (!row.startsCapture)
            startSelecting();
        grabber.result = small;
        selector.finish(QRectF(0, 0, small.width(), small.height()));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return state->captureState().kind() != CaptureState::Kind::capturing; }, 30'000));
        EXPECT_EQ(state->extractedText(), QStringLiteral("The next text is read"));
    }
    // Nothing of the stopped page was kept.
    for (const CaptureHistoryItem &item : state->captureHistory())
        EXPECT_FALSE(item.text.contains(QStringLiteral("dense page")));
    state.reset(); // before the engine it reads with
}

TEST_F(AppStateTest, CaptureLast_RereadsTheLastGoodImageWithLineBreaksAndTheCurrentLanguage)
{
    // Each image reads as its colour, so the test sees which image was read again; a blue one
    // cannot be read. A held reading keeps the capture from ending before it is looked at.
    std::atomic<bool> hold = false;
    textEngine.answer = [&hold](const QImage &image) -> std::optional<std::vector<TextObservation>> {
        while (hold)
            QThread::msleep(1);
        if (image.pixelColor(0, 0) == Qt::blue)
            return std::nullopt;
        return lines({ image.pixelColor(0, 0).name(), QStringLiteral("x") });
    };
    makeState();
    grabber.result = solidImage(Qt::red);
    capture(CaptureMode::textWithoutLineBreaks);
    EXPECT_EQ(state->extractedText(), QStringLiteral("#ff0000 x"));
    // A failed capture of another image keeps the red one.
    grabber.result = solidImage(Qt::blue);
    capture();
    ASSERT_EQ(state->captureState().kind(), CaptureState::Kind::failure);

    state->setSelectedLanguageIdentifier(QStringLiteral("de-DE"));
    const int grabs = grabber.requests.size();
    hold = true;
    state->captureLastSelection();
    EXPECT_EQ(state->captureState(), CaptureState::capturing());
    hold = false;
    ASSERT_TRUE(waitUntilNotCapturing());
    EXPECT_EQ(state->extractedText(), QStringLiteral("#ff0000\nx"));
    EXPECT_EQ(textEngine.languages.last(), QStringLiteral("de-DE"));
    EXPECT_EQ(grabber.requests.size(), grabs);
    EXPECT_EQ(selector.calls, 2);
    EXPECT_EQ(state->captureHistory().size(), 2);

    textEngine.answer = [](const QImage &) { return lines({ QStringLiteral(" ") }); };
    state->captureLastSelection();
    ASSERT_TRUE(waitUntilNotCapturing());
    EXPECT_EQ(state->captureState(), CaptureState::failure(noTextText));
}

TEST_F(AppStateTest, Language_AutomaticAndUnknownPassNoneGivenOnePassesIt)
{
    makeState();
    // Each change, and only a change, has the new language's models loaded ahead.
    QSignalSpy changes(state.get(), &AppState::recognitionLanguageChanged);
    capture();
    state->setSelectedLanguageIdentifier(QStringLiteral("de-DE"));
    state->setSelectedLanguageIdentifier(QStringLiteral("de-DE"));
    capture();
    state->setSelectedLanguageIdentifier(QStringLiteral("xx-YY"));
    EXPECT_EQ(changes.size(), 2);
    capture();
    EXPECT_EQ(textEngine.languages,
        (QList<std::optional<QString>> { std::nullopt, QStringLiteral("de-DE"), std::nullopt }));
    EXPECT_EQ(state->selectedLanguageIdentifier(), QStringLiteral("xx-YY"));
    EXPECT_EQ(state->captureHistory().first().languageIdentifier, QStringLiteral("xx-YY"));

    // Another language picked while the text is read: the entry names the one it was read with.
    std::atomic<bool> carryOn = false;
    textEngine.answer = [&](const QImage &) {
        while (!carryOn)
            QThread::msleep(5);
        return lines({ QStringLiteral("read in French") });
    };
    state->setSelectedLanguageIdentifier(QStringLiteral("fr-FR"));
    const int calls = textEngine.calls;
    startSelecting();
    selector.finish(QRectF(10, 20, 100, 40));
    ASSERT_TRUE(QTest::qWaitFor([&] { return textEngine.calls > calls; }, 3000));
    state->setSelectedLanguageIdentifier(QStringLiteral("de-DE"));
    carryOn = true;
    ASSERT_TRUE(waitUntilNotCapturing());
    EXPECT_EQ(textEngine.languages.last(), QStringLiteral("fr-FR"));
    EXPECT_EQ(state->captureHistory().first().languageIdentifier, QStringLiteral("fr-FR"));
}

// Without access the explanation comes first. "Not Now" fails and asks again at the next
// capture, until the poll finds access; "Continue" asks the desktop once, and a refusal there
// gives the guidance from then on without asking again.
TEST_F(AppStateTest, Permission_NotNowAsksAgain_ARefusedRequestIsNotAskedAgain)
{
    const QString guidance
        = QStringLiteral("Enable Screen Recording for Glyphwell in System Settings > Privacy & "
                         "Security > Screen Recording, then quit and reopen the app.");
    const struct {
        const char *name;
        int answer;
        QString failure;
        int explanations; // after two captures
        int requests;
    } rows[] = {
        { "Not Now", 1, permissionRequiredText, 2, 0 },
        { "Continue, refused", 0, guidance, 1, 1 },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        access.granted = false;
        access.requestCalls = 0;
        dialogs.shown.clear();
        defaults.removeObject(QStringLiteral("hasShownScreenRecordingExplanation"));
        dialogs.answer = row.answer;
        makeState();
        for (int attempt = 0; attempt < 2; ++attempt) {
            state->startCapture();
            EXPECT_EQ(state->captureState(), CaptureState::failure(row.failure));
        }
        ASSERT_EQ(dialogs.shown.size(), row.explanations);
        EXPECT_EQ(dialogs.shown.first().messageText, QStringLiteral("Glyphwell Needs Screen Recording"));
        EXPECT_EQ(dialogs.shown.first().buttons,
            (QStringList { QStringLiteral("Continue"), QStringLiteral("Not Now") }));
        EXPECT_EQ(access.requestCalls, row.requests);
        EXPECT_EQ(
            defaults.boolForKey(QStringLiteral("hasShownScreenRecordingExplanation")), row.requests > 0);
        EXPECT_EQ(selector.calls, 0);
        if (row.requests == 0) {
            // Access given meanwhile: the poll clears the failure, at its pace, not a busy loop.
            EXPECT_TRUE(state->isPermissionPollRunning());
            access.granted = true;
            QElapsedTimer clock;
            clock.start();
            ASSERT_TRUE(QTest::qWaitFor([&] { return state->captureState() == CaptureState::idle(); }, 3000));
            EXPECT_GE(clock.elapsed(), 100);
            EXPECT_TRUE(state->screenRecordingPermissionGranted());
            EXPECT_FALSE(state->isPermissionPollRunning());
        }
        state.reset();
    }
}

// Granted on request, the capture starts at once, once however often it was asked for while
// the explanation was up; at the next start the explanation is not shown again.
TEST_F(AppStateTest, Permission_GrantedOnRequestStartsOneCaptureAndExplainsOnce)
{
    makeState();
    capture(); // a first good capture, so capture-last has an image to read
    access.grantOnRequest = true;
    dialogs.onAlert = [&](const AlertSpec &) {
        state->startCapture();
        state->startCapture(CaptureMode::qrCode);
        state->captureLastSelection();
    };
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        access.granted = false; // access withdrawn meanwhile
        if (attempt) // the next start, which knows the explanation was shown
            makeState();
        state->updatePermissionStatus();
        EXPECT_TRUE(state->isPermissionPollRunning());
        const int selections = selector.calls;
        state->startCapture();
        EXPECT_EQ(dialogs.shown.size(), 1);
        EXPECT_EQ(state->captureState(), CaptureState::capturing());
        EXPECT_TRUE(state->screenRecordingPermissionGranted());
        EXPECT_FALSE(state->isPermissionPollRunning());
        ASSERT_TRUE(QTest::qWaitFor([&] { return selector.pending(); }, 3000));
        QTest::qWait(20);
        EXPECT_EQ(selector.calls, selections + 1);
        selector.finish(QRectF(0, 0, 10, 10));
        ASSERT_TRUE(waitUntilNotCapturing());
        EXPECT_EQ(state->captureState(), CaptureState::success());
    }
}

TEST_F(AppStateTest, Permission_BecomingActiveRereadsItAndOtherFailuresStay)
{
    makeState();
    textEngine.answer = [](const QImage &) { return std::nullopt; };
    capture();
    const CaptureState failure = state->captureState();

    access.granted = false;
    state->updatePermissionStatus();
    EXPECT_TRUE(state->isPermissionPollRunning());
    access.granted = true;
    const int before = access.preflightCalls;
    Q_EMIT activation.didBecomeActive();
    Q_EMIT activation.willBecomeActive();
    ASSERT_TRUE(QTest::qWaitFor([&] { return access.preflightCalls >= before + 2; }, 1000));
    EXPECT_TRUE(state->screenRecordingPermissionGranted());
    EXPECT_FALSE(state->isPermissionPollRunning());
    EXPECT_EQ(state->captureState(), failure);

    // The desktop refuses one screenshot while access stands: its guidance outlives the
    // next activation, which finds access unchanged.
    grabber.result = CaptureError::screenAccessRefused(QStringLiteral("the portal said no"));
    capture();
    const CaptureState refused = state->captureState();
    ASSERT_TRUE(refused.message().contains(QStringLiteral("Screen Recording")));
    const int again = access.preflightCalls;
    Q_EMIT activation.didBecomeActive();
    ASSERT_TRUE(QTest::qWaitFor([&] { return access.preflightCalls > again; }, 1000));
    EXPECT_EQ(state->captureState(), refused);

    // After teardown the observers are gone.
    state.reset();
    Q_EMIT activation.didBecomeActive();
    QTest::qWait(10);
}

TEST_F(AppStateTest, History_KeepsThe25NewestFirstAndSelected)
{
    int counter = 0;
    textEngine.answer = [&](const QImage &) { return lines({ QString::number(++counter) }); };
    makeState();
    for (int i = 0; i < 26; ++i)
        capture();
    EXPECT_EQ(state->selectedHistoryItem()->text, QStringLiteral("26"));
    // The file holds the same list, and a new start reads it back, nothing selected.
    for (const bool restarted : { false, true }) {
        if (restarted) {
            state.reset();
            makeState();
            EXPECT_FALSE(state->selectedHistoryItemID());
        }
        ASSERT_EQ(state->captureHistory().size(), 25);
        EXPECT_EQ(state->captureHistory().first().text, QStringLiteral("26"));
        EXPECT_EQ(state->captureHistory().last().text, QStringLiteral("2"));
    }
}

TEST_F(AppStateTest, History_SelectClearAndLanguageWrites)
{
    makeState();
    state->setSelectedLanguageIdentifier(QStringLiteral("fr-FR"));
    EXPECT_TRUE(historyFile().contains("\"selectedLanguageIdentifier\" : \"fr-FR\""));
    EXPECT_TRUE(historyFile().contains("\"history\""));

    capture();
    const CaptureHistoryItem item = state->captureHistory().first();
    textEngine.answer = [](const QImage &) { return std::nullopt; };
    capture();
    ASSERT_EQ(state->captureState().kind(), CaptureState::Kind::failure);
    state->selectHistoryItem(item);
    EXPECT_EQ(state->captureState(), CaptureState::success());
    EXPECT_EQ(state->extractedText(), item.text);
    EXPECT_EQ(state->selectedHistoryItemID(), item.id);

    // While a capture runs a click on a row only selects it, and a second trigger changes
    // nothing: the capture goes on and its result arrives.
    textEngine.answer = [](const QImage &) { return lines({ QStringLiteral("new") }); };
    startSelecting();
    state->selectHistoryItem(item);
    EXPECT_EQ(state->captureState(), CaptureState::capturing());
    EXPECT_EQ(state->selectedHistoryItemID(), item.id);
    QSignalSpy changes(state.get(), &AppState::objectWillChange);
    state->startCapture();
    state->captureLastSelection();
    QTest::qWait(20);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(selector.calls, 3); // no second overlay
    selector.finish(QRectF(10, 20, 100, 40));
    ASSERT_TRUE(waitUntilNotCapturing());
    EXPECT_EQ(state->extractedText(), QStringLiteral("new"));
    EXPECT_EQ(state->captureHistory().size(), 2);

    state->clearHistory();
    EXPECT_TRUE(state->captureHistory().isEmpty());
    EXPECT_FALSE(state->selectedHistoryItem());
    EXPECT_EQ(state->extractedText(), QStringLiteral("new")); // the text stays
    const auto decoded = decodePersistedState(historyFile());
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->history.isEmpty());
    EXPECT_EQ(decoded->selectedLanguageIdentifier, QStringLiteral("fr-FR"));
}

// A file found at the start is read and left as it is until something changes; one that cannot
// be read (which: CaptureHistoryDecoding.OneFaultAnywhereRejectsTheWholeFile) is kept aside whole
// before the next write.
TEST_F(AppStateTest, History_FileAtTheStartIsReadOrKeptAsideWholeBeforeTheNextWrite)
{
    const QDir folder(dir.filePath(QStringLiteral("Glyphwell")));
    const QByteArray valid
        = R"({"selectedLanguageIdentifier":"ja-JP","history":[{"text":"a/b","languageIdentifier":"ja-JP",)"
          R"("id":"0f6e3a52-3c9b-4e0b-9d59-2c7a4b0e6f11","capturedAt":"2024-05-01T09:30:12Z"}]})";
    for (const QByteArray &content : { valid, QByteArray("{\"history\":["),
             QByteArray(R"({"history":{},"selectedLanguageIdentifier":"de-DE"})") }) {
        SCOPED_TRACE(content.left(40).toStdString());
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(folder.path());
        ASSERT_TRUE(writeFile(historyPath(), content));
        makeState();
        const bool readable = content == valid;
        EXPECT_EQ(state->captureHistory().size(), readable ? 1 : 0);
        EXPECT_EQ(state->selectedLanguageIdentifier(),
            readable ? QStringLiteral("ja-JP") : QStringLiteral("automatic"));
        EXPECT_EQ(historyFile(), content) << "reading alone must not touch the file";
        if (readable) {
            EXPECT_EQ(state->captureHistory().first().text, QStringLiteral("a/b"));
            state->setSelectedLanguageIdentifier(QStringLiteral("ja-JP"));
            EXPECT_EQ(historyFile(), content) << "nor choosing the language it already has";
            state->setSelectedLanguageIdentifier(QStringLiteral("de-DE"));
            EXPECT_TRUE(historyFile().contains("\"selectedLanguageIdentifier\" : \"de-DE\""));
            continue;
        }
        {
            LoggedWarnings log;
            capture();
            EXPECT_EQ(log.containing(QStringLiteral("could not be read; it was kept as")).size(), 1);
        }
        EXPECT_EQ(decodePersistedState(historyFile())->history.size(), 1);
        const QStringList aside = folder.entryList({ QStringLiteral("capture-history.json.unreadable-*") });
        ASSERT_EQ(aside.size(), 1);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^capture-history\\.json\\.unreadable-\\d{8}T\\d{6}Z$"))
                        .match(aside.first())
                        .hasMatch())
            << aside.first().toStdString();
        EXPECT_EQ(readFile(folder.filePath(aside.first())), content);
        capture(); // later writes replace the new file only
        EXPECT_EQ(folder.entryList(QDir::Files).size(), 2);
    }
}

TEST_F(AppStateTest, History_IsPrivateAndLooseModesAreTightenedAtStart)
{
    const QString folder = dir.filePath(QStringLiteral("Glyphwell"));
    const auto mode = [](const QString &path) {
        struct stat info { };
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
    };
    for (const bool olderFile : { false, true }) {
        SCOPED_TRACE(olderFile ? "a file of an older version" : "no file yet");
        QDir(folder).removeRecursively();
        if (olderFile) {
            QDir().mkpath(folder);
            ASSERT_TRUE(writeFile(historyPath(), encodePersistedState({ {}, QStringLiteral("automatic") })));
            ::chmod(QFile::encodeName(folder).constData(), 0755);
            ::chmod(QFile::encodeName(historyPath()).constData(), 0644);
        }
        makeState();
        if (!olderFile)
            capture();
        EXPECT_EQ(mode(historyPath()), 0600u);
        EXPECT_EQ(mode(folder), 0700u);
        state.reset();
    }
}

// Where the history cannot be written the captures still arrive, the old file stays whole, one
// line says so, and the next change once it can be written saves everything kept (a full disk:
// AtomicFile.FullDiskKeepsTheOldFileWholeAndSaysWhy).
TEST_F(AppStateTest, History_UnwritableKeepsTheOldFileAndTheCapturesStillArrive)
{
    makeState();
    capture();
    const QByteArray before = historyFile();
    ASSERT_EQ(decodePersistedState(before)->history.size(), 1);
    auto readOnly = std::make_unique<ReadOnlyFolder>(dir.filePath(QStringLiteral("Glyphwell")));
    {
        LoggedWarnings log;
        for (const char *text : { "second", "third" }) {
            textEngine.answer = [text](const QImage &) { return lines({ QString::fromLatin1(text) }); };
            capture();
            EXPECT_EQ(state->captureState(), CaptureState::success());
            EXPECT_EQ(pasteboard.contents, QString::fromLatin1(text));
        }
        EXPECT_EQ(state->captureHistory().size(), 3);
        EXPECT_EQ(historyFile(), before);
        EXPECT_EQ(log.containing(QStringLiteral("Could not save the capture history")).size(), 1)
            << "logged once, not at every capture";
        EXPECT_EQ(log.containing(QStringLiteral("Permission denied")).size(), 1) << "with its reason";
    }
    readOnly.reset();
    capture();
    EXPECT_EQ(decodePersistedState(historyFile())->history.size(), 4);
}

// Two instances on one file, capturing in turn: each keeps the other's captures, and what one
// cleared stays cleared for it. A history over the limit (written by hand or by an older
// version) is cut at the next capture with a line that says so; the oldest making way needs none.
TEST_F(AppStateTest, History_InstancesSharingTheFileMergeByIdAndCutWithALogLine)
{
    AppStateHarness other;
    other.historyAt = historyPath();
    int counter = 0;
    textEngine.answer = [&](const QImage &) { return lines({ QStringLiteral("first %1").arg(++counter) }); };
    other.textEngine.answer
        = [&](const QImage &) { return lines({ QStringLiteral("second %1").arg(++counter) }); };
    makeState();
    other.makeState();
    for (int i = 0; i < 6; ++i) {
        capture();
        other.capture();
    }
    const auto ids = [](const QList<CaptureHistoryItem> &history) {
        QSet<QUuid> set;
        for (const CaptureHistoryItem &item : history)
            set.insert(item.id);
        return set;
    };
    const auto inFile = [&] { return decodePersistedState(historyFile())->history; };
    EXPECT_EQ(inFile().size(), 12);
    EXPECT_EQ(ids(other.state->captureHistory()).size(), 12);
    EXPECT_EQ(ids(other.state->captureHistory()), ids(inFile()));
    EXPECT_EQ(other.state->captureHistory().first().text, QStringLiteral("second 12"));

    // The other's last capture came after this one's last write: never shown here, not cleared.
    state->clearHistory();
    EXPECT_EQ(inFile().size(), 1);
    other.capture();
    EXPECT_EQ(inFile().size(), 13) << "the other instance still holds them";
    capture();
    EXPECT_EQ(state->captureHistory().size(), 3) << "another's new capture joins; the cleared ones stay out";

    state.reset();
    other.state.reset();
    PersistedGlyphwellState big;
    for (int i = 0; i < 40; ++i)
        big.history.append({ QUuid::createUuid(), QString::number(i),
            QDateTime::currentDateTimeUtc().addSecs(-i), QStringLiteral("automatic") });
    ASSERT_TRUE(writeFileAtomically(historyPath(), encodePersistedState(big), FileAccess::privateToUser));
    makeState();
    EXPECT_EQ(state->captureHistory().size(), 40);
    for (const int expectedLines : { 1, 0 }) {
        LoggedWarnings log;
        capture();
        EXPECT_EQ(state->captureHistory().size(), AppState::historyLimit);
        EXPECT_EQ(log.containing(QStringLiteral("oldest were dropped")).size(), expectedLines);
    }
}

TEST(HistoryAcrossProcesses, TwoProcessesCapturingTenTimesEachLeaveTwenty)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Glyphwell/capture-history.json"));
    std::vector<std::unique_ptr<QProcess>> writers;
    for (int i = 0; i < 2; ++i) {
        auto &process = writers.emplace_back(std::make_unique<QProcess>());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("GLYPHWELL_HISTORY_WRITER"), path);
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(QCoreApplication::applicationFilePath(),
            { QStringLiteral("--gtest_also_run_disabled_tests"),
                QStringLiteral("--gtest_filter=HistoryAcrossProcesses.DISABLED_WriterCapturesTenTimes") });
    }
    for (const auto &process : writers) {
        EXPECT_TRUE(process->waitForFinished(60'000));
        EXPECT_EQ(process->exitCode(), 0);
    }
    const auto state = decodePersistedState(readFile(path));
    ASSERT_TRUE(state);
    QSet<QUuid> ids;
    for (const CaptureHistoryItem &item : state->history)
        ids.insert(item.id);
    EXPECT_EQ(ids.size(), 20);
    EXPECT_EQ(state->history.size(), 20);
}

// Run by the test above as a process of its own.
TEST(HistoryAcrossProcesses, DISABLED_WriterCapturesTenTimes)
{
    AppStateHarness writer;
    writer.historyAt = qEnvironmentVariable("GLYPHWELL_HISTORY_WRITER");
    ASSERT_FALSE(writer.historyAt.isEmpty());
    writer.makeState();
    for (int i = 0; i < 10; ++i)
        writer.capture();
    EXPECT_GE(writer.state->captureHistory().size(), 10);
}

// Capture Text at the release of its shortcut is checked on a real X server
// (SettingsX11Tests, end-to-end-capture.sh); here Capture Last's, and none after teardown.
TEST_F(AppStateTest, Shortcuts_StartTheirCommandsAtTheRelease)
{
    using namespace KeyboardShortcuts;
    FakeHotKeyBackend backend;
    Registry registry(backend);
    Registry::install(&registry);
    setUserDefaults(&defaults);
    const Shortcut controlOptionL(37, 0x1800);
    setShortcut(controlOptionL, AppShortcutNames::captureLastSelection());
    makeState();
    capture();
    const int reads = textEngine.calls;
    backend.release(controlOptionL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return textEngine.calls > reads; }, 3000));
    ASSERT_TRUE(waitUntilNotCapturing());
    EXPECT_EQ(selector.calls, 1); // capture-last reads the image again, no overlay
    EXPECT_EQ(state->captureHistory().size(), 2);

    state.reset();
    backend.release(controlOptionL);
    QTest::qWait(20);
    EXPECT_EQ(textEngine.calls, reads + 1);
    Registry::install(nullptr);
    setUserDefaults(nullptr);
}

TEST_F(AppStateTest, Export_ProposesTheSelectedEntrysLocalTimeElseNow)
{
    // The C library reads TZ again at tzset(), once set and once put back.
    struct ReadZoneAgain {
        ~ReadZoneAgain() { tzset(); }
    } readAgain;
    const ScopedEnv berlin("TZ", QByteArray("Europe/Berlin"));
    tzset();
    // Digits and calendar stay fixed whatever the user's locale (Arabic has its own digits).
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    EXPECT_EQ(AppState::exportFileName(QDateTime(QDate(2024, 5, 1), QTime(7, 5, 7), Qt::UTC)),
        QStringLiteral("glyphwell-20240501-090507.txt"));
    QLocale::setDefault(QLocale::c());

    makeState();
    capture();
    capture();
    const QList<CaptureHistoryItem> history = state->captureHistory();
    EXPECT_EQ(state->suggestedExportFileName(), AppState::exportFileName(history.first().capturedAt));
    // The selection is found by id in the list, whose entry keeps its own time.
    CaptureHistoryItem older = history.last();
    older.capturedAt = QDateTime(QDate(2023, 12, 31), QTime(22, 59, 58), Qt::UTC);
    state->selectHistoryItem(older);
    EXPECT_EQ(state->suggestedExportFileName(), AppState::exportFileName(history.last().capturedAt));

    state->clearHistory();
    const QString before = AppState::exportFileName(QDateTime::currentDateTime());
    const QString proposed = state->suggestedExportFileName();
    const QString after = AppState::exportFileName(QDateTime::currentDateTime());
    EXPECT_TRUE(proposed == before || proposed == after) << proposed.toStdString();
}

// The export through the real dialog, its title too, is in MainWindowX11Tests; here what it
// writes from each state, and what a cancel or a failure leaves.
TEST_F(AppStateTest, Export_WritesTheWholeTextAndReportsIt)
{
    const QString path = dir.filePath(QStringLiteral("notes.txt"));
    makeState();
    state->exportText();
    EXPECT_TRUE(dialogs.savePanels.isEmpty()) << "nothing to export: no panel";

    capture();
    state->exportText(); // cancelled: nothing changes
    ASSERT_EQ(dialogs.savePanels.size(), 1);
    EXPECT_EQ(
        dialogs.savePanels.first().message, QStringLiteral("Save the recognized text as a plain text file."));
    EXPECT_EQ(dialogs.savePanels.first().proposedName, state->suggestedExportFileName());
    EXPECT_EQ(state->statusMessage(), QStringLiteral("Text extracted successfully."));
    EXPECT_FALSE(QFile::exists(path));

    const CaptureHistoryItem padded { QUuid::createUuid(), QStringLiteral("  padded ünïcode \n"),
        QDateTime::currentDateTimeUtc(), QStringLiteral("automatic") };
    state->selectHistoryItem(padded);
    dialogs.savePath = path;
    state->exportText();
    EXPECT_EQ(readFile(path), padded.text.toUtf8()) << "untrimmed";

    // From a permission failure: written, but the failure stays in the status line; once
    // access comes back the state is idle and an export turns it to success.
    access.granted = false;
    dialogs.answer = 1;
    state->startCapture();
    ASSERT_EQ(state->captureState(), CaptureState::failure(permissionRequiredText));
    ASSERT_TRUE(QFile::remove(path));
    state->exportText();
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(state->statusMessage(), permissionRequiredText);
    access.granted = true;
    state->updatePermissionStatus();
    ASSERT_EQ(state->captureState(), CaptureState::idle());
    state->exportText();
    EXPECT_EQ(state->captureState(), CaptureState::success());
    EXPECT_EQ(state->statusMessage(), QStringLiteral("Exported to notes.txt."));

    // A file that cannot be written (its folder is a file).
    dialogs.savePath = path + QStringLiteral("/inner.txt");
    state->exportText();
    EXPECT_EQ(state->captureState(), CaptureState::failure(QStringLiteral("Couldn't export the OCR text.")));
    EXPECT_EQ(state->extractedText(), padded.text);

    // A capture started while the dialog is up: the text asked for is written.
    dialogs.savePath = dir.filePath(QStringLiteral("asked.txt"));
    dialogs.onSavePanel = [&] { state->startCapture(); };
    state->exportText();
    EXPECT_EQ(readFile(*dialogs.savePath), padded.text.toUtf8());
    cancelSelection();
}

} // namespace
