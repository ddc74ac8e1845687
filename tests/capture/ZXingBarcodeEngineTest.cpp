#include "capture/ZXingBarcodeEngine.h"
#include "capture/TestData.h"

#include <QPainter>
#include <gtest/gtest.h>

#define ZX_USE_UTF8 1
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <cmath>
#include <cstring>

namespace {

class DecodesExactly : public ::testing::TestWithParam<const char *> { };

std::string nameOf(const ::testing::TestParamInfo<const char *> &info)
{
    std::string name = info.param;
    for (char &c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return name.substr(0, name.rfind('_'));
}

} // namespace

TEST_P(DecodesExactly, PayloadMatchesExpectedFile)
{
    const QString file = QStringLiteral("barcodes/") + QLatin1String(GetParam());
    const QString expected
        = loadTestText(file.left(file.lastIndexOf(QLatin1Char('.'))) + QStringLiteral(".txt"));
    ZXingBarcodeEngine engine;
    const auto observations = engine.detectBarcodes(loadTestImage(file));
    ASSERT_TRUE(observations.has_value());
    ASSERT_EQ(observations->size(), 1u);
    ASSERT_TRUE(observations->front().payloadString.has_value());
    EXPECT_EQ(observations->front().payloadString->toUtf8().toStdString(), expected.toUtf8().toStdString());
}

INSTANTIATE_TEST_SUITE_P(ZXingBarcodeEngine, DecodesExactly,
    ::testing::Values("qrcode-2_10.png", "qrcode-6_4.png", "qrcode-2_qr-inv-1.webp",
        "microqrcode-1_M3-Kanji.png", "datamatrix-1_eci.png", "aztec-1_HistoricoLong.png",
        "aztec-1_az-thin.png", "pdf417-3_16.png", "code128-1_1.png", "code39-1_3.png",
        "datamatrix-3_dm-e.webp", "ean8-1_8.png", "upca-1_2.webp", "itf-1_with-tail.png", "ean13-1_35.webp"),
    nameOf);

TEST(ZXingBarcodeEngine, ImageWithoutCodesGivesNoObservations_ANullImageFails)
{
    QImage blank(120, 80, QImage::Format_RGB32);
    blank.fill(Qt::white);
    ZXingBarcodeEngine engine;
    const auto observations = engine.detectBarcodes(blank);
    ASSERT_TRUE(observations.has_value());
    EXPECT_TRUE(observations->empty());
    EXPECT_FALSE(engine.detectBarcodes(QImage()).has_value());
}

namespace {

// What ZXing's writer draws, one pixel per module.
QImage toImage(const ZXing::BitMatrix &bits)
{
    const auto matrix = ZXing::ToMatrix<uint8_t>(bits);
    QImage image(matrix.width(), matrix.height(), QImage::Format_Grayscale8);
    for (int y = 0; y < matrix.height(); ++y)
        std::memcpy(image.scanLine(y), matrix.data() + y * matrix.width(), size_t(matrix.width()));
    return image;
}

// A code with no margin at all.
QImage tightCode(ZXing::BarcodeFormat format, const std::string &payload)
{
    return toImage(ZXing::MultiFormatWriter(format).setMargin(0).encode(payload, 0, 0));
}

QImage onScreen(const QImage &code, double pixelsPerModule, bool lightOnDark)
{
    QImage shown = code.scaled(int(code.width() * pixelsPerModule), int(code.height() * pixelsPerModule),
        Qt::IgnoreAspectRatio,
        pixelsPerModule == std::floor(pixelsPerModule) ? Qt::FastTransformation : Qt::SmoothTransformation);
    if (lightOnDark)
        shown.invertPixels();
    return shown.convertToFormat(QImage::Format_RGB32);
}

// A QR code's dark modules on a transparent background, as a file may have them.
QImage transparentQr(const std::string &payload)
{
    const QImage code
        = toImage(ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode).encode(payload, 120, 120));
    QImage image(code.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < code.height(); ++y) {
        for (int x = 0; x < code.width(); ++x) {
            if (qGray(code.pixel(x, y)) < 128)
                image.setPixelColor(x, y, Qt::black);
        }
    }
    return image;
}

// A window with the code in it among other things, as a larger capture shows it.
QImage inWindow(const QImage &code, int scale)
{
    QImage window(420 * scale, 300 * scale, QImage::Format_RGB32);
    window.fill(QColor(246, 246, 246));
    QPainter painter(&window);
    painter.scale(scale, scale);
    painter.fillRect(0, 0, 420, 28, QColor(60, 64, 72));
    painter.setPen(Qt::black);
    painter.drawText(QRect(20, 40, 380, 40), QStringLiteral("Scan to sign in on your phone"));
    painter.drawImage(QRectF(150, 100, code.width() * 2.0, code.height() * 2.0), code);
    painter.end();
    return window;
}

// A boarding pass in a dark window: light text beside the code's white card.
QImage onCardBesideText(const QImage &code)
{
    QImage window(340, 135, QImage::Format_RGB32);
    window.fill(QColor(32, 33, 36));
    QPainter painter(&window);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(15);
    painter.setFont(font);
    painter.setPen(QColor(235, 235, 235));
    painter.drawText(12, 28, QStringLiteral("Boarding pass"));
    painter.drawText(12, 56, QStringLiteral("Flight LH 2419 to Munich"));
    painter.drawText(12, 84, QStringLiteral("Gate B12, seat 14C"));
    painter.fillRect(208, 5, 125, 125, Qt::white);
    painter.drawImage(QRect(QPoint(270 - code.width() * 2, 67 - code.height() * 2), code.size() * 4), code);
    painter.end();
    return window;
}

} // namespace

