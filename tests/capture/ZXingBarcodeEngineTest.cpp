#include "capture/ZXingBarcodeEngine.h"
#include "capture/TestData.h"

#include <QPainter>
#include <gtest/gtest.h>

#define ZX_USE_UTF8 1
#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

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
        "microqrcode-1_M3-Kanji.png", "datamatrix-1_eci.png", "aztec-1_HistoricoLong.png", "pdf417-3_16.png",
        "code128-1_1.png", "code39-1_3.png", "datamatrix-3_dm-e.webp", "ean8-1_8.png", "upca-1_2.webp",
        "itf-1_with-tail.png", "ean13-1_35.webp"),
    nameOf);

TEST(ZXingBarcodeEngine, InvertedCodeNeedsTheInvertedRetry)
{
    const QImage image = loadTestImage(QStringLiteral("barcodes/qrcode-2_qr-inv-1.webp"));
    ZXingBarcodeEngine withoutRetries(ZXingBarcodeOptions { .retryInverted = false, .retryUpscaled = false });
    const auto plain = withoutRetries.detectBarcodes(image);
    ASSERT_TRUE(plain.has_value());
    EXPECT_TRUE(plain->empty());

    ZXingBarcodeEngine engine;
    const auto retried = engine.detectBarcodes(image);
    ASSERT_TRUE(retried.has_value());
    EXPECT_EQ(retried->size(), 1u);
}

TEST(ZXingBarcodeEngine, UpcAIsReportedWithThirteenDigits)
{
    ZXingBarcodeEngine engine;
    const auto observations = engine.detectBarcodes(loadTestImage(QStringLiteral("barcodes/upca-1_2.webp")));
    ASSERT_TRUE(observations.has_value());
    ASSERT_EQ(observations->size(), 1u);
    ASSERT_TRUE(observations->front().payloadString.has_value());
    EXPECT_EQ(observations->front().payloadString->size(), 13);
    EXPECT_TRUE(observations->front().payloadString->startsWith(QLatin1Char('0')));
}

TEST(ZXingBarcodeEngine, KeepsControlCharactersOfStructuredPayloads)
{
    ZXingBarcodeEngine engine;
    const auto observations
        = engine.detectBarcodes(loadTestImage(QStringLiteral("barcodes/datamatrix-3_dm-e.webp")));
    ASSERT_TRUE(observations.has_value());
    ASSERT_EQ(observations->size(), 1u);
    const QString expected = loadTestText(QStringLiteral("barcodes/datamatrix-3_dm-e.txt"));
    ASSERT_TRUE(expected.contains(QChar(0x1D)));
    EXPECT_EQ(observations->front().payloadString, expected);
}

TEST(ZXingBarcodeEngine, ImageWithoutCodesGivesNoObservations)
{
    QImage blank(120, 80, QImage::Format_RGB32);
    blank.fill(Qt::white);
    ZXingBarcodeEngine engine;
    const auto observations = engine.detectBarcodes(blank);
    ASSERT_TRUE(observations.has_value());
    EXPECT_TRUE(observations->empty());
}

TEST(ZXingBarcodeEngine, NullImageIsAFailure)
{
    ZXingBarcodeEngine engine;
    EXPECT_FALSE(engine.detectBarcodes(QImage()).has_value());
}

// Two different codes stacked one above the other are two results, not one read twice.
TEST(ZXingBarcodeEngine, KeepsTwoStackedLinearCodes)
{
    auto render = [](const std::string &digits) {
        const ZXing::BitMatrix bits
            = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::EAN13).encode(digits, 300, 80);
        const auto matrix = ZXing::ToMatrix<uint8_t>(bits);
        QImage image(matrix.width(), matrix.height(), QImage::Format_Grayscale8);
        for (int y = 0; y < matrix.height(); ++y)
            std::memcpy(image.scanLine(y), matrix.data() + y * matrix.width(), size_t(matrix.width()));
        return image;
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

TEST(ZXingBarcodeEngine, ReadsACodeOnATransparentBackground)
{
    const auto matrix = ZXing::ToMatrix<uint8_t>(
        ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode).encode(std::string("glyphwell"), 120, 120));
    QImage image(matrix.width(), matrix.height(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < matrix.height(); ++y) {
        for (int x = 0; x < matrix.width(); ++x) {
            if (matrix.get(x, y) == 0)
                image.setPixelColor(x, y, Qt::black);
        }
    }
    ZXingBarcodeEngine engine;
    const auto observations = engine.detectBarcodes(image);
    ASSERT_TRUE(observations.has_value());
    ASSERT_EQ(observations->size(), 1u);
    EXPECT_EQ(observations->front().payloadString, QStringLiteral("glyphwell"));
}
