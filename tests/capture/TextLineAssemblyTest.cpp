#include "capture/TextLineAssembly.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstring>

// Spaces and punctuation of proportional lines from where the words stand (boxes in pixels,
// type about 14 px high; a blank image, so no monospaced grid).
TEST(TextLineAssembly, SpacesFollowTheGapsAndTheScript)
{
    const auto word = [](const char *text, int left, int right) {
        return RecognizedWord { QString::fromUtf8(text), QRect(QPoint(left, 2), QPoint(right, 15)), {},
            0.9f };
    };
    const struct {
        const char *name;
        std::vector<RecognizedWord> words;
        const char *expected;
    } cases[] = {
        { "Japanese has no spaces; its question mark sits in a full-width cell",
            { word("保存", 0, 27), word("しますか", 31, 86), word("?", 93, 100) }, "保存しますか？" },
        { "a narrow character's blank cell is no space", { word("設定", 0, 27), word("開く", 42, 69) },
            "設定開く" },
        { "labels set well apart stay apart", { word("保存", 0, 27), word("閉じる", 52, 92) },
            "保存 閉じる" },
        { "a Latin word among Japanese keeps its spaces",
            { word("この", 0, 27), word("Wi-Fi", 32, 70), word("は", 75, 88) }, "この Wi-Fi は" },
        { "Korean syllables close together are one word", { word("저", 0, 12), word("장되었습니다", 14, 88) },
            "저장되었습니다" },
        { "Korean spaces its words", { word("화면의", 0, 41), word("글자를", 47, 88) }, "화면의 글자를" },
        { "Korean word gaps a pixel wider than the syllables' are told apart",
            { word("회", 0, 11), word("의", 16, 27), word("자", 33, 44), word("료", 49, 60),
                word("는", 65, 76), word("공", 82, 93), word("유", 98, 109) },
            "회의 자료는 공유" },
        { "Korean set with word gaps twice its syllables' still joins the syllables",
            { word("설", 0, 11), word("정", 16, 27), word("이", 31, 42), word("쉬", 50, 61),
                word("웠", 66, 77), word("습", 81, 92), word("니", 97, 108), word("다", 112, 123),
                word("아", 131, 142), word("주", 147, 158) },
            "설정이 쉬웠습니다 아주" },
        { "a half-width mark after Japanese stays", { word("はい", 0, 27), word(":", 28, 30) }, "はい:" },
        { "no space after the dot of a domain", { word("www.", 0, 30), word("example.org", 32, 110) },
            "www.example.org" },
        { "a space between words", { word("Save", 0, 30), word("changes", 35, 90) }, "Save changes" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        // Each word's ink fills its box: the gaps beside East Asian text are measured in the ink.
        QImage image(200, 20, QImage::Format_Grayscale8);
        image.fill(255);
        for (const RecognizedWord &word : c.words) {
            for (int y = word.box.top(); y <= word.box.bottom(); ++y)
                std::memset(image.scanLine(y) + word.box.left(), 0, size_t(word.box.width()));
        }
        const auto observations = assembleLines({ RecognizedLine { c.words } }, image);
        ASSERT_EQ(observations.size(), 1u);
        EXPECT_EQ(observations.front().topCandidates.value(0).toStdString(), c.expected);
        // Each word's confidence stays with it, at the word's place in the text.
        ASSERT_EQ(observations.front().wordConfidences.size(), c.words.size());
        EXPECT_EQ(observations.front().wordConfidences.back().start
                + observations.front().wordConfidences.back().length,
            observations.front().topCandidates.value(0).size());
    }
}

// A monospaced block as the engine misreads it, each word's box over the cells given: what
// the cells show mends the spaces, the zeros, the case and the dots.
TEST(TextLineAssembly, MonospacedLinesAreMendedByWhereTheirCharactersStand)
{
    struct Read {
        const char *text;
        int firstCell, endCell;
    };
    const struct {
        const char *drawn;
        std::vector<Read> read; // mended, it reads as drawn
    } lines[] = {
        { "-rwxr-xr-x 1 maria maria 512 run.sh",
            { { "-rwxr-xr-X", 0, 10 }, { "1", 11, 12 }, { "Maria", 13, 18 }, { "maria", 19, 24 },
                { "512", 25, 28 }, { "run.sh", 29, 35 } } },
        { "a07bb31 Add a CHECK",
            { { "aQ7bb31", 0, 7 }, { "Add", 8, 11 }, { "a", 12, 13 }, { "CHECK", 14, 19 } } },
        { "    .parse()", { { "-parse()", 4, 12 } } },
        { "30G used, load 0.8",
            { { "3@G", 0, 3 }, { "used,", 4, 9 }, { "load", 10, 14 }, { "®.8", 15, 18 } } },
        { "root@box user1@host", { { "root@box", 0, 8 }, { "user1@host", 9, 19 } } },
        // The box of ")" running on over "*".
        { "x = (a + b) * c", { { "x=", 0, 3 }, { "(a+b)", 4, 13 }, { "*c", 12, 15 } } },
    };
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(28);
    const QFontMetricsF metrics(font);
    const int lineHeight = int(metrics.height()) + 8;
    QImage image(int(metrics.horizontalAdvance(QLatin1Char('x'))) * 40,
        lineHeight * int(std::size(lines)) + 10, QImage::Format_Grayscale8);
    image.fill(255);
    QPainter painter(&image);
    painter.setFont(font);
    std::vector<RecognizedLine> read;
    for (size_t l = 0; l < std::size(lines); ++l) {
        const int top = 5 + int(l) * lineHeight;
        const QString drawn = QString::fromUtf8(lines[l].drawn);
        painter.drawText(QPointF(10, top + metrics.ascent()), drawn);
        const auto cellLeft
            = [&](int cell) { return 10 + int(std::lround(metrics.horizontalAdvance(drawn.left(cell)))); };
        RecognizedLine line;
        for (const Read &word : lines[l].read) {
            line.words.push_back({ QString::fromUtf8(word.text),
                QRect(QPoint(cellLeft(word.firstCell), top),
                    QPoint(cellLeft(word.endCell) - 1, top + int(metrics.height()) - 1)),
                {}, 0.9f });
        }
        read.push_back(line);
    }
    painter.end();

    const auto observations = assembleLines(read, image);
    QStringList texts;
    for (const TextObservation &observation : observations)
        texts << observation.topCandidates.value(0);
    ASSERT_EQ(texts.size(), qsizetype(std::size(lines))) << texts.join(u'\n').toStdString();
    for (size_t l = 0; l < std::size(lines); ++l)
        EXPECT_EQ(texts[qsizetype(l)].toStdString(), lines[l].drawn);
}

// "I" alone is read as "|"; a pipe reaches below the baseline, an "I" stands on it. The boxes
// are the ink's, as the engine gives them.
TEST(TextLineAssembly, ABarOnTheBaselineIsAnI_APipeStays)
{
    const struct {
        const char *drawn;
        std::vector<const char *> read;
    } lines[] = {
        { "Thursday. I moved it to the end", { "Thursday.", "|", "moved", "it", "to", "the", "end" } },
        { "Home | About us | Contact", { "Home", "|", "About", "us", "|", "Contact" } },
    };
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(28);
    const QFontMetricsF metrics(font);
    const int lineHeight = int(metrics.height()) + 10;
    QImage image(600, lineHeight * int(std::size(lines)) + 20, QImage::Format_Grayscale8);
    image.fill(255);
    QPainter painter(&image);
    painter.setFont(font);
    std::vector<RecognizedLine> read;
    for (size_t l = 0; l < std::size(lines); ++l) {
        const QString drawn = QString::fromUtf8(lines[l].drawn);
        const int top = 10 + int(l) * lineHeight;
        painter.drawText(QPointF(10, top + metrics.ascent()), drawn);
        read.emplace_back();
        qsizetype at = 0;
        for (const char *text : lines[l].read) {
            const QString word = drawn.mid(at).section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
            at = drawn.indexOf(word, at);
            const int from = 10 + int(metrics.horizontalAdvance(drawn.left(at)));
            const int to = 10 + int(metrics.horizontalAdvance(drawn.left(at + word.size())));
            at += word.size();
            QRect ink;
            for (int y = top; y < top + lineHeight; ++y) {
                for (int x = from; x < to; ++x)
                    ink |= qGray(image.pixel(x, y)) < 128 ? QRect(x, y, 1, 1) : QRect();
            }
            read.back().words.push_back({ QString::fromUtf8(text), ink, {}, 0.9f });
        }
    }
    painter.end();
    const auto observations = assembleLines(read, image);
    ASSERT_EQ(observations.size(), std::size(lines));
    for (size_t l = 0; l < std::size(lines); ++l)
        EXPECT_EQ(observations[l].topCandidates.value(0).toStdString(), lines[l].drawn);
}