// Every code a screen shows, however it was selected: cut tight without its quiet zone, light
// on dark and small, on a transparent background, or found inside a larger capture at 1x and
// 2x screen scale.
TEST(ZXingBarcodeEngine, ReadsCodesAsAScreenShowsThem)
{
    const QImage qr = tightCode(ZXing::BarcodeFormat::QRCode, "https://example.org/login?token=42");
    const QImage ean = tightCode(ZXing::BarcodeFormat::EAN13, "5901234123457");
    const QImage matrix = tightCode(ZXing::BarcodeFormat::DataMatrix, "GW-2024-0042");
    const QImage aztec = tightCode(ZXing::BarcodeFormat::Aztec, "GW-2024-0042");
    const QImage code128 = tightCode(ZXing::BarcodeFormat::Code128, "GW-2024-0042");
    const QImage pdf417 = tightCode(ZXing::BarcodeFormat::PDF417, "GW-2024-0042");
    struct Case {
        const char *name;
        QImage image;
        QString payload;
        bool plainReadFails; // the image needs the engine's retries, not only ZXing's defaults
    };
    const Case cases[] = {
        { "QR cut tight, 3 px per module", onScreen(qr, 3, false),
            QStringLiteral("https://example.org/login?token=42"), false },
        { "EAN-13 cut tight, 2 px per module", onScreen(ean, 2, false), QStringLiteral("5901234123457"),
            false },
        { "QR cut tight, light on dark", onScreen(qr, 3, true),
            QStringLiteral("https://example.org/login?token=42"), true },
        { "QR light on dark, 1.7 px per module", onScreen(qr, 1.7, true),
            QStringLiteral("https://example.org/login?token=42"), true },
        { "QR cut tight, 2.5 px per module", onScreen(qr, 2.5, false),
            QStringLiteral("https://example.org/login?token=42"), false },
        { "QR cut tight, 1 px per module", onScreen(qr, 1, false),
            QStringLiteral("https://example.org/login?token=42"), false },
        { "Data Matrix cut tight", onScreen(matrix, 3, false), QStringLiteral("GW-2024-0042"), true },
        { "Data Matrix cut tight, light on dark", onScreen(matrix, 2, true), QStringLiteral("GW-2024-0042"),
            true },
        { "Aztec cut tight", onScreen(aztec, 3, false), QStringLiteral("GW-2024-0042"), false },
        { "Code 128 cut tight", onScreen(code128, 2, false), QStringLiteral("GW-2024-0042"), false },
        { "Code 128 cut tight, light on dark", onScreen(code128, 2, true), QStringLiteral("GW-2024-0042"),
            true },
        { "PDF417 cut tight", onScreen(pdf417, 2, false), QStringLiteral("GW-2024-0042"), false },
        { "EAN-13 cut tight, 1.5 px", onScreen(ean, 1.5, false), QStringLiteral("5901234123457"), true },
        { "EAN-13 cut tight, light on dark, 1.5 px", onScreen(ean, 1.5, true),
            QStringLiteral("5901234123457"), true },
        { "QR in a window at 1x", inWindow(qr, 1), QStringLiteral("https://example.org/login?token=42"),
            false },
        { "QR in a window at 2x", inWindow(qr, 2), QStringLiteral("https://example.org/login?token=42"),
            false },
        { "Aztec on a card beside light text",
            onCardBesideText(tightCode(ZXing::BarcodeFormat::Aztec, "M1DOE/JANE E4XK2LP FRAMUC LH2419 014C")),
            QStringLiteral("M1DOE/JANE E4XK2LP FRAMUC LH2419 014C"), true },
        { "QR on a transparent background", transparentQr("glyphwell"), QStringLiteral("glyphwell"), false },
        { "inverted QR file", loadTestImage(QStringLiteral("barcodes/qrcode-2_qr-inv-1.webp")),
            loadTestText(QStringLiteral("barcodes/qrcode-2_qr-inv-1.txt")), true },
    };
    ZXingBarcodeEngine engine;
    ZXingBarcodeEngine plain(
        ZXingBarcodeOptions { .retryInverted = false, .retryQuietZone = false, .retryUpscaled = false });
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto observations = engine.detectBarcodes(c.image);
        ASSERT_TRUE(observations.has_value());
        ASSERT_EQ(observations->size(), 1u);
        EXPECT_EQ(observations->front().payloadString, c.payload);
        if (c.plainReadFails)
            EXPECT_EQ(plain.detectBarcodes(c.image).value_or(std::vector<BarcodeObservation>(1)).size(), 0u);
    }
}

// Two different codes stacked one above the other are two results, not one read twice.
TEST(ZXingBarcodeEngine, KeepsTwoStackedLinearCodes)
{
    auto render = [](const std::string &digits) {
        return toImage(ZXing::MultiFormatWriter(ZXing::BarcodeFormat::EAN13).encode(digits, 300, 80));
    };
    QImage sheet(360, 240, QImage::Format_Grayscale8);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    painter.drawImage(30, 20, render("5901234123457"));
    painter.drawImage(30, 140, render("4006381333931"));
    painter.end();

    ZXingBarcodeEngine engine;
    const auto observations = engine.detectBarcodes(sheet);
    ASSERT_TRUE(observations.has_value());
    QStringList payloads;
    for (const BarcodeObservation &observation : *observations)
        payloads.append(observation.payloadString.value_or(QString()));
    payloads.sort();
    EXPECT_EQ(payloads, (QStringList { QStringLiteral("4006381333931"), QStringLiteral("5901234123457") }));
}
