#include "ZXingBarcodeEngine.h"

// text() returns UTF-8 with this set (ZXing-C++ 1.4 still defaults to std::wstring).
#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <QDebug>

#include <exception>

namespace {

ZXing::Results read(const QImage &grey, const ZXing::DecodeHints &hints)
{
    const ZXing::ImageView view(grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum,
                                int(grey.bytesPerLine()));
    ZXing::Results results = ZXing::ReadBarcodes(view, hints);
    std::erase_if(results, [](const ZXing::Result &result) { return !result.isValid(); });
    return results;
}

BarcodeObservation observationOf(const ZXing::Result &result)
{
    if (result.contentType() == ZXing::ContentType::Binary)
        return {};
    QString text = QString::fromStdString(result.text());
    // Newer decoders and the other platforms report UPC-A as its 13-digit EAN form.
    if (result.format() == ZXing::BarcodeFormat::UPCA && text.size() == 12)
        text.prepend(QLatin1Char('0'));
    return {std::move(text)};
}

} // namespace

ZXingBarcodeEngine::ZXingBarcodeEngine(ZXingBarcodeOptions options)
    : m_options(options)
{
}

std::optional<std::vector<BarcodeObservation>> ZXingBarcodeEngine::detectBarcodes(const QImage &image)
{
    if (image.isNull())
        return std::nullopt;
    try {
        ZXing::DecodeHints hints;
        hints.setTryHarder(true);
        hints.setTryRotate(true);
        hints.setTryCode39ExtendedMode(true);

        QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
        ZXing::Results results = read(grey, hints);
        if (results.empty() && m_options.retryInverted) {
            QImage inverted = grey;
            inverted.invertPixels();
            results = read(inverted, hints);
        }
        // Small codes need the upscale; large captures are skipped to bound time and memory.
        const bool smallEnough = qint64(grey.width()) * grey.height() * 9 <= 16'000'000;
        if (results.empty() && m_options.retryUpscaled && smallEnough) {
            // Nearest-neighbour keeps module edges sharp for the binariser.
            const QImage larger = grey.scaled(grey.width() * 3, grey.height() * 3);
            results = read(larger, hints);
        }

        std::vector<BarcodeObservation> observations;
        observations.reserve(results.size());
        for (const ZXing::Result &result : results)
            observations.push_back(observationOf(result));
        return observations;
    } catch (const std::exception &error) {
        qWarning("Barcode detection failed: %s", error.what());
        return std::nullopt;
    }
}
