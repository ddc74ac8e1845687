#include "TextLineAssembly.h"

#include "ImagePreparation.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + values.size() / 2;
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

bool isPunctuation(QChar c)
{
    return c.isPunct() || c.isSymbol();
}

int lineTop(const RecognizedLine &line)
{
    int top = line.words.front().box.top();
    for (const RecognizedWord &word : line.words)
        top = std::min(top, word.box.top());
    return top;
}

int lineBottom(const RecognizedLine &line)
{
    int bottom = line.words.front().box.bottom();
    for (const RecognizedWord &word : line.words)
        bottom = std::max(bottom, word.box.bottom());
    return bottom;
}

// Ink per column across the rows of one line.
std::vector<int> columnInk(const QImage &grey, int threshold, const RecognizedLine &line)
{
    std::vector<int> ink(grey.width(), 0);
    const int top = std::max(0, lineTop(line));
    const int bottom = std::min(grey.height() - 1, lineBottom(line));
    for (int y = top; y <= bottom; ++y) {
        const uchar *row = grey.constScanLine(y);
        for (int x = 0, width = grey.width(); x < width; ++x)
            ink[x] += row[x] <= threshold ? 1 : 0;
    }
    return ink;
}

double wordHeight(const std::vector<RecognizedLine> &lines)
{
    std::vector<double> heights;
    for (const RecognizedLine &line : lines) {
        for (const RecognizedWord &word : line.words)
            heights.push_back(word.box.height());
    }
    return median(heights);
}

int cellOf(const CharacterGrid &grid, double x)
{
    return int(std::floor((x - grid.origin) / grid.pitch));
}

bool cellInked(const CharacterGrid &grid, int cell, const std::vector<int> &ink)
{
    // The middle of the cell: the edges may carry a neighbour's serif or antialiasing.
    const int from = std::max(0, int(std::ceil(grid.origin + (cell + 0.2) * grid.pitch)));
    const int to = std::min(int(ink.size()) - 1, int(std::floor(grid.origin + (cell + 0.8) * grid.pitch)));
    for (int x = from; x <= to; ++x) {
        if (ink[x] > 0)
            return true;
    }
    return false;
}

// The first and last cell of a word that hold ink: its box may reach into a blank cell.
std::pair<int, int> inkedCells(
    const RecognizedWord &word, const CharacterGrid &grid, const std::vector<int> &ink)
{
    int first = cellOf(grid, word.box.left() + 1);
    int last = cellOf(grid, word.box.right() - 1);
    while (first < last && !cellInked(grid, first, ink))
        ++first;
    while (last > first && !cellInked(grid, last, ink))
        --last;
    return { first, last };
}

// A word of a monospaced line with the spaces inside it put back: the engine sometimes reads
// "x = a" as one word "x=a", but its characters still stand in their cells with an empty
// cell between them. Only when the inked cells match the characters one to one.
QString spacedWord(const RecognizedWord &word, const CharacterGrid &grid, const std::vector<int> &ink)
{
    const QList<uint> characters = word.text.toUcs4();
    const auto [first, last] = inkedCells(word, grid, ink);
    if (last - first + 1 <= characters.size())
        return word.text;
    std::vector<bool> inked;
    int count = 0;
    for (int cell = first; cell <= last; ++cell) {
        inked.push_back(cellInked(grid, cell, ink));
        count += inked.back();
    }
    if (count != characters.size())
        return word.text;
    QString text;
    qsizetype next = 0;
    for (bool cell : inked) {
        if (cell)
            text += QString::fromUcs4(reinterpret_cast<const char32_t *>(&characters[next++]), 1);
        else
            text += QLatin1Char(' ');
    }
    return text;
}

