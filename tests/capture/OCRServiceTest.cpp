#include "capture/OCRService.h"

#include <gtest/gtest.h>

namespace {

class FakeTextEngine : public TextRecognitionEngine {
public:
    std::optional<std::vector<TextObservation>> result;
    std::optional<QString> lastLanguage;
    int calls = 0;

    std::optional<std::vector<TextObservation>> recognizeText(
        const QImage &, const std::optional<QString> &language) override
    {
        ++calls;
        lastLanguage = language;
        return result;
    }
};

class FakeBarcodeEngine : public BarcodeDetectionEngine {
public:
    std::optional<std::vector<BarcodeObservation>> result;
    int calls = 0;

    std::optional<std::vector<BarcodeObservation>> detectBarcodes(const QImage &) override
    {
        ++calls;
        return result;
    }
};

class FakeGrabber : public ScreenGrabber {
public:
    QImage image;
    std::optional<QRectF> lastRect;

    QCoro::Task<QImage> captureRegion(QRectF rect) override
    {
        lastRect = rect;
        QImage copy = image;
        co_return copy;
    }
};

TextObservation line(QStringList candidates)
{
    return TextObservation { std::move(candidates), {} };
}

class OCRServiceTest : public ::testing::Test {
protected:
    FakeTextEngine text;
    FakeBarcodeEngine barcodes;
    FakeGrabber grabber;
    OCRService service { text, barcodes, grabber };
    QImage image { 4, 4, QImage::Format_RGB32 };
};

template <typename Call> std::optional<OCRServiceError> errorOf(Call call)
{
    try {
        call();
    } catch (const CaptureError &error) {
        return error.code();
    }
    return std::nullopt;
}

} // namespace

TEST_F(OCRServiceTest, RecognizeText_JoinsBestCandidatesWithLineFeeds)
{
    text.result = std::vector { line({ "Hello", "Hallo" }), line({ "World" }) };
    EXPECT_EQ(service.recognizeText(image, QStringLiteral("en-US")), QStringLiteral("Hello\nWorld"));
    EXPECT_EQ(text.lastLanguage, QStringLiteral("en-US"));
}

TEST_F(OCRServiceTest, RecognizeText_SkipsObservationsWithoutCandidates)
{
    text.result = std::vector { line({}), line({ "Hello" }), line({}), line({ "World" }), line({}) };
    EXPECT_EQ(service.recognizeText(image, std::nullopt), QStringLiteral("Hello\nWorld"));
}

TEST_F(OCRServiceTest, RecognizeText_KeepsCandidatesUntrimmedAndEmpty)
{
    text.result = std::vector { line({ "  a " }), line({ "" }), line({ "b\t" }) };
    EXPECT_EQ(service.recognizeText(image, std::nullopt), QStringLiteral("  a \n\nb\t"));
}

TEST_F(OCRServiceTest, RecognizeText_NoObservationsGivesEmptyString)
{
    text.result = std::vector<TextObservation> {};
    const QString result = service.recognizeText(image, std::nullopt);
    EXPECT_TRUE(result.isEmpty());
}

TEST_F(OCRServiceTest, RecognizeText_EngineFailureThrowsRecognitionFailed)
{
    text.result = std::nullopt;
    try {
        service.recognizeText(image, std::nullopt);
        FAIL() << "no exception";
    } catch (const CaptureError &error) {
        EXPECT_EQ(error.code(), OCRServiceError::recognitionFailed);
        EXPECT_EQ(error.localizedDescription(), QStringLiteral("Vision text recognition failed."));
    }
}

TEST_F(OCRServiceTest, Recognize_TextModeKeepsLineBreaks)
{
    text.result = std::vector { line({ "Hello" }), line({ "World" }) };
    EXPECT_EQ(service.recognize(image, CaptureMode::text, std::nullopt), QStringLiteral("Hello\nWorld"));
    EXPECT_EQ(barcodes.calls, 0);
}

TEST_F(OCRServiceTest, Recognize_WithoutLineBreaksFoldsLines)
{
    text.result = std::vector { line({ "Hello " }), line({ "  World" }) };
    EXPECT_EQ(service.recognize(image, CaptureMode::textWithoutLineBreaks, QStringLiteral("de-DE")),
        QStringLiteral("Hello World"));
    EXPECT_EQ(text.lastLanguage, QStringLiteral("de-DE"));
}

TEST_F(OCRServiceTest, Recognize_QrModeDetectsBarcodesAndIgnoresLanguage)
{
    barcodes.result = std::vector { BarcodeObservation { QStringLiteral("https://example.org") } };
    EXPECT_EQ(service.recognize(image, CaptureMode::qrCode, QStringLiteral("ja-JP")),
        QStringLiteral("https://example.org"));
    EXPECT_EQ(text.calls, 0);
    EXPECT_EQ(barcodes.calls, 1);
}

