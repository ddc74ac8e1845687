#include "ImagePreparation.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

std::array<qint64, 256> histogram(const QImage &grey)
{
    std::array<qint64, 256> counts {};
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *row = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            ++counts[row[x]];
    }
    return counts;
}

// Otsu's threshold: values at or below it count as ink.
int otsuThreshold(const std::array<qint64, 256> &counts)
{
    qint64 total = 0;
    double sum = 0;
    for (int i = 0; i < 256; ++i) {
        total += counts[i];
        sum += double(i) * double(counts[i]);
    }
    double sumBelow = 0;
    qint64 below = 0;
    double best = -1;
    int threshold = 127;
    for (int t = 0; t < 256; ++t) {
        below += counts[t];
        if (below == 0)
            continue;
        const qint64 above = total - below;
        if (above == 0)
            break;
        sumBelow += double(t) * double(counts[t]);
        const double meanBelow = sumBelow / double(below);
        const double meanAbove = (sum - sumBelow) / double(above);
        const double between
            = double(below) * double(above) * (meanBelow - meanAbove) * (meanBelow - meanAbove);
        if (between > best) {
            best = between;
            threshold = t;
        }
    }
    return threshold;
}

} // namespace

bool hasDarkBackground(const QImage &grey)
{
    const auto counts = histogram(grey);
    qint64 total = 0;
    qint64 dark = 0;
    for (int i = 0; i < 256; ++i) {
        total += counts[i];
        if (i < 128)
            dark += counts[i];
    }
    return total > 0 && dark * 2 > total;
}

int estimateLineHeight(const QImage &grey)
{
    if (grey.isNull())
        return 0;
    const int threshold = otsuThreshold(histogram(grey));
    // A row belongs to a text band when it holds a little ink; a single stray pixel (noise,
    // a cursor) should not join two lines.
    const int minimumInk = std::max(1, grey.width() / 400);
    std::vector<int> bands;
    int run = 0;
    for (int y = 0; y <= grey.height(); ++y) {
        int ink = 0;
        if (y < grey.height()) {
            const uchar *row = grey.constScanLine(y);
            for (int x = 0; x < grey.width(); ++x)
                ink += row[x] <= threshold ? 1 : 0;
        }
        // A row that is almost entirely ink is a rule or a filled box, not text.
        const bool textRow = ink >= minimumInk && ink < grey.width() * 9 / 10;
        if (textRow) {
            ++run;
        } else {
            if (run >= 4)
                bands.push_back(run);
            run = 0;
        }
    }
    if (bands.empty())
        return 0;
    std::nth_element(bands.begin(), bands.begin() + bands.size() / 2, bands.end());
    return bands[bands.size() / 2];
}

QImage greyscaleOnWhite(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_Grayscale8);
    // Transparent pixels would turn black, and dark text on them would vanish: files with a
    // transparent background are shown on white, so they are read that way.
    QImage flattened(image.size(), QImage::Format_RGB32);
    flattened.setDotsPerMeterX(image.dotsPerMeterX());
    flattened.setDotsPerMeterY(image.dotsPerMeterY());
    flattened.fill(Qt::white);
    QPainter painter(&flattened);
    painter.drawImage(0, 0, image);
    painter.end();
    return flattened.convertToFormat(QImage::Format_Grayscale8);
}

QImage prepareForRecognition(const QImage &image, const PreparationOptions &options)
{
    if (image.isNull())
        return {};
    QImage grey = greyscaleOnWhite(image);
    // Dark backgrounds are inverted: Tesseract reads light-on-dark text too, but its own
    // inversion retry costs about twice the time.
    if (options.invertDarkBackground && hasDarkBackground(grey))
        grey.invertPixels();

    if (options.targetLineHeight <= 0)
        return grey;
    const int lineHeight = estimateLineHeight(grey);
    if (lineHeight <= 0)
        return grey;
    const double scale = std::min(options.maximumScale, double(options.targetLineHeight) / lineHeight);
    if (scale < 1.25)
        return grey;
    const int width = int(std::lround(grey.width() * scale));
    const int height = int(std::lround(grey.height() * scale));
    if (qint64(width) * height > options.maximumPixels)
        return grey;
    QImage scaled = grey.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    scaled.setDotsPerMeterX(int(std::lround(grey.dotsPerMeterX() * scale)));
    scaled.setDotsPerMeterY(int(std::lround(grey.dotsPerMeterY() * scale)));
    return scaled;
}
