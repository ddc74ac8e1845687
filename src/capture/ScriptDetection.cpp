#include "ScriptDetection.h"

#include "ImagePreparation.h"

#include <algorithm>
#include <vector>

ScriptFeatures scriptFeatures(const QImage &grey)
{
    ScriptFeatures features;
    if (grey.isNull())
        return features;
    const int threshold = inkThreshold(grey);
    double totalWidth = 0;
    double fullHeightWidth = 0;
    double squareWidth = 0;
    double crossingSum = 0;
    double inkedColumns = 0;
    double inkSum = 0;
    double boxSum = 0;
    double stackedPieces = 0, largePieces = 0;
    double alignedBottoms = 0, alignedTops = 0, allColumns = 0, coreInk = 0, bandInk = 0;
    for (const InkBand &band : inkBands(grey, threshold)) {
        const int height = band.height();
        if (height < 6)
            continue; // accents, underlines, specks
        // Columns of this band that hold ink, with their topmost and lowest ink row and the
        // strokes a vertical line through them crosses.
        struct Column {
            int top = -1, bottom = -1, ink = 0, crossings = 0;
        };
        std::vector<Column> columns(grey.width());
        for (int y = band.top; y < band.bottom; ++y) {
            const uchar *row = grey.constScanLine(y);
            const uchar *above = y > band.top ? grey.constScanLine(y - 1) : nullptr;
            for (int x = 0, width = grey.width(); x < width; ++x) {
                if (row[x] > threshold)
                    continue;
                Column &column = columns[x];
                if (column.top < 0)
                    column.top = y;
                column.bottom = y + 1;
                ++column.ink;
                if (!above || above[x] > threshold)
                    ++column.crossings;
            }
        }
        // Latin letters stand on a baseline and most lowercase ones reach the same mean
        // line; East Asian characters fill their square each in its own way.
        {
            std::vector<int> bottoms(height + 1, 0), tops(height + 1, 0);
            int inked = 0, core = 0, ink = 0;
            for (const Column &column : columns) {
                if (column.top < 0)
                    continue;
                ++inked;
                ++bottoms[column.bottom - band.top];
                ++tops[column.top - band.top];
            }
            for (int y = band.top; y < band.bottom; ++y) {
                const uchar *row = grey.constScanLine(y);
                int count = 0;
                for (int x = 0, width = grey.width(); x < width; ++x)
                    count += row[x] <= threshold;
                ink += count;
                if (y - band.top >= height / 4 && y - band.top < height - height / 4)
                    core += count;
            }
            const int tolerance = std::max(1, height / 16);
            auto aligned = [&](const std::vector<int> &counts) {
                int best = 0;
                for (int y = 0; y <= height; ++y) {
                    int sum = 0;
                    for (int d = -tolerance; d <= tolerance; ++d)
                        sum += (y + d >= 0 && y + d <= height) ? counts[y + d] : 0;
                    best = std::max(best, sum);
                }
                return best;
            };
            alignedBottoms += aligned(bottoms);
            alignedTops += aligned(tops);
            allColumns += inked;
            coreInk += core;
            bandInk += ink;
        }
        // Connected pieces of ink: a Latin letter is one piece beside the next; the strokes
        // and components of an East Asian character stand above one another in its square.
        {
            const int width = grey.width();
            std::vector<int> label(size_t(width) * height, -1);
            struct Piece {
                int left, top, right, bottom;
            };
            std::vector<Piece> pieces;
            std::vector<std::pair<int, int>> stack;
            for (int y = 0; y < height; ++y) {
                const uchar *row = grey.constScanLine(band.top + y);
                for (int x = 0; x < width; ++x) {
                    if (row[x] > threshold || label[size_t(y) * width + x] >= 0)
                        continue;
                    Piece piece { x, y, x, y };
                    const int id = int(pieces.size());
                    label[size_t(y) * width + x] = id;
                    stack.push_back({ x, y });
                    while (!stack.empty()) {
                        const auto [px, py] = stack.back();
                        stack.pop_back();
                        piece.left = std::min(piece.left, px);
                        piece.right = std::max(piece.right, px);
                        piece.top = std::min(piece.top, py);
                        piece.bottom = std::max(piece.bottom, py);
                        for (int dy = -1; dy <= 1; ++dy) {
                            for (int dx = -1; dx <= 1; ++dx) {
                                const int nx = px + dx, ny = py + dy;
                                if (nx < 0 || ny < 0 || nx >= width || ny >= height)
                                    continue;
                                int &l = label[size_t(ny) * width + nx];
                                if (l >= 0 || grey.constScanLine(band.top + ny)[nx] > threshold)
                                    continue;
                                l = id;
                                stack.push_back({ nx, ny });
                            }
                        }
                    }
                    pieces.push_back(piece);
                }
            }
            std::vector<Piece> large;
            for (const Piece &piece : pieces) {
                const int h = piece.bottom - piece.top + 1;
                const int w = piece.right - piece.left + 1;
                if (h * 5 >= height && w * 6 >= height)
                    large.push_back(piece);
            }
            for (size_t i = 0; i < large.size(); ++i) {
                for (size_t j = 0; j < large.size(); ++j) {
                    if (i == j)
                        continue;
                    const Piece &a = large[i], &b = large[j];
                    const int overlap = std::min(a.right, b.right) - std::max(a.left, b.left) + 1;
                    const int narrower = std::min(a.right - a.left, b.right - b.left) + 1;
                    const bool disjoint = a.bottom < b.top || b.bottom < a.top;
                    if (disjoint && overlap * 2 >= narrower) {
                        ++stackedPieces;
                        break;
                    }
                }
            }
            largePieces += double(large.size());
        }
        // Runs of inked columns; a gap of a pixel or two inside one glyph does not split it.
        const int joinGap = std::max(1, height / 10);
        int x = 0;
        while (x < grey.width()) {
            if (columns[x].top < 0) {
                ++x;
                continue;
            }
            int end = x;
            int top = columns[x].top, bottom = columns[x].bottom, ink = 0, crossings = 0, inked = 0;
            for (int gap = 0; end < grey.width() && gap <= joinGap; ++end) {
                if (columns[end].top < 0) {
                    ++gap;
                    continue;
                }
                gap = 0;
                top = std::min(top, columns[end].top);
                bottom = std::max(bottom, columns[end].bottom);
                ink += columns[end].ink;
                crossings += columns[end].crossings;
                ++inked;
            }
            while (end > x && columns[end - 1].top < 0)
                --end;
            const int width = end - x;
            x = end;
            if (width < 2)
                continue;
            ++features.glyphs;
            totalWidth += width;
            if (bottom - top >= height * 3 / 4)
                fullHeightWidth += width;
            if (width >= height * 0.6 && width <= height * 1.4)
                squareWidth += width;
            crossingSum += crossings;
            inkedColumns += inked;
            inkSum += ink;
            boxSum += double(width) * (bottom - top);
        }
    }
    if (totalWidth > 0) {
        features.fullHeightShare = fullHeightWidth / totalWidth;
        features.squareShare = squareWidth / totalWidth;
    }
    if (inkedColumns > 0)
        features.crossings = crossingSum / inkedColumns;
    if (boxSum > 0)
        features.density = inkSum / boxSum;
    if (allColumns > 0) {
        features.baseline = alignedBottoms / allColumns;
        features.meanline = alignedTops / allColumns;
    }
    if (largePieces > 0)
        features.stacked = stackedPieces / largePieces;
    if (bandInk > 0)
        features.core = coreInk / bandInk;
    return features;
}

double eastAsianScore(const ScriptFeatures &features)
{
    // A logistic model fitted on bench/data/screen (144 snippets of nine languages, 9-20 px,
    // light, dark and coloured; right for all in leave-one-out): above 0 is East Asian.
    return -8.16 + 5.01 * features.fullHeightShare + 3.28 * features.crossings + 5.06 * features.squareShare
        + 0.24 * features.density - 4.0 * features.baseline - 1.62 * features.meanline - 2.32 * features.core
        - 0.71 * features.stacked;
}

WritingScript detectScript(const ScriptFeatures &features)
{
    if (features.glyphs == 0)
        return WritingScript::latin;
    return eastAsianScore(features) > 0 ? WritingScript::eastAsian : WritingScript::latin;
}
