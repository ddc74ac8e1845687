#include "capture/OCRService.h"
#include "fakes/FakeServices.h"

#include <gtest/gtest.h>

#include <variant>

namespace {

TextObservation line(QStringList candidates)
{
    return TextObservation { std::move(candidates), {} };
}

std::vector<BarcodeObservation> codes(std::initializer_list<std::optional<QString>> payloads)
{
    std::vector<BarcodeObservation> found;
    for (const auto &payload : payloads)
        found.push_back({ payload });
    return found;
}

// Each mode joins its engine's best candidates or payloads one per line; a failing engine or
// codes without a payload end in the service's errors.
TEST(OCRService, EachModeJoinsWhatItsEngineFound)
{
    using Text = std::optional<std::vector<TextObservation>>;
    using Codes = std::optional<std::vector<BarcodeObservation>>;
    const std::optional<QString> german = QStringLiteral("de-DE");
    const struct {
        const char *name;
        CaptureMode mode;
        Text text;
        Codes codes;
        std::variant<QString, OCRServiceError> expected;
    } rows[] = {
        { "best candidates; lines without one skipped; untrimmed and empty ones kept", CaptureMode::text,
            std::vector {
                line({ "Hello", "Hallo" }), line({}), line({ "  a " }), line({ "" }), line({ "World" }) },
            {}, QStringLiteral("Hello\n  a \n\nWorld") },
        { "no lines is no text", CaptureMode::text, std::vector<TextObservation> {}, {}, QString() },
        { "text engine fails", CaptureMode::text, std::nullopt, {}, OCRServiceError::recognitionFailed },
        { "without line breaks", CaptureMode::textWithoutLineBreaks,
            std::vector { line({ "Hello " }), line({ "  World" }) }, {}, QStringLiteral("Hello World") },
        { "without line breaks, engine fails", CaptureMode::textWithoutLineBreaks, std::nullopt, {},
            OCRServiceError::recognitionFailed },
        { "one code", CaptureMode::qrCode, {}, codes({ QStringLiteral("https://example.org") }),
            QStringLiteral("https://example.org") },
        { "two codes", CaptureMode::qrCode, {}, codes({ QStringLiteral("first"), QStringLiteral("second") }),
            QStringLiteral("first\nsecond") },
        { "absent payloads skipped, empty ones kept", CaptureMode::qrCode, {},
            codes({ std::nullopt, QString(), QStringLiteral("x") }), QStringLiteral("\nx") },
        { "no codes", CaptureMode::qrCode, {}, codes({}), OCRServiceError::noBarcodesFound },
        { "only absent payloads", CaptureMode::qrCode, {}, codes({ std::nullopt, std::nullopt }),
            OCRServiceError::noBarcodesFound },
        { "only an empty payload", CaptureMode::qrCode, {}, codes({ QString() }),
            OCRServiceError::noBarcodesFound },
        { "only blank payloads", CaptureMode::qrCode, {},
            codes({ QStringLiteral(" \t"), QStringLiteral("\n") }), OCRServiceError::noBarcodesFound },
        { "barcode engine fails", CaptureMode::qrCode, {}, std::nullopt, OCRServiceError::recognitionFailed },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        FakeTextEngine text;
        FakeBarcodeEngine barcodes;
        FakeScreenGrabber grabber;
        text.answer = [&](const QImage &) { return row.text; };
        barcodes.answer = [&](const QImage &) { return row.codes; };
        const OCRService service(text, barcodes, grabber);
        std::variant<QString, OCRServiceError> got;
        try {
            got = service.recognize(QImage(4, 4, QImage::Format_RGB32), row.mode, german);
        } catch (const CaptureError &error) {
            ASSERT_TRUE(error.code().has_value()) << error.localizedDescription().toStdString();
            got = *error.code();
        }
        EXPECT_EQ(got, row.expected);
        // Each mode asks its own engine only; the language goes to the text engine.
        const bool codesMode = row.mode == CaptureMode::qrCode;
        EXPECT_EQ(text.calls, codesMode ? 0 : 1);
        EXPECT_EQ(barcodes.calls, codesMode ? 1 : 0);
        if (!codesMode)
            EXPECT_EQ(text.languages.value(0), german);
    }
}

TEST(OCRService, FoldLinesTrimsEachLineAndJoinsTheRestWithSpaces)
{
    const struct {
        const char16_t *text;
        const char16_t *folded;
    } rows[] = {
        { u"  alpha  \n\n beta\r\ngamma ", u"alpha beta gamma" },
        { u"a   b\nc", u"a   b c" }, // runs of spaces inside a line stay
        { u"a\u000Bb\u000Cc\rd\u0085e\u2028f\u2029g", u"a b c d e f g" }, // every line break character
        { u"\t\u00A0one\u3000\n\u2003two\t", u"one two" }, // tabs and Unicode spaces are trimmed
        { u"\u200Bx", u"\u200Bx" }, // U+200B is no space separator
        { u"", u"" },
        { u" \n\t\r\n ", u"" },
        { u" Hello World ", u"Hello World" },
    };
    for (const auto &row : rows) {
        const QString text = QString::fromUtf16(row.text);
        EXPECT_EQ(OCRService::foldLines(text), QString::fromUtf16(row.folded)) << text.toStdString();
    }
}

} // namespace
