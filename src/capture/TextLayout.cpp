#include "TextLayout.h"

#include "ImagePreparation.h"

#include <algorithm>
#include <optional>

namespace {

struct Band {
    int top = 0;
    int bottom = 0; // exclusive
};

struct Gutter {
    int left = 0;
    int right = 0; // exclusive
    std::vector<std::pair<int, int>> rules; // the ruled columns inside it, [left, right)
};

int median(std::vector<int> values)
{
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

class Layout {
public:
    Layout(const QImage &grey, bool rightToLeft)
        : m_grey(grey)
        , m_threshold(inkThreshold(grey))
        , m_rightToLeft(rightToLeft)
    {
        m_lineHeight = typicalLineHeight();
        // A gutter is wider than any gap between words (a third of the type's size, or a
        // monospaced cell with a space): a line's height.
        m_minimumGutter = std::max(4, m_lineHeight);
        m_wordGap = m_lineHeight > 0 ? typicalWordGap() : 0;
    }

    std::vector<TextBlock> blocks()
    {
        std::vector<TextBlock> result;
        if (m_lineHeight > 0)
            split(m_grey.rect(), result, 0);
        joinHeadsToTables(result);
        for (TextBlock &block : result) {
            if (!block.isTable())
                continue;
            // The rules across: rows with ink that are no text.
            const std::vector<bool> rows = textRows(block.rect);
            for (int y = block.rect.top(); y <= block.rect.bottom(); ++y) {
                const uchar *row = m_grey.constScanLine(y);
                const bool inked = std::any_of(row + block.rect.left(), row + block.rect.right() + 1,
                    [&](uchar grey) { return grey <= m_threshold; });
                if (!rows[y - block.rect.top()] && inked)
                    block.rules.emplace_back(block.rect.left(), y, block.rect.width(), 1);
            }
        }
        return result;
    }

    // A table's head is often cut off from its rows: a column's title is wider than its
    // values and covers part of a gutter's width, or the head stands apart. A line right
    // above a table whose ink leaves the middle of every gutter blank is its first row.
    void joinHeadsToTables(std::vector<TextBlock> &blocks) const
    {
        for (size_t i = 0; i + 1 < blocks.size(); ++i) {
            TextBlock &head = blocks[i];
            TextBlock &table = blocks[i + 1];
            if (head.isTable() || !table.isTable() || head.rect.height() > m_lineHeight * 8 / 5
                || table.rect.top() - head.rect.bottom() > m_lineHeight * 2
                || head.rect.left() < table.rect.left() - m_lineHeight
                || head.rect.right() > table.rect.right() + m_lineHeight)
                continue;
            const bool clear = std::none_of(
                table.gutters.begin(), table.gutters.end(), [&](const std::pair<int, int> &gutter) {
                    const int x = (gutter.first + gutter.second) / 2;
                    for (int y = head.rect.top(); y <= head.rect.bottom(); ++y) {
                        if (ink(x, y))
                            return true;
                    }
                    return false;
                });
            if (!clear)
                continue;
            table.rect = table.rect.united(head.rect);
            blocks.erase(blocks.begin() + i);
            --i;
        }
    }

private:
    bool ink(int x, int y) const { return m_grey.constScanLine(y)[x] <= m_threshold; }

    // Rows of `rect` that hold some ink but are not a rule: a row almost all ink, or a thin
    // run of rows inked across much of the width (a dashed or dotted rule under a table's head).
    std::vector<bool> textRows(const QRect &rect) const
    {
        std::vector<bool> rows(rect.height(), false);
        std::vector<int> counts(rect.height(), 0);
        const int width = rect.width();
        const uchar threshold = uchar(std::clamp(m_threshold, 0, 255));
        // A column inked from top to bottom is a rule along a table: the rows it crosses
        // between two lines of text are no text. The loops count in bytes, so that they run
        // on vectors: this is most of the layout's time.
        std::vector<uchar> open(width, 1);
        bool anyRuled = false;
        if (rect.height() >= 3 * std::max(m_lineHeight, 8)) {
            std::vector<int> columns(width, 0);
            for (int y = rect.top(); y <= rect.bottom(); ++y) {
                const uchar *row = m_grey.constScanLine(y) + rect.left();
                for (int x = 0; x < width; ++x)
                    columns[x] += row[x] <= threshold ? 1 : 0;
            }
            for (int x = 0; x < width; ++x) {
                open[x] = columns[x] * 10 >= rect.height() * 9 ? 0 : 1;
                anyRuled = anyRuled || !open[x];
            }
        }
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            const uchar *row = m_grey.constScanLine(y) + rect.left();
            int count = 0;
            if (anyRuled) {
                for (int x = 0; x < width; ++x)
                    count += (row[x] <= threshold ? 1 : 0) & open[x];
            } else {
                for (int x = 0; x < width; ++x)
                    count += row[x] <= threshold ? 1 : 0;
            }
            counts[y - rect.top()] = count;
            rows[y - rect.top()] = count > 0 && count * 10 < width * 9;
        }
        // A rule of a pixel or two, enlarged with the text it stands among.
        const int thinRule = m_lineHeight > 0 ? std::max(3, m_lineHeight / 4) : 4;
        for (int y = 0; y < rect.height();) {
            if (!rows[y]) {
                ++y;
                continue;
            }
            int end = y;
            int widest = 0;
            while (end < rect.height() && rows[end])
                widest = std::max(widest, counts[end++]);
            if (end - y <= thinRule && widest * 10 >= rect.width() * 3)
                std::fill(rows.begin() + y, rows.begin() + end, false);
            y = end;
        }
        return rows;
    }

    std::vector<Band> bands(const QRect &rect) const
    {
        const std::vector<bool> rows = textRows(rect);
        std::vector<Band> found;
        int start = -1;
        for (int y = 0; y <= rect.height(); ++y) {
            const bool text = y < rect.height() && rows[y];
            if (text && start < 0)
                start = y;
            else if (!text && start >= 0) {
                found.push_back({ rect.top() + start, rect.top() + y });
                start = -1;
            }
        }
        if (found.size() < 2)
            return found;
        // Accents, dots and underlines are thin bands of their own, a thin gap from their
        // line; two lines of a dense table are as close, but each is a line's height.
        std::vector<int> heights;
        for (const Band &band : found)
            heights.push_back(band.bottom - band.top);
        const int typical = median(heights);
        const int minimumGap = std::max(2, typical / 4);
        std::vector<Band> merged { found.front() };
        for (size_t i = 1; i < found.size(); ++i) {
            const bool thin
                = std::min(found[i].bottom - found[i].top, merged.back().bottom - merged.back().top) * 2
                < typical;
            if (thin && found[i].top - merged.back().bottom < minimumGap)
                merged.back().bottom = found[i].bottom;
            else
                merged.push_back(found[i]);
        }
        return merged;
    }

    // The height of a line of text, from narrow strips: across the whole width, the lines of
    // two columns that do not line up would merge into one tall band.
    // A strip may hold only a word's small letters: the upper quartile of the strips' bands
    // is the height of a line with its ascenders and descenders.
    int typicalLineHeight() const
    {
        const int stripWidth = std::max(16, m_grey.width() / 16);
        std::vector<int> heights;
        for (int x = 0; x < m_grey.width(); x += stripWidth) {
            const QRect strip(x, 0, std::min(stripWidth, m_grey.width() - x), m_grey.height());
            for (const Band &band : bands(strip)) {
                if (band.bottom - band.top >= 4)
                    heights.push_back(band.bottom - band.top);
            }
        }
        if (heights.empty())
            return 0;
        std::nth_element(heights.begin(), heights.begin() + heights.size() * 3 / 4, heights.end());
        const int fromStrips = heights[heights.size() * 3 / 4];
        // Across the whole width, where lines line up, each band is a whole line.
        std::vector<int> whole;
        for (const Band &band : bands(m_grey.rect())) {
            if (band.bottom - band.top >= 4)
                whole.push_back(band.bottom - band.top);
        }
        return whole.empty() ? fromStrips : std::min(fromStrips, std::max(median(whole), 4));
    }

    // The blank between words in the lines across the whole image: the upper quartile of the
    // runs of blank columns inside a line's ink wider than a fifth of a line (most gaps
    // between letters are narrower; those beside a monospaced "i" or "1" are not).
    int typicalWordGap() const
    {
        std::vector<int> gaps;
        for (const Band &band : bands(m_grey.rect())) {
            if (band.bottom - band.top > m_lineHeight * 2)
                continue; // lines of columns merged: their gaps are no word gaps
            std::vector<const uchar *> rows;
            for (int y = band.top; y < band.bottom; ++y)
                rows.push_back(m_grey.constScanLine(y));
            int run = -1; // -1: before the line's first ink
            for (int x = 0, width = m_grey.width(); x < width; ++x) {
                bool blank = true;
                for (size_t r = 0; r < rows.size() && blank; ++r)
                    blank = rows[r][x] > m_threshold;
                if (!blank) {
                    if (run * 5 >= m_lineHeight && run < m_lineHeight * 3)
                        gaps.push_back(run);
                    run = 0;
                } else if (run >= 0) {
                    ++run;
                }
            }
        }
        if (gaps.empty())
            return 0;
        std::nth_element(gaps.begin(), gaps.begin() + gaps.size() * 3 / 4, gaps.end());
        return gaps[gaps.size() * 3 / 4];
    }

    // The smallest rectangle inside `rect` that holds all its text rows' ink; empty if none.
    QRect inkExtent(const QRect &rect) const
    {
        const std::vector<bool> rows = textRows(rect);
        int left = rect.right() + 1, right = rect.left() - 1, top = -1, bottom = -1;
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            if (!rows[y - rect.top()])
                continue;
            const uchar *row = m_grey.constScanLine(y);
            int first = rect.left();
            while (first <= rect.right() && row[first] > m_threshold)
                ++first;
            if (first > rect.right())
                continue;
            int last = rect.right();
            while (row[last] > m_threshold)
                --last;
            left = std::min(left, first);
            right = std::max(right, last);
            top = top < 0 ? y : top;
            bottom = y;
        }
        if (top < 0)
            return {};
        return QRect(QPoint(left, top), QPoint(right, bottom));
    }

