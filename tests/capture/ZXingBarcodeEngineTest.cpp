#include "capture/ZXingBarcodeEngine.h"
#include "capture/TestData.h"

#include <QPainter>
#include <gtest/gtest.h>

#define ZX_USE_UTF8 1
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <cmath>
#include <cstring>

using namespace Qt::StringLiterals;

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
    QImage image = toImage(ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode).encode(payload, 120, 120))
                       .convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) >= 128)
                image.setPixel(x, y, qRgba(0, 0, 0, 0));
    return image;
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

// Two different codes stacked one above the other, as on a parcel label.
QImage twoStackedEan13(const std::string &top, const std::string &bottom)
{
    QImage sheet(360, 240, QImage::Format_Grayscale8);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    for (const auto &[digits, y] : { std::pair { top, 20 }, { bottom, 140 } })
        painter.drawImage(
            30, y, toImage(ZXing::MultiFormatWriter(ZXing::BarcodeFormat::EAN13).encode(digits, 300, 80)));
    painter.end();
    return sheet;
}

} // namespace

// Codes as a selection shows them: cut tight, light on dark, small, transparent, stacked.
// Codes inside larger captures are the accuracy gate's (bench/data/kinds, codes+text).
TEST(ZXingBarcodeEngine, ReadsCodesAsAScreenShowsThem)
{
    const QString url = u"https://example.org/login?token=42"_s, id = u"GW-2024-0042"_s,
                  ean13 = u"5901234123457"_s;
    const QImage qr = tightCode(ZXing::BarcodeFormat::QRCode, url.toStdString());
    const QImage ean = tightCode(ZXing::BarcodeFormat::EAN13, ean13.toStdString());
    const QImage matrix = tightCode(ZXing::BarcodeFormat::DataMatrix, id.toStdString());
    const QImage aztec = tightCode(ZXing::BarcodeFormat::Aztec, id.toStdString());
    const QImage code128 = tightCode(ZXing::BarcodeFormat::Code128, id.toStdString());
    const QImage pdf417 = tightCode(ZXing::BarcodeFormat::PDF417, id.toStdString());
    const QString pass = u"M1DOE/JANE E4XK2LP FRAMUC LH2419 014C"_s;
    QImage blank(120, 80, QImage::Format_RGB32);
    blank.fill(Qt::white);
    struct Case {
        QString name;
        QImage image;
        QStringList payloads; // in any order
        bool plainReadFails = false; // the image needs the engine's retries, not only ZXing's defaults
    };
    std::vector<Case> cases = {
        { u"QR cut tight, 3 px per module"_s, onScreen(qr, 3, false), { url } },
        { u"EAN-13 cut tight, 2 px per module"_s, onScreen(ean, 2, false), { ean13 } },
        { u"QR cut tight, light on dark"_s, onScreen(qr, 3, true), { url }, true },
        { u"QR light on dark, 1.7 px per module"_s, onScreen(qr, 1.7, true), { url }, true },
        { u"QR cut tight, 2.5 px per module"_s, onScreen(qr, 2.5, false), { url } },
        { u"QR cut tight, 1 px per module"_s, onScreen(qr, 1, false), { url } },
        { u"Data Matrix cut tight"_s, onScreen(matrix, 3, false), { id }, true },
        { u"Data Matrix cut tight, light on dark"_s, onScreen(matrix, 2, true), { id }, true },
        { u"Aztec cut tight"_s, onScreen(aztec, 3, false), { id } },
        { u"Code 128 cut tight"_s, onScreen(code128, 2, false), { id } },
        { u"Code 128 cut tight, light on dark"_s, onScreen(code128, 2, true), { id }, true },
        { u"PDF417 cut tight"_s, onScreen(pdf417, 2, false), { id } },
        { u"EAN-13 cut tight, 1.5 px"_s, onScreen(ean, 1.5, false), { ean13 }, true },
        { u"EAN-13 cut tight, light on dark, 1.5 px"_s, onScreen(ean, 1.5, true), { ean13 }, true },
        { u"Aztec on a card beside light text"_s,
            onCardBesideText(tightCode(ZXing::BarcodeFormat::Aztec, pass.toStdString())), { pass }, true },
        { u"QR on a transparent background"_s, transparentQr("glyphwell"), { u"glyphwell"_s } },
        { u"inverted QR file"_s, loadTestImage(u"barcodes/qrcode-2_qr-inv-1.webp"_s),
            { loadTestText(u"barcodes/qrcode-2_qr-inv-1.txt"_s) }, true },
        { u"two stacked EAN-13"_s, twoStackedEan13("5901234123457", "4006381333931"),
            { u"4006381333931"_s, ean13 } },
        { u"blank"_s, blank, {} },
    };
    for (const char *file : { "qrcode-2_10.png", "qrcode-6_4.png", "microqrcode-1_M3-Kanji.png",
             "datamatrix-1_eci.png", "aztec-1_HistoricoLong.png", "aztec-1_az-thin.png", "pdf417-3_16.png",
             "code128-1_1.png", "code39-1_3.png", "datamatrix-3_dm-e.webp", "ean8-1_8.png", "upca-1_2.webp",
             "itf-1_with-tail.png", "ean13-1_35.webp" }) {
        const QString path = u"barcodes/"_s + QLatin1String(file);
        cases.push_back({ path, loadTestImage(path),
            { loadTestText(path.left(path.lastIndexOf(QLatin1Char('.'))) + u".txt"_s) } });
    }
    ZXingBarcodeEngine engine;
    ZXingBarcodeEngine plain(
        ZXingBarcodeOptions { .retryInverted = false, .retryQuietZone = false, .retryUpscaled = false });
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const auto observations = engine.detectBarcodes(c.image);
        ASSERT_TRUE(observations.has_value());
        QStringList payloads;
        for (const BarcodeObservation &observation : *observations)
            payloads.append(observation.payloadString.value_or(u"(none)"_s));
        payloads.sort();
        EXPECT_EQ(payloads, c.payloads);
        if (c.plainReadFails)
            EXPECT_EQ(plain.detectBarcodes(c.image).value_or(std::vector<BarcodeObservation>(1)).size(), 0u);
    }
    EXPECT_FALSE(engine.detectBarcodes(QImage()).has_value());
}