// Monospaced fonts set the zero with a slash or a dot inside, which the models read as "@",
// "®" or "Ø" beside digits ("3@G" for "30G", "®.8"), or as "O" or "Q" in a hexadecimal
// hash ("93fOe6d"). An "@" of an address stays: "root@box", "user1@host", "git@10.0.0.2".
QString withMonospacedZeros(QString word)
{
    const auto digitAt = [&](qsizetype i) { return i >= 0 && i < word.size() && word[i].isDigit(); };
    // Digits alone before it, back to the word's start or a sign: "3@G", but not "user1@host".
    const auto afterNumber = [&](qsizetype i) {
        qsizetype from = i;
        while (from > 0 && word[from - 1].isLetterOrNumber())
            --from;
        return from < i
            && std::all_of(word.begin() + from, word.begin() + i, [](QChar c) { return c.isDigit(); });
    };
    for (qsizetype i = 0; i < word.size(); ++i) {
        const QChar c = word[i];
        const bool beforeFraction = i + 2 < word.size() && word[i + 1] == u'.' && word[i + 2].isDigit();
        const bool slashedOrDotted = c == u'®' || c == u'Ø' || c == u'ø';
        if ((slashedOrDotted && (digitAt(i - 1) || digitAt(i + 1) || beforeFraction))
            || (c == u'@' && (afterNumber(i) || beforeFraction)))
            word[i] = u'0';
    }
    // A hash: lower-case hexadecimal throughout but for the misread zeros, with digits among.
    if (word.size() >= 7 && word.size() <= 64) {
        int digits = 0, zeros = 0;
        const bool hash = std::all_of(word.begin(), word.end(), [&](QChar c) {
            digits += c.isDigit() ? 1 : 0;
            zeros += c == u'O' || c == u'Q' ? 1 : 0;
            return c.isDigit() || (c >= u'a' && c <= u'f') || c == u'O' || c == u'Q';
        });
        if (hash && digits >= 2 && zeros > 0) {
            for (QChar &c : word) {
                if (c == u'O' || c == u'Q')
                    c = u'0';
            }
        }
    }
    return word;
}

// The rows of a cell's character, between the line's top and bottom with a little room: the
// longest run of inked rows that reaches into the line, so that a descender of the line above
// does not count.
std::optional<std::pair<int, int>> cellRows(
    const QImage &grey, int threshold, const CharacterGrid &grid, int cell, int top, int bottom)
{
    const int from = std::max(0, int(std::ceil(grid.origin + (cell + 0.15) * grid.pitch)));
    const int to = std::min(grey.width() - 1, int(std::floor(grid.origin + (cell + 0.85) * grid.pitch)));
    const int room = (bottom - top) / 5;
    std::optional<std::pair<int, int>> longest, run;
    for (int y = std::max(0, top - room); y <= std::min(grey.height() - 1, bottom + room); ++y) {
        const uchar *row = grey.constScanLine(y);
        const bool inked
            = std::any_of(row + from, row + to + 1, [&](uchar grey) { return grey <= threshold; });
        if (!inked) {
            run.reset();
            continue;
        }
        run = std::pair { run ? run->first : y, y };
        if (y >= top && (!longest || run->second - run->first > longest->second - longest->first))
            longest = run;
    }
    return longest;
}

// The words of a monospaced line, with the rows of each character that has a cell of its own.
struct PlacedLine {
    std::vector<QString> texts;
    std::vector<std::vector<std::optional<std::pair<int, int>>>> rows;
    std::optional<double> baseline;
};

