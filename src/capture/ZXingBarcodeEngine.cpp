#include "ZXingBarcodeEngine.h"

#include "ImagePreparation.h"
#include "RecognitionLogging.h"

// text() returns UTF-8 with this set (ZXing-C++ 1.4 still defaults to std::wstring).
#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <QDebug>
#include <QPointF>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>

namespace {

ZXing::Results read(const QImage &grey, const ZXing::DecodeHints &hints)
{
    const ZXing::ImageView view(
        grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum, int(grey.bytesPerLine()));
    ZXing::Results results = ZXing::ReadBarcodes(view, hints);
    std::erase_if(results, [](const ZXing::Result &result) { return !result.isValid(); });
    return results;
}

// Whether two reads of a linear code lie on one printed code: they cover the same stretch
// along the reading direction, and the band between their scan lines is barred too. Codes
// stacked one above the other have a blank band between them.
bool sameLinearCode(const QImage &grey, const ZXing::Position &a, const ZXing::Position &b)
{
    const QPointF start(a[0].x, a[0].y), end(a[1].x, a[1].y);
    const QPointF along = end - start;
    const double length = std::hypot(along.x(), along.y());
    if (length < 1)
        return false;
    const QPointF direction = along / length;
    const QPointF normal(-direction.y(), direction.x());
    auto project = [](const ZXing::Position &p, QPointF axis, double &low, double &high) {
        low = std::numeric_limits<double>::max();
        high = std::numeric_limits<double>::lowest();
        for (const auto &corner : p) {
            const double t = corner.x * axis.x() + corner.y * axis.y();
            low = std::min(low, t);
            high = std::max(high, t);
        }
    };
    double aLow, aHigh, bLow, bHigh;
    project(a, direction, aLow, aHigh);
    project(b, direction, bLow, bHigh);
    const double from = std::max(aLow, bLow);
    const double to = std::min(aHigh, bHigh);
    if (to - from < 0.8 * std::min(aHigh - aLow, bHigh - bLow))
        return false;
    double aNear, aFar, bNear, bFar;
    project(a, normal, aNear, aFar);
    project(b, normal, bNear, bFar);
    const double gapStart = std::min(aFar, bFar);
    const double gapEnd = std::max(aNear, bNear);
    if (gapEnd <= gapStart)
        return true; // the scan lines themselves overlap
    // Walk the middle of the band along the code and count light/dark changes.
    const double across = (gapStart + gapEnd) / 2;
    constexpr int samples = 240;
    std::vector<int> values;
    values.reserve(samples);
    for (int i = 0; i < samples; ++i) {
        const double t = from + (to - from) * (i + 0.5) / samples;
        const QPointF point = direction * t + normal * across;
        const int x = int(std::lround(point.x()));
        const int y = int(std::lround(point.y()));
        if (x < 0 || y < 0 || x >= grey.width() || y >= grey.height())
            return false;
        values.push_back(grey.constScanLine(y)[x]);
    }
    const auto [darkest, lightest] = std::minmax_element(values.begin(), values.end());
    if (*lightest - *darkest < 48)
        return false; // blank
    const int middle = (*darkest + *lightest) / 2;
    int changes = 0;
    for (size_t i = 1; i < values.size(); ++i)
        changes += (values[i - 1] < middle) != (values[i] < middle);
    // Every linear symbology has well over a dozen bars.
    return changes >= 12;
}

// A linear code read along several scan lines can come back twice, once misread from a few
// damaged lines: of two reads of one printed code, keep the one more lines agreed on.
void dropWeakerReadsOfOneCode(const QImage &grey, ZXing::Results &results)
{
    std::vector<bool> dropped(results.size(), false);
    for (size_t i = 0; i < results.size(); ++i) {
        for (size_t j = 0; j < results.size(); ++j) {
            if (i == j || dropped[j] || results[i].format() != results[j].format())
                continue;
            const int lines = results[i].lineCount();
            const int otherLines = results[j].lineCount();
            if (lines == 0 || otherLines == 0) // 2D codes carry no line count
                continue;
            const bool weaker = lines < otherLines || (lines == otherLines && i > j);
            if (weaker && sameLinearCode(grey, results[i].position(), results[j].position()))
                dropped[i] = true;
        }
    }
    ZXing::Results kept;
    for (size_t i = 0; i < results.size(); ++i) {
        if (!dropped[i])
            kept.push_back(std::move(results[i]));
    }
    results = std::move(kept);
}

// The image on a white margin: every symbology needs light space around the code to find
// its edges (four modules for QR, ten for EAN), which a tight selection leaves out. A fifth
// of the longer side covers both for codes that fill the capture.
int quietZoneMargin(const QImage &grey)
{
    return std::max(8, std::max(grey.width(), grey.height()) / 5);
}

QImage withQuietZone(const QImage &grey)
{
    const int margin = quietZoneMargin(grey);
    QImage padded(grey.width() + 2 * margin, grey.height() + 2 * margin, QImage::Format_Grayscale8);
    padded.fill(255);
    for (int y = 0; y < grey.height(); ++y)
        std::memcpy(padded.scanLine(y + margin) + margin, grey.constScanLine(y), size_t(grey.width()));
    return padded;
}

// Where a read stands in the captured image, given how the image it was read from was made:
// enlarged `scale` times after a margin of `margin` pixels was added around it.
QRect boxOf(const ZXing::Result &result, int margin, int scale, const QSize &size)
{
    int left = std::numeric_limits<int>::max(), top = left;
    int right = std::numeric_limits<int>::min(), bottom = right;
    for (const auto &corner : result.position()) {
        left = std::min(left, corner.x);
        right = std::max(right, corner.x);
        top = std::min(top, corner.y);
        bottom = std::max(bottom, corner.y);
    }
    const QRect box(QPoint(left / scale - margin, top / scale - margin),
        QPoint(right / scale - margin, bottom / scale - margin));
    return box.intersected(QRect(QPoint(0, 0), size));
}

BarcodeObservation observationOf(const ZXing::Result &result, QRect box)
{
    if (result.contentType() == ZXing::ContentType::Binary)
        return { std::nullopt, box };
    QString text = QString::fromStdString(result.text());
    // Newer decoders and the other platforms report UPC-A as its 13-digit EAN form.
    if (result.format() == ZXing::BarcodeFormat::UPCA && text.size() == 12)
        text.prepend(QLatin1Char('0'));
    return { std::move(text), box };
}

// The light cards in a dark image, largest first: a code printed on one (a boarding pass on a
// dark page) is found when read on its own, where the text beside it misleads the detectors.
std::vector<QRect> lightCards(const QImage &grey)
{
    const int width = grey.width();
    const int height = grey.height();
    constexpr int light = 192;
    std::vector<char> seen(size_t(width) * height, 0);
    std::vector<std::pair<qint64, QRect>> cards;
    std::vector<QPoint> stack;
    qint64 lightPixels = 0;
    for (int y0 = 0; y0 < height; ++y0) {
        for (int x0 = 0; x0 < width; ++x0) {
            if (grey.constScanLine(y0)[x0] < light)
                continue;
            ++lightPixels;
            if (seen[size_t(y0) * width + x0])
                continue;
            QRect box(x0, y0, 1, 1);
            qint64 area = 0;
            seen[size_t(y0) * width + x0] = 1;
            stack.assign(1, QPoint(x0, y0));
            while (!stack.empty()) {
                const QPoint p = stack.back();
                stack.pop_back();
                ++area;
                box = box.united(QRect(p, QSize(1, 1)));
                for (const QPoint n :
                    { p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1) }) {
                    if (n.x() < 0 || n.y() < 0 || n.x() >= width || n.y() >= height)
                        continue;
                    char &mark = seen[size_t(n.y()) * width + n.x()];
                    if (!mark && grey.constScanLine(n.y())[n.x()] >= light) {
                        mark = 1;
                        stack.push_back(n);
                    }
                }
            }
            // A card holds a code's light modules joined by its margin: a fair size, not a
            // stroke of text, and neither a hair line nor the page itself.
            const int shorter = std::min(box.width(), box.height());
            const int longer = std::max(box.width(), box.height());
            if (shorter >= 21 && longer <= shorter * 6 && area * 5 >= qint64(box.width()) * box.height())
                cards.emplace_back(area, box);
        }
    }
    // A light page is no card: its codes were looked for already.
    if (lightPixels * 2 > qint64(width) * height)
        return {};
    std::sort(cards.begin(), cards.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    std::vector<QRect> boxes;
    for (size_t i = 0; i < std::min<size_t>(cards.size(), 4); ++i)
        boxes.push_back(cards[i].second);
    return boxes;
}

} // namespace