TEST_F(OCRServiceTest, Recognize_PassesErrorsThrough)
{
    text.result = std::nullopt;
    EXPECT_EQ(errorOf([&] { service.recognize(image, CaptureMode::textWithoutLineBreaks, std::nullopt); }),
        OCRServiceError::recognitionFailed);
    barcodes.result = std::vector<BarcodeObservation> {};
    EXPECT_EQ(errorOf([&] { service.recognize(image, CaptureMode::qrCode, std::nullopt); }),
        OCRServiceError::noBarcodesFound);
}

TEST_F(OCRServiceTest, DetectBarcodes_JoinsTwoPayloadsWithLineFeed)
{
    barcodes.result = std::vector { BarcodeObservation { QStringLiteral("first") },
        BarcodeObservation { QStringLiteral("second") } };
    EXPECT_EQ(service.detectBarcodes(image), QStringLiteral("first\nsecond"));
}

TEST_F(OCRServiceTest, DetectBarcodes_SkipsAbsentPayloadsAndKeepsEmptyOnes)
{
    barcodes.result = std::vector { BarcodeObservation { std::nullopt }, BarcodeObservation { QString() },
        BarcodeObservation { QStringLiteral("x") } };
    EXPECT_EQ(service.detectBarcodes(image), QStringLiteral("\nx"));
}

TEST_F(OCRServiceTest, DetectBarcodes_OnlyAbsentOrBlankPayloadsThrowNoBarcodesFound)
{
    const std::vector<std::vector<BarcodeObservation>> cases {
        { BarcodeObservation { std::nullopt }, BarcodeObservation { std::nullopt } },
        { BarcodeObservation { QString() } },
        { BarcodeObservation { QStringLiteral(" \t") }, BarcodeObservation { QStringLiteral("\n") } },
    };
    for (const auto &observations : cases) {
        barcodes.result = observations;
        try {
            service.detectBarcodes(image);
            ADD_FAILURE() << "no exception for " << observations.size() << " observations";
        } catch (const CaptureError &error) {
            EXPECT_EQ(error.code(), OCRServiceError::noBarcodesFound);
            EXPECT_EQ(error.localizedDescription(),
                QStringLiteral("No QR code or barcode was found in the captured image."));
        }
    }
}

TEST_F(OCRServiceTest, DetectBarcodes_NoObservationsThrowsNoBarcodesFound)
{
    barcodes.result = std::vector<BarcodeObservation> {};
    EXPECT_EQ(errorOf([&] { service.detectBarcodes(image); }), OCRServiceError::noBarcodesFound);
}

TEST_F(OCRServiceTest, DetectBarcodes_EngineFailureThrowsRecognitionFailed)
{
    barcodes.result = std::nullopt;
    EXPECT_EQ(errorOf([&] { service.detectBarcodes(image); }), OCRServiceError::recognitionFailed);
}

TEST_F(OCRServiceTest, CaptureRegion_ForwardsTheRectangleToTheGrabber)
{
    grabber.image = QImage(7, 3, QImage::Format_RGB32);
    grabber.image.fill(Qt::red);
    auto task = service.captureRegion(QRectF(10.5, 20, 70, 30));
    const QImage captured = QCoro::waitFor(task);
    EXPECT_EQ(grabber.lastRect, QRectF(10.5, 20, 70, 30));
    EXPECT_EQ(captured, grabber.image);
}

TEST(FoldLines, TrimsPiecesAndDropsEmptyOnes)
{
    EXPECT_EQ(OCRService::foldLines(QStringLiteral("  alpha  \n\n beta\r\ngamma ")),
        QStringLiteral("alpha beta gamma"));
}

TEST(FoldLines, KeepsRunsOfSpacesInsideALine)
{
    EXPECT_EQ(OCRService::foldLines(QStringLiteral("a   b\nc")), QStringLiteral("a   b c"));
}

TEST(FoldLines, SplitsAtEveryLineBreakCharacter)
{
    const QString text = QStringLiteral("a\u000Bb\u000Cc\rd\u0085e\u2028f\u2029g");
    EXPECT_EQ(OCRService::foldLines(text), QStringLiteral("a b c d e f g"));
}

TEST(FoldLines, TrimsTabsAndUnicodeSpacesButNotOtherCharacters)
{
    EXPECT_EQ(
        OCRService::foldLines(QStringLiteral("\t\u00A0one\u3000\n\u2003two\t")), QStringLiteral("one two"));
    // U+200B is not a space separator, so it stays.
    EXPECT_EQ(OCRService::foldLines(QStringLiteral("\u200Bx")), QStringLiteral("\u200Bx"));
}

TEST(FoldLines, EmptyAndBlankInputGiveEmptyString)
{
    EXPECT_EQ(OCRService::foldLines(QString()), QString());
    EXPECT_EQ(OCRService::foldLines(QStringLiteral(" \n\t\r\n ")), QString());
}

TEST(FoldLines, SingleLineIsOnlyTrimmed)
{
    EXPECT_EQ(OCRService::foldLines(QStringLiteral(" Hello World ")), QStringLiteral("Hello World"));
}