    // Runs of columns that cross every text row of a region blank (or as a rule: ink in
    // nearly every row), at least a gutter wide, with ink on both sides. `columns` counts the
    // ink of each column of the region, from x = `left`, over its `textRows` rows.
    // `spans` are the first and last inked x of each text row: a gutter has ink on both sides
    // in the rows of two lines at least, so the gaps in one long line above short ones (a
    // prompt and its command above the output) are none.
    std::vector<Gutter> gutters(const std::vector<int> &columns, int left, int textRows, int height,
        const std::vector<std::pair<int, int>> &spans) const
    {
        // One line: its gaps are between the words or cells of one row.
        if (textRows == 0 || height < m_lineHeight * 3 / 2)
            return {};
        const auto open = [&](int x) { return columns[x] == 0 || columns[x] * 100 >= textRows * 97; };
        int first = 0, last = int(columns.size()) - 1;
        while (first <= last && open(first))
            ++first;
        while (last >= first && open(last))
            --last;
        std::vector<Gutter> found;
        for (int x = first; x <= last;) {
            if (!open(x)) {
                ++x;
                continue;
            }
            const int start = x;
            Gutter gutter;
            while (x <= last && open(x)) {
                if (columns[x] > 0) {
                    if (gutter.rules.empty() || gutter.rules.back().second != left + x)
                        gutter.rules.emplace_back(left + x, left + x + 1);
                    else
                        ++gutter.rules.back().second;
                }
                ++x;
            }
            gutter.left = left + start;
            gutter.right = left + x;
            if (x - start < m_minimumGutter)
                continue;
            const auto straddling
                = std::count_if(spans.begin(), spans.end(), [&](const std::pair<int, int> &span) {
                      return span.first < gutter.left && span.second >= gutter.right;
                  });
            if (straddling * 2 >= m_lineHeight * 3)
                found.push_back(std::move(gutter));
        }
        return found;
    }