ZXingBarcodeEngine::ZXingBarcodeEngine(ZXingBarcodeOptions options)
    : m_options(options)
{ }

std::optional<std::vector<BarcodeObservation>> ZXingBarcodeEngine::detectBarcodes(const QImage &image)
{
    return detect(image, m_options);
}

std::optional<std::vector<BarcodeObservation>> ZXingBarcodeEngine::detectBarcodesQuickly(const QImage &image)
{
    return detect(image,
        ZXingBarcodeOptions {
            .retryInverted = m_options.retryInverted, .retryQuietZone = false, .retryUpscaled = false });
}

std::optional<std::vector<BarcodeObservation>> ZXingBarcodeEngine::detect(
    const QImage &image, ZXingBarcodeOptions options)
{
    if (image.isNull())
        return std::nullopt;
    try {
        ZXing::DecodeHints hints;
        hints.setTryHarder(true);
        hints.setTryRotate(true);
        hints.setTryCode39ExtendedMode(true);

        const QImage grey = greyscaleOnWhite(image);
        // The image the results were read from: their positions are in its pixels, which are
        // the captured image's with a margin added and enlarged.
        QImage source = grey;
        int margin = 0;
        int scale = 1;
        ZXing::Results results = read(grey, hints);
        // Then, while nothing is found, the retries from cheap to dear: light on dark
        // inverted; a quiet zone added around a code the selection cut tight; three times
        // the size for codes of a pixel or two per module. They combine, as a small light
        // code cut tight from a dark page needs all three.
        // A code of a pixel or two per module is a small thing on screen, selected closely;
        // in a larger selection nine times its pixels would cost a second for nothing.
        const bool smallEnough = qint64(grey.width()) * grey.height() <= 300'000;
        for (const bool upscaled : { false, true }) {
            if (upscaled && (!options.retryUpscaled || !smallEnough))
                break;
            for (const bool quietZone : { false, true }) {
                if (quietZone && !options.retryQuietZone)
                    continue;
                for (const bool inverted : { false, true }) {
                    if (!results.empty())
                        break;
                    if ((!upscaled && !quietZone && !inverted) || (inverted && !options.retryInverted))
                        continue;
                    QImage attempt = grey;
                    if (inverted)
                        attempt.invertPixels();
                    if (quietZone)
                        attempt = withQuietZone(attempt);
                    // Smooth, so a module of one and a half pixels, drawn as one dark and one
                    // grey pixel, comes out as even bars rather than stairs of 3 and 6.
                    if (upscaled)
                        attempt = attempt.scaled(attempt.width() * 3, attempt.height() * 3,
                            Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                    // Reading an enlarged image again at smaller sizes would only undo the
                    // enlargement; and ZXing-C++ 1.4 aborts (a failed assertion) when it
                    // merges a linear code found at two of those sizes.
                    ZXing::DecodeHints attemptHints = hints;
                    attemptHints.setTryDownscale(!upscaled);
                    results = read(attempt, attemptHints);
                    source = std::move(attempt);
                    margin = quietZone ? quietZoneMargin(grey) : 0;
                    scale = upscaled ? 3 : 1;
                }
            }
        }

        // Last, a thin clean code (a compact Aztec drawn at a pixel or two per module, no
        // margin) enlarged and cut at one threshold for the whole image: local averaging
        // merges its modules with the light around them.
        if (results.empty() && options.retryUpscaled && smallEnough) {
            QImage attempt = grey.scaled(
                grey.width() * 3, grey.height() * 3, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            ZXing::DecodeHints attemptHints = hints;
            attemptHints.setTryDownscale(false);
            attemptHints.setBinarizer(ZXing::Binarizer::GlobalHistogram);
            results = read(attempt, attemptHints);
            source = std::move(attempt);
            margin = 0;
            scale = 3;
        }

        dropWeakerReadsOfOneCode(source, results);

        std::vector<BarcodeObservation> observations;
        observations.reserve(results.size());
        for (const ZXing::Result &result : results)
            observations.push_back(observationOf(result, boxOf(result, margin, scale, grey.size())));
        if (observations.empty() && options.retryQuietZone) {
            for (const QRect &card : lightCards(grey)) {
                const QImage part = grey.copy(card);
                for (const ZXing::Result &result : read(withQuietZone(part), hints))
                    observations.push_back(observationOf(result,
                        boxOf(result, quietZoneMargin(part), 1, card.size()).translated(card.topLeft())));
            }
        }
        return observations;
    } catch (const std::exception &error) {
        qCWarning(lcRecognition, "Barcode detection failed: %s", error.what());
        return std::nullopt;
    }
}