// In a monospaced block every character stands in its cell, so what the models confuse by
// shape alone is told by where it stands: "x" from "X" ("-rwxr-xr-X") by whether it reaches
// the capitals' top, "Maria" from "maria" by whether its capital does, "." from "-"
// (".parse()" read "-parse()") by whether it sits on the baseline. The heights are the
// block's, each line's baseline its own.
void placeByHeight(std::vector<PlacedLine> &lines)
{
    static const QString small = QStringLiteral("acemnorsuvwxz");
    // Small letters alike in both cases but for their size; any capital of a small letter
    // that stands no taller than the small letters ("Maria" at the start of a line) is one.
    static const QString lowerCased = QStringLiteral("cosvwxz"), upperCased = QStringLiteral("ACEMNORSUVWXZ");
    const auto smallLetter = [](QChar c) { return small.contains(c); };
    const auto capital = [](QChar c) { return (c.isUpper() && c != u'Q' && c != u'J') || c.isDigit(); };
    std::vector<double> xHeights, capitalHeights;
    for (PlacedLine &line : lines) {
        std::vector<double> bottoms;
        for (size_t w = 0; w < line.texts.size(); ++w) {
            for (qsizetype k = 0; k < line.texts[w].size(); ++k) {
                if (line.rows[w][k] && (smallLetter(line.texts[w][k]) || capital(line.texts[w][k])))
                    bottoms.push_back(line.rows[w][k]->second);
            }
        }
        if (bottoms.size() < 3)
            continue;
        line.baseline = median(bottoms);
        for (size_t w = 0; w < line.texts.size(); ++w) {
            for (qsizetype k = 0; k < line.texts[w].size(); ++k) {
                if (!line.rows[w][k])
                    continue;
                const double height = *line.baseline - line.rows[w][k]->first;
                if (smallLetter(line.texts[w][k]))
                    xHeights.push_back(height);
                else if (capital(line.texts[w][k]))
                    capitalHeights.push_back(height);
            }
        }
    }
    if (xHeights.size() < 3 || capitalHeights.size() < 3)
        return;
    const double xHeight = median(xHeights), capitalHeight = median(capitalHeights);
    // Below about 10 pixels of x-height (type under 11 px on the screen, enlarged) a pixel up
    // or down is a third of the difference.
    if (xHeight < 10 || capitalHeight - xHeight < std::max(2.0, xHeight * 0.12))
        return;
    for (PlacedLine &line : lines) {
        if (!line.baseline)
            continue;
        for (size_t w = 0; w < line.texts.size(); ++w) {
            for (qsizetype k = 0; k < line.texts[w].size(); ++k) {
                QChar &c = line.texts[w][k];
                const auto &rows = line.rows[w][k];
                const bool lower = lowerCased.contains(c), upper = upperCased.contains(c);
                if (!rows || (!lower && !upper && c != u'-'))
                    continue;
                const double height = *line.baseline - rows->first;
                const bool reachesCapitals = capitalHeight - height < height - xHeight;
                if (lower && reachesCapitals)
                    c = c.toUpper();
                else if (upper && !reachesCapitals)
                    c = c.toLower();
                else if (c == u'-' && rows->second >= *line.baseline - xHeight * 0.15
                    && rows->second - rows->first <= xHeight * 0.4)
                    c = u'.';
            }
        }
    }
}

// A capital "I" standing alone is often read as "|" ("Thursday. | moved"). The bar of a pipe
// reaches below the baseline in every common font; one that stands on it is an "I".
QString withCapitalI(const RecognizedLine &line, size_t w)
{
    const RecognizedWord &word = line.words[w];
    if (word.text != u"|")
        return word.text;
    static const QString descending = QStringLiteral("gjpqyJQ,;()[]{}|/@$_");
    std::vector<double> bottoms;
    for (size_t other = 0; other < line.words.size(); ++other) {
        const QString &text = line.words[other].text;
        if (other != w && std::any_of(text.begin(), text.end(), [](QChar c) { return c.isLetterOrNumber(); })
            && std::none_of(text.begin(), text.end(), [](QChar c) { return descending.contains(c); }))
            bottoms.push_back(line.words[other].box.bottom());
    }
    if (bottoms.size() < 2)
        return word.text;
    return word.box.bottom() <= median(bottoms) + std::max(1.0, word.box.height() * 0.06)
        ? QStringLiteral("I")
        : word.text;
}

