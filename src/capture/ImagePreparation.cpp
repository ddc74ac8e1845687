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
        for (int x = 0, width = grey.width(); x < width; ++x)
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
    // How much of a row or column is ink: 2 solid, 1 some, 0 none.
    const auto rowInk = [&](int y) {
        const uchar *row = grey.constScanLine(y);
        int ink = 0;
        for (int x = 0, width = grey.width(); x < width; ++x)
            ink += row[x] <= threshold ? 1 : 0;
        return ink * 10 >= grey.width() * 9 ? 2 : ink > 0 ? 1 : 0;
    };
    const auto columnInk = [&](int x) {
        int ink = 0;
        for (int y = 0; y < grey.height(); ++y)
            ink += grey.constScanLine(y)[x] <= threshold ? 1 : 0;
        return ink * 10 >= grey.height() * 9 ? 2 : ink > 0 ? 1 : 0;
    };
    // A frame is thin beside what it frames; deeper than a quarter it is the content. It may
    // stand a few pixels in from the edge (a window's border inside the desktop around it):
    // solid lines with nothing but blank between them and the edge go, up to the first row
    // or column that holds some ink without being solid, which is where the content begins.
    const auto depth = [](int limit, const auto &inkAt) {
        int solidTo = 0;
        for (int i = 0; i < limit; ++i) {
            const int ink = inkAt(i);
            if (ink == 1)
                break;
            if (ink == 2)
                solidTo = i + 1;
        }
        return solidTo;
    };
    const int rowLimit = grey.height() / 4, columnLimit = grey.width() / 4;
    // depths of the frame from each edge
    int top = depth(rowLimit, rowInk);
    int bottom = depth(rowLimit, [&](int i) { return rowInk(grey.height() - 1 - i); });
    int left = depth(columnLimit, columnInk);
    int right = depth(columnLimit, [&](int i) { return columnInk(grey.width() - 1 - i); });
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

