#include "JunkLines.h"

#include "RecognitionLogging.h"
#include "ScriptDetection.h"

#include <algorithm>
#include <cstring>

std::vector<bool> junkLines(const QImage &grey, int background, const std::vector<RecognizedLine> &lines)
{
    // What the engine reads in an icon, a photo or a filled shape is a line of doubtful words
    // ("Goggo", "\\ ©)") over an area mostly ink, where a line of text, however doubtful its
    // words (code, addresses: "www. example. com" at 0.18), leaves most of its box blank; and a
    // line of a character or two (a lone "@") must be quite sure. Such lines are dropped, so
    // a selection without text falls through to its codes or to "no text".
    const auto inkShare = [&](const RecognizedLine &line) {
        QRect box;
        for (const RecognizedWord &word : line.words)
            box = box.united(word.box);
        box = box.intersected(grey.rect());
        qint64 inked = 0;
        for (int y = box.top(); y <= box.bottom(); ++y) {
            const uchar *row = grey.constScanLine(y);
            for (int x = box.left(); x <= box.right(); ++x)
                inked += isInk(row[x], background) ? 1 : 0;
        }
        return box.isEmpty() ? 0.0 : double(inked) / (double(box.width()) * box.height());
    };
    // The median height of a line's words.
    const auto wordHeight = [](const RecognizedLine &line) {
        if (line.words.empty())
            return 0;
        std::vector<int> heights;
        for (const RecognizedWord &word : line.words)
            heights.push_back(word.box.height());
        std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
        return heights[heights.size() / 2];
    };
    // Nor is a doubtful line whose box holds almost no ink (tiles of icons read as "a eeese"
    // across the whole image), nor one whose letters are as wide as they are tall: those are
    // icons, read a shape at a time (a magnifier and a gear as "Q=HOR"). The letters of text
    // take half as many inked columns as the line is tall, East Asian characters, counted as
    // two, too; the blanks of spaces the engine left out of a word do not count.
    const auto widthPerCharacter = [&](const RecognizedLine &line) {
        double width = 0;
        double units = 0;
        for (const RecognizedWord &word : line.words) {
            const QRect box = word.box.intersected(grey.rect());
            for (int x = box.left(); x <= box.right(); ++x) {
                bool inked = false;
                for (int y = box.top(); y <= box.bottom() && !inked; ++y)
                    inked = isInk(grey.constScanLine(y)[x], background);
                width += inked ? 1 : 0;
            }
            for (QChar c : word.text)
                units += c.isSpace() ? 0 : isEastAsian(c) ? 2 : 1;
        }
        if (units == 0)
            return 0.0;
        return width / units / std::max(1, wordHeight(line));
    };
    // Tiny text (8 px) is dense and its letters nearly touch, so a doubtful line of it can look
    // like an icon's by its ink. It is told by its neighbours: in a selection of mostly sure
    // lines, a line as tall as they are, starting where one of them starts, is more of the text.
    std::vector<const RecognizedLine *> sure;
    const auto amongSureLines = [&](const RecognizedLine &line) {
        const int height = wordHeight(line);
        const int left = line.words.front().box.left();
        return sure.size() * 2 >= lines.size()
            && std::any_of(sure.begin(), sure.end(), [&](const RecognizedLine *other) {
                   const int otherHeight = wordHeight(*other);
                   return std::abs(height - otherHeight) * 5 <= otherHeight
                       && std::abs(other->words.front().box.left() - left) * 2 <= otherHeight;
               });
    };
    std::vector<bool> junk(lines.size(), false);
    std::vector<bool> doubtful(lines.size(), false);
    for (size_t l = 0; l < lines.size(); ++l) {
        const RecognizedLine &line = lines[l];
        float best = 0;
        qsizetype characters = 0;
        bool brackets = true; // "}" or ");" closing a block of code
        for (const RecognizedWord &word : line.words) {
            best = std::max(best, word.confidence);
            characters += word.text.size();
            brackets = brackets && std::all_of(word.text.begin(), word.text.end(), [](QChar c) {
                return QStringLiteral("{}()[];,").contains(c);
            });
        }
        const double ink = inkShare(line);
        const bool fewCharacters = characters <= 2 && !brackets && best < 0.7f;
        const bool shapedLikeJunk
            = best < 0.5f && (ink >= 0.6 || ink < 0.04 || widthPerCharacter(line) >= 0.75);
        junk[l] = fewCharacters || shapedLikeJunk;
        doubtful[l] = !fewCharacters && shapedLikeJunk && characters >= 4;
        if (best >= 0.7f && characters >= 4)
            sure.push_back(&line);
    }
    for (size_t l = 0; l < lines.size(); ++l) {
        if (doubtful[l] && amongSureLines(lines[l]))
            junk[l] = false;
    }
    return junk;
}

bool holdsText(const std::vector<RecognizedLine> &lines, const std::vector<bool> &junk)
{
    // Nor is a handful of doubtful characters in all ("Sie 5" from a code's modules) text; a
    // sure word, or many doubtful characters (a small address), is.
    qsizetype characters = 0;
    bool sure = false;
    for (size_t l = 0; l < lines.size(); ++l) {
        for (const RecognizedWord &word : lines[l].words) {
            characters += junk[l] ? 0 : word.text.size();
            sure = sure || (!junk[l] && word.confidence >= 0.5f);
        }
    }
    return sure || characters >= 6;
}

bool hasInkOutside(const QImage &grey, int background, const std::vector<RecognizedLine> &lines,
    const std::vector<bool> &junk)
{
    std::vector<uchar> covered(size_t(grey.width()) * size_t(grey.height()), 0);
    qint64 inked = 0;
    for (size_t l = 0; l < lines.size(); ++l) {
        if (junk[l])
            continue;
        for (const RecognizedWord &word : lines[l].words) {
            const QRect box = word.box.adjusted(-2, -2, 2, 2).intersected(grey.rect());
            for (int y = box.top(); y <= box.bottom(); ++y)
                std::memset(covered.data() + size_t(y) * size_t(grey.width()) + size_t(box.left()), 1,
                    size_t(box.width()));
        }
    }
    qint64 outside = 0;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *row = grey.constScanLine(y);
        const uchar *mask = covered.data() + size_t(y) * size_t(grey.width());
        for (int x = 0; x < grey.width(); ++x) {
            if (isInk(row[x], background)) {
                ++inked;
                outside += mask[x] ? 0 : 1;
            }
        }
    }
    qCDebug(lcRecognition, "ink outside the words read: %lld of %lld pixels", qlonglong(outside),
        qlonglong(inked));
    return outside > 200 && outside * 50 > inked;
}