// Japanese and Chinese text sets its punctuation in full-width cells, which the models read
// as the ASCII mark ("?" for "？"): a mark after such a character, with the blank of a
// full-width cell before it, is given its full-width form.
QString withFullWidthPunctuation(const RecognizedWord &left, const RecognizedWord &right, double height)
{
    static const QString marks = QStringLiteral("?!:;,()");
    const QChar before = left.text.isEmpty() ? QChar() : left.text.back();
    const bool hanOrKana = before.script() == QChar::Script_Han || before.script() == QChar::Script_Hiragana
        || before.script() == QChar::Script_Katakana;
    if (!hanOrKana || right.text.size() != 1 || !marks.contains(right.text.front())
        || right.box.left() - left.box.right() - 1 < height * 0.2)
        return right.text;
    return QString(QChar(right.text.front().unicode() - 0x21 + 0xff01));
}

bool isHangul(QChar c)
{
    return c.script() == QChar::Script_Hangul;
}

// `height` is the type's size from the line's words; `lineHeight` the height of the whole line
// (its words' median top to median bottom), which for East Asian type is its em: the engine's
// boxes of small kana, of "ー" and of "、" are far lower than the characters' cells.
// The widest run of blank columns in rows [top, bottom] between x = from and x = to.
int inkGap(const QImage &grey, int threshold, int top, int bottom, int from, int to)
{
    top = std::max(0, top);
    bottom = std::min(grey.height() - 1, bottom);
    from = std::max(0, from);
    to = std::min(grey.width() - 1, to);
    int widest = 0, run = 0;
    for (int x = from; x <= to; ++x) {
        bool blank = true;
        for (int y = top; y <= bottom && blank; ++y)
            blank = grey.constScanLine(y)[x] > threshold;
        run = blank ? run + 1 : 0;
        widest = std::max(widest, run);
    }
    return widest;
}

// Where the engine's boxes of two words meet: the middles of the last character of the one
// and the first of the other.
std::pair<int, int> facingMiddles(const RecognizedWord &left, const RecognizedWord &right)
{
    const QRect last = left.symbols.empty() ? left.box : left.symbols.back();
    const QRect first = right.symbols.empty() ? right.box : right.symbols.front();
    return { last.center().x(), first.center().x() };
}

// `inkGap` is the blank in the ink between two words beside East Asian text, when it was
// measured: the engine's boxes of single syllables and characters are loose.
// `wordGap` is where Korean word gaps begin, as a share of the line's height.
int proportionalSpaces(const RecognizedWord &left, const RecognizedWord &right, double height,
    double lineHeight, int inkGap, double wordGap)
{
    const int gap = inkGap >= 0 ? inkGap : right.box.left() - left.box.right() - 1;
    const QChar before = left.text.isEmpty() ? QChar() : left.text.back();
    const QChar after = right.text.isEmpty() ? QChar() : right.text.front();
    if (isHangul(before) || isHangul(after)) {
        return gap >= lineHeight * wordGap ? 1 : 0;
    }
    if (isEastAsian(before) && isEastAsian(after)) {
        // Japanese and Chinese put no spaces between their characters: a gap is the blank of
        // a narrow character's cell, or of one beside "、" or "？". Only text set well apart
        // (two labels, two buttons) is kept apart.
        return gap >= lineHeight * 1.5 ? 1 : 0;
    }
    // Otherwise the engine's word breaks stand (a Latin word among East Asian characters keeps
    // the spaces drawn around it), except beside punctuation, where a gap narrower than a
    // space is the dot of "www.example.org" or the slash of a path (a space is about a third
    // of the type's size, the gap beside a dot a tenth).
    if (isEastAsian(before) || isEastAsian(after)) {
        const QChar other = isEastAsian(before) ? after : before;
        return !isPunctuation(other) && gap >= lineHeight * 0.2 ? 1 : 0;
    }
    const bool besidePunctuation = isPunctuation(before) || isPunctuation(after);
    return besidePunctuation && gap < height * 0.2 ? 0 : 1;
}

} // namespace

