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

// The commonest grey value: the background of a capture.
int commonestGrey(const std::array<qint64, 256> &counts)
{
    return int(std::max_element(counts.begin(), counts.end()) - counts.begin());
}

} // namespace

void clearSolidEdges(QImage &grey)
{
    if (grey.isNull() || grey.width() < 8 || grey.height() < 8)
        return;
    const auto counts = histogram(grey);
    const int threshold = otsuThreshold(counts);
    const int background = commonestGrey(counts);
    if (background <= threshold)
        return; // nothing light to paint with
    const auto solidRow = [&](int y) {
        const uchar *row = grey.constScanLine(y);
        int ink = 0;
        for (int x = 0; x < grey.width(); ++x)
            ink += row[x] <= threshold ? 1 : 0;
        return ink * 10 >= grey.width() * 9;
    };
    const auto solidColumn = [&](int x) {
        int ink = 0;
        for (int y = 0; y < grey.height(); ++y)
            ink += grey.constScanLine(y)[x] <= threshold ? 1 : 0;
        return ink * 10 >= grey.height() * 9;
    };
    // A frame is thin beside what it frames; deeper than a quarter it is the content.
    const int rowLimit = grey.height() / 4, columnLimit = grey.width() / 4;
    int top = 0, bottom = 0, left = 0, right = 0; // depths of solid ink from each edge
    while (top < rowLimit && solidRow(top))
        ++top;
    while (bottom < rowLimit && solidRow(grey.height() - 1 - bottom))
        ++bottom;
    while (left < columnLimit && solidColumn(left))
        ++left;
    while (right < columnLimit && solidColumn(grey.width() - 1 - right))
        ++right;
    for (int *depth : { &top, &bottom }) {
        if (*depth >= rowLimit)
            *depth = 0;
    }
    for (int *depth : { &left, &right }) {
        if (*depth >= columnLimit)
            *depth = 0;
    }
    bottom = grey.height() - bottom;
    right = grey.width() - right;
    if (top == 0 && left == 0 && bottom == grey.height() && right == grey.width())
        return;
    const auto fill = [&](int x0, int y0, int x1, int y1) {
        for (int y = y0; y < y1; ++y)
            std::fill(grey.scanLine(y) + x0, grey.scanLine(y) + x1, uchar(background));
    };
    fill(0, 0, grey.width(), top);
    fill(0, bottom, grey.width(), grey.height());
    fill(0, top, left, bottom);
    fill(right, top, grey.width(), bottom);
}

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

int backgroundGrey(const QImage &grey)
{
    return commonestGrey(histogram(grey));
}

int inkThreshold(const QImage &grey)
{
    return otsuThreshold(histogram(grey));
}

std::vector<InkBand> inkBands(const QImage &grey, int threshold)
{
    std::vector<InkBand> bands;
    if (grey.isNull())
        return bands;
    // A row belongs to a text band when it holds a little ink; a single stray pixel (noise,
    // a cursor) should not join two lines.
    const int minimumInk = std::max(1, grey.width() / 400);
    int start = -1;
    for (int y = 0; y <= grey.height(); ++y) {
        int ink = 0;
        if (y < grey.height()) {
            const uchar *row = grey.constScanLine(y);
            for (int x = 0; x < grey.width(); ++x)
                ink += row[x] <= threshold ? 1 : 0;
        }
        // A row that is almost entirely ink is a rule or a filled box, not text.
        const bool textRow = ink >= minimumInk && ink < grey.width() * 9 / 10;
        if (textRow && start < 0) {
            start = y;
        } else if (!textRow && start >= 0) {
            bands.push_back({ start, y });
            start = -1;
        }
    }
    return bands;
}

std::vector<QRect> readingParts(const QImage &grey, int count)
{
    const QRect whole(0, 0, grey.width(), grey.height());
    std::vector<InkBand> bands = inkBands(grey, inkThreshold(grey));
    if (count < 2 || bands.size() < 2)
        return { whole };
    std::vector<int> heights;
    for (const InkBand &band : bands)
        heights.push_back(band.height());
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    // Accents, dots and underlines leave thin gaps inside a line: only a gap of a quarter of
    // a line separates two lines.
    const int minimumGap = std::max(2, heights[heights.size() / 2] / 4);
    std::vector<InkBand> lines { bands.front() };
    for (size_t i = 1; i < bands.size(); ++i) {
        if (bands[i].top - lines.back().bottom < minimumGap)
            lines.back().bottom = bands[i].bottom;
        else
            lines.push_back(bands[i]);
    }
    const int parts = std::min<int>(count, int(lines.size()));
    if (parts < 2)
        return { whole };
    std::vector<QRect> result;
    int top = 0;
    for (int p = 1; p <= parts; ++p) {
        const size_t last = lines.size() * p / parts - 1; // the part's last line
        const int bottom = p == parts ? grey.height() : (lines[last].bottom + lines[last + 1].top) / 2;
        result.emplace_back(0, top, grey.width(), bottom - top);
        top = bottom;
    }
    return result;
}

int estimateLineHeight(const QImage &grey)
{
    std::vector<int> heights;
    for (const InkBand &band : inkBands(grey, inkThreshold(grey))) {
        if (band.height() >= 4)
            heights.push_back(band.height());
    }
    if (heights.empty())
        return 0;
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    return heights[heights.size() / 2];
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
    clearSolidEdges(grey);

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