void flattenFilledBoxes(QImage &grey)
{
    const int width = grey.width();
    const int height = grey.height();
    if (grey.isNull() || width < 16 || height < 8)
        return;
    const int background = backgroundGrey(grey);
    constexpr int distinct = 40; // grey steps from a colour that count as another colour
    const auto at = [&](int x, int y) -> uchar & { return grey.scanLine(y)[x]; };
    // Every pixel belongs to the background's colour or to a shape of another; the shapes are
    // labelled one at a time, with their boxes.
    std::vector<int> label(size_t(width) * height, -1);
    std::vector<int> stack;
    int next = 0;
    for (int y0 = 0; y0 < height; ++y0) {
        for (int x0 = 0; x0 < width; ++x0) {
            const size_t start = size_t(y0) * width + x0;
            if (label[start] >= 0 || std::abs(int(grey.constScanLine(y0)[x0]) - background) <= distinct)
                continue;
            const int shape = next++;
            QRect box(x0, y0, 1, 1);
            qint64 area = 0;
            std::array<qint64, 256> counts {};
            label[start] = shape;
            stack.assign(1, int(start));
            while (!stack.empty()) {
                const int i = stack.back();
                stack.pop_back();
                const int x = i % width;
                const int y = i / width;
                ++area;
                ++counts[grey.constScanLine(y)[x]];
                box = box.united(QRect(x, y, 1, 1));
                for (const auto &[dx, dy] : { std::pair { 1, 0 }, { -1, 0 }, { 0, 1 }, { 0, -1 } }) {
                    const int nx = x + dx;
                    const int ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= width || ny >= height)
                        continue;
                    const size_t n = size_t(ny) * width + nx;
                    if (label[n] < 0 && std::abs(int(grey.constScanLine(ny)[nx]) - background) > distinct) {
                        label[n] = shape;
                        stack.push_back(int(n));
                    }
                }
            }
            // A box is mostly filled; a glyph, a rule or an outline is not.
            if (box.width() < 16 || box.height() < 8 || area * 10 < qint64(box.width()) * box.height() * 6)
                continue;
            qint64 seen = 0;
            int colour = 0;
            while (seen * 2 < area)
                seen += counts[colour++];
            colour = std::max(0, colour - 1);
            // Inside the box: every pixel not reached from its edge through other shapes or
            // the background around it (rounded corners stay as they are).
            std::vector<char> outside(size_t(box.width()) * box.height(), 0);
            const auto local
                = [&](int x, int y) { return size_t(y - box.top()) * box.width() + (x - box.left()); };
            std::vector<QPoint> reach;
            for (int x = box.left(); x <= box.right(); ++x)
                reach.insert(reach.end(), { QPoint(x, box.top()), QPoint(x, box.bottom()) });
            for (int y = box.top(); y <= box.bottom(); ++y)
                reach.insert(reach.end(), { QPoint(box.left(), y), QPoint(box.right(), y) });
            while (!reach.empty()) {
                const QPoint p = reach.back();
                reach.pop_back();
                if (!box.contains(p) || outside[local(p.x(), p.y())]
                    || label[size_t(p.y()) * width + p.x()] == shape)
                    continue;
                outside[local(p.x(), p.y())] = 1;
                reach.insert(
                    reach.end(), { p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1) });
            }
            // The box's rim, blended with what is around it, is neither box nor text.
            std::vector<char> rim(outside.size(), 0);
            for (int y = box.top(); y <= box.bottom(); ++y) {
                for (int x = box.left(); x <= box.right(); ++x) {
                    if (x - box.left() < 2 || box.right() - x < 2 || y - box.top() < 2
                        || box.bottom() - y < 2)
                        rim[local(x, y)] = 1;
                    if (!outside[local(x, y)])
                        continue;
                    for (int ny = std::max(box.top(), y - 2); ny <= std::min(box.bottom(), y + 2); ++ny) {
                        for (int nx = std::max(box.left(), x - 2); nx <= std::min(box.right(), x + 2); ++nx)
                            rim[local(nx, ny)] = !outside[local(nx, ny)];
                    }
                }
            }
            // The text: pixels inside of another colour than the box's, in pieces.
            QRect text;
            int pieces = 0;
            qint64 textArea = 0;
            qint64 insideArea = 0;
            std::vector<char> piece(outside.size(), 0);
            std::vector<int> contrasts;
            for (int y = box.top(); y <= box.bottom(); ++y) {
                for (int x = box.left(); x <= box.right(); ++x) {
                    if (outside[local(x, y)] || rim[local(x, y)])
                        continue;
                    ++insideArea;
                    const int contrast = std::abs(int(at(x, y)) - colour);
                    if (contrast <= distinct || piece[local(x, y)])
                        continue;
                    ++pieces;
                    reach.assign(1, QPoint(x, y));
                    piece[local(x, y)] = 1;
                    while (!reach.empty()) {
                        const QPoint p = reach.back();
                        reach.pop_back();
                        ++textArea;
                        text = text.united(QRect(p, QSize(1, 1)));
                        contrasts.push_back(std::abs(int(at(p.x(), p.y())) - colour));
                        for (const QPoint n :
                            { p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1) }) {
                            if (box.contains(n) && !outside[local(n.x(), n.y())] && !rim[local(n.x(), n.y())]
                                && !piece[local(n.x(), n.y())]
                                && std::abs(int(at(n.x(), n.y())) - colour) > distinct) {
                                piece[local(n.x(), n.y())] = 1;
                                reach.push_back(n);
                            }
                        }
                    }
                }
            }
            // Text runs along its box, with room around it: a glyph's counters (the two of a
            // bold "B", the "oo" of a word run together) fill most of its height.
            const int margin = std::max(2, text.height() / 5);
            if (pieces < 3 || text.width() < 2 * text.height() || box.height() * 5 < text.height() * 8
                || text.left() - box.left() < margin || box.right() - text.right() < margin
                || text.top() - box.top() < margin || box.bottom() - text.bottom() < margin
                || textArea * 2 > insideArea)
                continue;
            // A box is filled with one colour. A word blurred by zooming (an image viewer's, a
            // video's) is a shape that passes the tests above, but its grey runs smoothly from
            // the rim to the strokes: flattening it would wipe the word out.
            qint64 flat = 0;
            for (int y = box.top(); y <= box.bottom(); ++y) {
                for (int x = box.left(); x <= box.right(); ++x) {
                    if (!outside[local(x, y)] && !rim[local(x, y)] && !piece[local(x, y)]
                        && std::abs(int(at(x, y)) - colour) <= 8)
                        ++flat;
                }
            }
            if (flat * 2 < insideArea - textArea)
                continue;
            std::nth_element(
                contrasts.begin(), contrasts.begin() + contrasts.size() * 9 / 10, contrasts.end());
            const int strongest = std::max(distinct + 1, contrasts[contrasts.size() * 9 / 10]);
            for (int y = box.top(); y <= box.bottom(); ++y) {
                for (int x = box.left(); x <= box.right(); ++x) {
                    if (outside[local(x, y)])
                        continue;
                    const int contrast = rim[local(x, y)] ? 0 : std::abs(int(at(x, y)) - colour);
                    const double ink
                        = std::clamp(double(contrast - distinct / 2) / (strongest - distinct / 2), 0.0, 1.0);
                    at(x, y) = uchar(std::lround(background * (1.0 - ink)));
                }
            }
        }
    }
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
            for (int x = 0, width = grey.width(); x < width; ++x)
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
    flattenFilledBoxes(grey);

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