namespace {

std::optional<CharacterGrid> fitGrid(
    const QImage &grey, const std::vector<RecognizedLine> &lines, int threshold, double agreement)
{
    const double height = wordHeight(lines);
    if (height < 6)
        return std::nullopt;
    struct Line {
        std::vector<int> ink;
        std::vector<std::pair<int, int>> words;
        const RecognizedLine *line = nullptr;
    };
    std::vector<Line> measured;
    double inkInside = 0;
    int columnsInside = 0;
    int characters = 0;
    int wordCount = 0;
    for (const RecognizedLine &line : lines) {
        if (line.words.empty())
            continue;
        Line m { columnInk(grey, threshold, line), {}, &line };
        for (const RecognizedWord &word : line.words) {
            if (isEastAsian(word.text.front()))
                return std::nullopt; // full-width characters: no Latin cells to count
            m.words.push_back({ std::max(0, word.box.left()), std::min(grey.width() - 1, word.box.right()) });
            for (int x = m.words.back().first; x <= m.words.back().second; ++x)
                inkInside += m.ink[x];
            columnsInside += m.words.back().second - m.words.back().first + 1;
            characters += int(word.text.toUcs4().size());
            ++wordCount;
        }
        measured.push_back(std::move(m));
    }
    if (characters < 6 || columnsInside == 0 || inkInside == 0)
        return std::nullopt;
    const double meanInk = inkInside / columnsInside;

    // In a monospaced font every character has a cell of the same width, and the borders of
    // the cells, inside a word too, are where its glyphs leave their side bearings blank. In
    // proportional text no one grid finds blank columns at every border.
    // Twice the pitch fits as well as the pitch itself: of the grids that fit about as well
    // as the best, the finest is taken.
    // Most ink at a border that still counts as blank, against the mean ink of the words.
    constexpr double blankBorders = 0.25;
    std::vector<std::pair<double, CharacterGrid>> fits; // score, grid: the best per pitch
    for (double pitch = height * 0.3; pitch <= height * 1.1; pitch += 0.05) {
        std::pair<double, CharacterGrid> fit { 1e9, {} };
        // A grid whose borders have taken in more ink than all of them may hold is given up
        // at once: no grid of proportional text, and few wrong ones, get far.
        double mostBorders = 0;
        for (const Line &line : measured) {
            for (const auto &[left, right] : line.words)
                mostBorders += std::floor((right - left - 1) / pitch) + 1;
        }
        const double mostInk = blankBorders * meanInk * mostBorders;
        for (double origin = 0; origin < pitch; origin += 0.25) {
            double sum = 0;
            int borders = 0;
            for (const Line &line : measured) {
                for (const auto &[left, right] : line.words) {
                    const double firstBorder = origin + std::ceil((left + 1 - origin) / pitch) * pitch;
                    for (double border = firstBorder; border < right; border += pitch) {
                        sum += line.ink[int(border + 0.5)];
                        ++borders;
                    }
                }
                if (sum > mostInk)
                    break;
            }
            if (sum > mostInk)
                continue;
            // One cell per character: a grid of double cells is no fit (half cells fit
            // badly anyway, their borders cut through the glyphs).
            const int expected = characters - wordCount;
            if (borders < 5 || borders * 10 < expected * 7)
                continue;
            const double score = sum / borders / meanInk;
            if (score < fit.first)
                fit = { score, CharacterGrid { pitch, origin } };
        }
        fits.push_back(fit);
    }
    double lowest = 1e9;
    for (const auto &fit : fits)
        lowest = std::min(lowest, fit.first);
    // A grid is the font's only when it gives each character of the words one inked cell:
    // proportional text can leave blank columns at a grid's borders too, but then its "i"s
    // and "m"s take a fraction of a cell or more than one.
    const auto countsAgree = [&](const CharacterGrid &grid) {
        int words = 0, agreeing = 0;
        for (const Line &line : measured) {
            for (const RecognizedWord &word : line.line->words) {
                const qsizetype length = word.text.toUcs4().size();
                if (length < 2)
                    continue;
                ++words;
                const auto [first, last] = inkedCells(word, grid, line.ink);
                int inked = 0;
                for (int cell = first; cell <= last; ++cell)
                    inked += cellInked(grid, cell, line.ink);
                agreeing += inked == length;
            }
        }
        return words > 0 && agreeing >= words * agreement;
    };
    std::optional<CharacterGrid> best;
    for (const auto &fit : fits) {
        if (fit.first <= blankBorders && fit.first <= lowest + 0.05 && countsAgree(fit.second)) {
            best = fit.second;
            best->inkThreshold = threshold;
            break;
        }
    }
    return best;
}

// The line's words' extent across, and their median top and bottom: the engine's box of a
// word may reach into the next line where lines stand close.
QRect lineBox(const RecognizedLine &line)
{
    QRect box;
    std::vector<double> tops, bottoms;
    for (const RecognizedWord &word : line.words) {
        box = box.united(word.box);
        tops.push_back(word.box.top());
        bottoms.push_back(word.box.bottom());
    }
    if (line.words.empty())
        return box;
    return QRect(QPoint(box.left(), int(median(tops))), QPoint(box.right(), int(median(bottoms))));
}

double meanConfidence(const RecognizedLine &line)
{
    double sum = 0;
    for (const RecognizedWord &word : line.words)
        sum += word.confidence;
    return line.words.empty() ? 0 : sum / double(line.words.size());
}

// The engine sometimes reads the upper strokes of an East Asian line once more as a line of
// its own, of a few doubtful characters. Two lines cannot share their rows and columns:
// of two that do, the surer one is kept.
// The engine's box of a word's last glyph now and then runs on over the next word (")" of
// "(a+b)" reaching past "*"): the word then seems to hold the next one's ink, and the blanks
// between its characters cannot be counted. A word ends where the next begins.
RecognizedLine withinNeighbours(RecognizedLine line)
{
    for (size_t w = 0; w + 1 < line.words.size(); ++w) {
        RecognizedWord &word = line.words[w];
        const int next = line.words[w + 1].box.left();
        if (word.box.right() < next || word.box.left() >= next)
            continue;
        word.box.setRight(next - 1);
        for (QRect &symbol : word.symbols) {
            if (symbol.right() >= next && symbol.left() < next)
                symbol.setRight(next - 1);
        }
    }
    return line;
}

std::vector<RecognizedLine> withoutOverlappingLines(const std::vector<RecognizedLine> &lines)
{
    std::vector<bool> dropped(lines.size(), false);
    for (size_t i = 0; i < lines.size(); ++i) {
        for (size_t j = 0; j < lines.size(); ++j) {
            if (i == j || dropped[j] || lines[i].words.empty() || lines[j].words.empty())
                continue;
            const QRect a = lineBox(lines[i]), b = lineBox(lines[j]);
            const QRect common = a.intersected(b);
            if (common.isEmpty() || common.height() * 2 < std::min(a.height(), b.height())
                || common.width() * 2 < std::min(a.width(), b.width()))
                continue;
            const double ci = meanConfidence(lines[i]), cj = meanConfidence(lines[j]);
            if (ci < cj || (ci == cj && i > j))
                dropped[i] = true;
        }
    }
    std::vector<RecognizedLine> kept;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!dropped[i])
            kept.push_back(withinNeighbours(lines[i]));
    }
    return kept;
}

} // namespace