    // The first and last inked x of each row of `rect` (absent for rows that are not text).
    std::vector<std::optional<std::pair<int, int>>> rowSpans(
        const QRect &rect, const std::vector<bool> &rows) const
    {
        std::vector<std::optional<std::pair<int, int>>> spans(rect.height());
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            if (!rows[y - rect.top()])
                continue;
            const uchar *row = m_grey.constScanLine(y);
            int first = rect.right() + 1, last = -1;
            for (int x = rect.left(); x <= rect.right(); ++x) {
                if (row[x] <= m_threshold) {
                    first = std::min(first, x);
                    last = x;
                }
            }
            if (last >= 0)
                spans[y - rect.top()] = std::pair { first, last };
        }
        return spans;
    }

    static std::vector<std::pair<int, int>> present(
        const std::vector<std::optional<std::pair<int, int>>> &spans, size_t from, size_t to)
    {
        std::vector<std::pair<int, int>> result;
        for (size_t i = from; i < to; ++i) {
            if (spans[i])
                result.push_back(*spans[i]);
        }
        return result;
    }

    std::vector<Gutter> gutters(const QRect &rect) const
    {
        const std::vector<bool> rows = textRows(rect);
        std::vector<int> columns(rect.width(), 0);
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            if (!rows[y - rect.top()])
                continue;
            const uchar *row = m_grey.constScanLine(y);
            for (int x = rect.left(); x <= rect.right(); ++x)
                columns[x - rect.left()] += row[x] <= m_threshold ? 1 : 0;
        }
        return gutters(columns, rect.left(), int(std::count(rows.begin(), rows.end(), true)), rect.height(),
            present(rowSpans(rect, rows), 0, size_t(rect.height())));
    }

    // The longest run of whole lines [first, last) of `rect`, short of all of them, that has
    // more gutters than `gutterCount`; absent when none has. Each line's column ink is summed
    // once, so a run costs the width of the region.
    std::optional<std::pair<size_t, size_t>> longestRunWithMoreGutters(
        const QRect &rect, const std::vector<Band> &lines, size_t gutterCount) const
    {
        const std::vector<bool> rows = textRows(rect);
        const auto spans = rowSpans(rect, rows);
        const size_t n = lines.size();
        const int width = rect.width();
        std::vector<std::vector<int>> sums(n + 1, std::vector<int>(width, 0));
        std::vector<int> rowSums(n + 1, 0);
        for (size_t i = 0; i < n; ++i) {
            sums[i + 1] = sums[i];
            rowSums[i + 1] = rowSums[i];
            for (int y = lines[i].top; y < lines[i].bottom; ++y) {
                if (!rows[y - rect.top()])
                    continue;
                ++rowSums[i + 1];
                const uchar *row = m_grey.constScanLine(y);
                for (int x = 0; x < width; ++x)
                    sums[i + 1][x] += row[rect.left() + x] <= m_threshold ? 1 : 0;
            }
        }
        std::optional<std::pair<size_t, size_t>> best;
        std::vector<int> columns(width);
        for (size_t a = 0; a < n; ++a) {
            // A run of three lines at least: two lines of code or a terminal often have
            // spaces that line up by chance.
            for (size_t b = n; b > a + std::max<size_t>(2, best ? best->second - best->first : 0); --b) {
                if (a == 0 && b == n)
                    continue;
                for (int x = 0; x < width; ++x)
                    columns[x] = sums[b][x] - sums[a][x];
                const std::vector<std::pair<int, int>> runSpans = present(
                    spans, size_t(lines[a].top - rect.top()), size_t(lines[b - 1].bottom - rect.top()));
                // Only wide gutters, between areas of a page (a sidebar below a page's head): the
                // columns of a terminal's table between two prompts, or cells that line up in a
                // few lines of code, are read with their lines.
                const auto found = gutters(columns, rect.left(), rowSums[b] - rowSums[a],
                    lines[b - 1].bottom - lines[a].top, runSpans);
                const auto wide = std::count_if(found.begin(), found.end(),
                    [&](const Gutter &gutter) { return gutter.right - gutter.left >= m_lineHeight * 3; });
                if (found.size() > gutterCount && size_t(wide) >= found.size() - gutterCount) {
                    best = std::pair { a, b };
                    break;
                }
            }
        }
        return best;
    }

    // Whether the parts between the gutters are the cells of a table rather than flows side
    // by side: each part's lines stand in the rows of the whole, as the lines of flows with
    // their own pitch do not (those of the whole merge into tall bands where theirs overlap),
    // and they are not columns of prose.
    bool isTable(const QRect &rect, const std::vector<QRect> &parts) const
    {
        const std::vector<Band> rows = bands(rect);
        std::vector<std::vector<Band>> lines;
        for (const QRect &part : parts) {
            lines.push_back(bands(part));
            int matched = 0;
            for (const Band &line : lines.back()) {
                // Within a row of one line's height (a dash stands in its row too).
                matched += std::any_of(rows.begin(), rows.end(), [&](const Band &row) {
                    const int common = std::min(line.bottom, row.bottom) - std::max(line.top, row.top);
                    const int tallest = std::max({ line.bottom - line.top, m_lineHeight, 1 });
                    return common * 10 >= (line.bottom - line.top) * 8
                        && (row.bottom - row.top) * 10 <= tallest * 16;
                });
            }
            if (matched * 10 < int(lines.back().size()) * 8)
                return false;
        }
        // Columns of prose line up too when they share a font, and a sidebar's entries may
        // stand in the lines of the text beside it. A column of prose is wide, and its lines
        // run across it, but where a paragraph ends; a table's cells are as long as their
        // content, one short, the next long.
        for (size_t p = 0; p < parts.size(); ++p) {
            if (lines[p].size() < 3 || parts[p].width() < m_lineHeight * 12)
                continue;
            int full = 0;
            for (const Band &line : lines[p]) {
                const QRect extent
                    = inkExtent(QRect(parts[p].left(), line.top, parts[p].width(), line.bottom - line.top));
                full += extent.width() * 10 >= parts[p].width() * 8 ? 1 : 0;
            }
            if (full * 10 >= int(lines[p].size()) * 6)
                return false;
        }
        return true;
    }

    void split(const QRect &area, std::vector<TextBlock> &out, int depth)
    {
        const QRect rect = inkExtent(area);
        if (rect.isEmpty())
            return;
        if (depth > 12) {
            out.push_back({ rect, {}, {} });
            return;
        }
        const std::vector<Band> lines = bands(rect);
        // One line is never cut across: its wide gaps are between words or cells of one row.
        // (The lines of columns that do not line up merge into one tall band.)
        const bool oneLine = lines.size() < 2 && rect.height() < m_lineHeight * 5 / 2;
        const std::vector<Gutter> found = oneLine ? std::vector<Gutter> {} : gutters(rect);
        // A run of the lines may have gutters of its own, or more than all of them have (a
        // heading above two columns, a title above a table, a footer below it): that run is
        // cut out, and what is above and below it read on its own.
        if (lines.size() >= 2 && lines.size() <= 200) {
            if (const auto run = longestRunWithMoreGutters(rect, lines, found.size())) {
                const int top = lines[run->first].top;
                const int bottom = lines[run->second - 1].bottom;
                split(QRect(rect.left(), rect.top(), rect.width(), top - rect.top()), out, depth + 1);
                split(QRect(rect.left(), top, rect.width(), bottom - top), out, depth + 1);
                split(QRect(rect.left(), bottom, rect.width(), rect.bottom() + 1 - bottom), out, depth + 1);
                return;
            }
        }
        if (!found.empty()) {
            std::vector<QRect> parts;
            int left = rect.left();
            for (const Gutter &gutter : found) {
                parts.emplace_back(left, rect.top(), gutter.left - left, rect.height());
                left = gutter.right;
            }
            parts.emplace_back(left, rect.top(), rect.right() + 1 - left, rect.height());
            // Markers beside their items (numbers, bullets, a prompt's "$") are one flow.
            const bool list = parts.size() == 2 && parts.front().width() <= m_lineHeight * 3;
            if (list) {
                out.push_back({ rect, {}, {} });
                return;
            }
            // Flows stand well apart; a gutter little wider than the gaps between words is
            // one of a table's, or a terminal's columns of monospaced text lining up by chance,
            // read row by row.
            const bool apart = std::all_of(found.begin(), found.end(),
                [&](const Gutter &gutter) { return (gutter.right - gutter.left) * 2 >= m_wordGap * 5; });
            if (!apart || isTable(rect, parts)) {
                TextBlock table { rect, {}, {} };
                for (const Gutter &gutter : found) {
                    table.gutters.emplace_back(gutter.left, gutter.right);
                    for (const auto &[left, right] : gutter.rules)
                        table.rules.emplace_back(left, rect.top(), right - left, rect.height());
                }
                out.push_back(std::move(table));
                return;
            }
            if (m_rightToLeft)
                std::reverse(parts.begin(), parts.end());
            for (const QRect &part : parts)
                split(part, out, depth + 1);
            return;
        }
        out.push_back({ rect, {}, {} });
    }

    const QImage &m_grey;
    int m_threshold = 0;
    bool m_rightToLeft = false;
    int m_lineHeight = 0;
    int m_minimumGutter = 0;
    int m_wordGap = 0;
};

} // namespace

std::vector<TextBlock> textBlocks(const QImage &grey, bool rightToLeft)
{
    if (grey.isNull() || grey.format() != QImage::Format_Grayscale8)
        return {};
    return Layout(grey, rightToLeft).blocks();
}