bool isEastAsian(QChar c)
{
    const QChar::Script script = c.script();
    // The kana blocks whole: "ー" and "・" are of no script of their own.
    return script == QChar::Script_Han || script == QChar::Script_Hiragana || script == QChar::Script_Katakana
        || script == QChar::Script_Hangul || (c.unicode() >= 0x3000 && c.unicode() <= 0x30ff)
        || (c.unicode() >= 0xff00 && c.unicode() <= 0xffef);
}

std::optional<CharacterGrid> findCharacterGrid(const QImage &grey, const std::vector<RecognizedLine> &lines)
{
    if (grey.isNull())
        return std::nullopt;
    // The whole ink first, where one misread word must not hide the grid; then only the
    // core of the strokes, as the antialiased fringe of small type fills the blank columns
    // between its glyphs, with the stricter check that proportional text then needs.
    if (auto grid = fitGrid(grey, lines, inkThreshold(grey), 0.5))
        return grid;
    return fitGrid(grey, lines, inkThreshold(grey) * 2 / 3, 0.75);
}

std::vector<TextObservation> assembleLines(const std::vector<RecognizedLine> &readLines, const QImage &grey,
    const std::vector<std::pair<int, int>> &gutters, std::optional<int> indentFrom)
{
    const std::vector<RecognizedLine> lines = withoutOverlappingLines(readLines);
    const std::optional<CharacterGrid> grid = findCharacterGrid(grey, lines);
    // In a monospaced block: each line's ink, and the cells its words hold.
    std::vector<std::vector<int>> ink(lines.size());
    std::vector<std::vector<std::pair<int, int>>> cells(lines.size());
    std::optional<int> leftmostCell; // indentation counts against the leftmost line
    if (grid) {
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].words.empty())
                continue;
            ink[i] = columnInk(grey, grid->inkThreshold, lines[i]);
            for (const RecognizedWord &word : lines[i].words)
                cells[i].push_back(inkedCells(word, *grid, ink[i]));
            leftmostCell = std::min(leftmostCell.value_or(cells[i].front().first), cells[i].front().first);
        }
        if (leftmostCell && indentFrom)
            leftmostCell = std::min(*leftmostCell, std::max(0, cellOf(*grid, *indentFrom + 1)));
    }
    const double height = wordHeight(lines);
    std::vector<double> lineHeights;
    for (const RecognizedLine &line : lines)
        lineHeights.push_back(line.words.empty() ? 0.0 : double(lineBox(line).height()));
    const double typicalLineHeight = median(lineHeights);
    // The gutters that lie between x = from and x = to.
    const auto guttersBetween = [&](int from, int to) {
        return int(std::count_if(gutters.begin(), gutters.end(), [&](const std::pair<int, int> &gutter) {
            const int middle = (gutter.first + gutter.second) / 2;
            return middle > from && middle < to;
        }));
    };
    const bool tableCells = !grid && !gutters.empty();
    const int threshold = grey.isNull() ? 0 : inkThreshold(grey);
    const auto eastAsianGap
        = [&](const RecognizedWord &left, const RecognizedWord &right, const RecognizedLine &line) {
              const bool eastAsian = (!left.text.isEmpty() && isEastAsian(left.text.back()))
                  || (!right.text.isEmpty() && isEastAsian(right.text.front()));
              if (!eastAsian || grey.isNull())
                  return -1;
              const QRect box = lineBox(line);
              const auto [from, to] = facingMiddles(left, right);
              return inkGap(grey, threshold, box.top(), box.bottom(), from, to);
          };

    // The line's words' median top and bottom: one loose box may span two lines; and a line
    // is taken for no larger than the block's lines are, give or take a little.
    const auto heightOf = [&](const RecognizedLine &line) {
        return std::min(double(lineBox(line).height()), typicalLineHeight * 1.1);
    };
    // Korean puts spaces between words, about a third of the type's size, and the blank
    // between the syllables of a word is a fifth at most; but at screen sizes the two come
    // within a pixel or two, so they are told apart by the widest step between the blanks of
    // the block, where there are enough of them.
    std::vector<double> koreanGaps;
    for (const RecognizedLine &line : lines) {
        for (size_t w = 1; w < line.words.size(); ++w) {
            const QString &left = line.words[w - 1].text, &right = line.words[w].text;
            if ((!left.isEmpty() && isHangul(left.back())) || (!right.isEmpty() && isHangul(right.front())))
                koreanGaps.push_back(eastAsianGap(line.words[w - 1], line.words[w], line) / heightOf(line));
        }
    }
    double koreanWordGap = 0.28;
    std::sort(koreanGaps.begin(), koreanGaps.end());
    if (koreanGaps.size() >= 6) {
        double widestStep = 0.04;
        for (size_t g = 1; g < koreanGaps.size(); ++g) {
            const double step = koreanGaps[g] - koreanGaps[g - 1];
            // A syllable gap below the step; a word gap above it, which some fonts set at
            // twice that (0.3 and 0.6 of the type), but not a gap far beyond every word gap.
            if (koreanGaps[g - 1] >= 0.12 && koreanGaps[g - 1] <= 0.4
                && koreanGaps[g] <= 2 * koreanGaps[g - 1] && step > widestStep) {
                widestStep = step;
                koreanWordGap = (koreanGaps[g] + koreanGaps[g - 1]) / 2;
            }
        }
    }

    // A monospaced block's words with their spaces put back, their characters placed in cells.
    std::vector<PlacedLine> placed(lines.size());
    if (grid) {
        for (size_t i = 0; i < lines.size(); ++i) {
            for (size_t w = 0; w < lines[i].words.size(); ++w) {
                const QString text = withMonospacedZeros(spacedWord(lines[i].words[w], *grid, ink[i]));
                const auto [first, last] = cells[i][w];
                const bool ownCells = text.size() == last - first + 1;
                std::vector<std::optional<std::pair<int, int>>> rows(text.size());
                for (qsizetype k = 0; k < text.size() && ownCells; ++k) {
                    if (!text[k].isSpace())
                        rows[k] = cellRows(grey, grid->inkThreshold, *grid, first + int(k), lineTop(lines[i]),
                            lineBottom(lines[i]));
                }
                placed[i].texts.push_back(text);
                placed[i].rows.push_back(std::move(rows));
            }
        }
        placeByHeight(placed);
    }

    std::vector<TextObservation> observations;
    for (size_t i = 0; i < lines.size(); ++i) {
        const RecognizedLine &line = lines[i];
        if (line.words.empty())
            continue;
        const double lineHeight = heightOf(line);
        QString text;
        if (grid)
            text.fill(QLatin1Char(' '), cells[i].front().first - *leftmostCell);
        else if (tableCells)
            text.fill(QLatin1Char('\t'),
                guttersBetween(std::numeric_limits<int>::min(), line.words.front().box.left()));
        std::vector<WordConfidence> confidences;
        for (size_t w = 0; w < line.words.size(); ++w) {
            const RecognizedWord &word = line.words[w];
            if (w > 0) {
                const int tabs
                    = tableCells ? guttersBetween(line.words[w - 1].box.right(), word.box.left()) : 0;
                const int spaces = grid ? std::max(0, cells[i][w].first - cells[i][w - 1].second - 1)
                    : tabs > 0          ? 0
                                        : proportionalSpaces(line.words[w - 1], word, height, lineHeight,
                                            eastAsianGap(line.words[w - 1], word, line), koreanWordGap);
                text += QString(tabs, QLatin1Char('\t')) + QString(spaces, QLatin1Char(' '));
            }
            const QString spaced = grid      ? placed[i].texts[w]
                : w > 0 && word.text != u"|" ? withFullWidthPunctuation(line.words[w - 1], word, height)
                                             : withCapitalI(line, w);
            confidences.push_back({ text.size(), spaced.size(), word.confidence });
            text += spaced;
        }
        if (text.trimmed().isEmpty())
            continue;
        observations.push_back({ QStringList { text }, std::move(confidences) });
    }
    return observations;
}
