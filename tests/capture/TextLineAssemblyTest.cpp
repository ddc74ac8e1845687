#include "capture/TextLineAssembly.h"

#include <gtest/gtest.h>

#include <cstring>

// Spaces and punctuation of proportional lines from where the words stand (boxes in pixels,
// type about 14 px high; a blank image, so no monospaced grid).
TEST(TextLineAssembly, SpacesFollowTheGapsAndTheScript)
{
    const auto word = [](const char *text, int left, int right) {
        return RecognizedWord { QString::fromUtf8(text), QRect(QPoint(left, 2), QPoint(right, 15)), {}, 0.9f };
    };
    const struct {
        const char *name;
        std::vector<RecognizedWord> words;
        const char *expected;
    } cases[] = {
        { "Japanese has no spaces; its question mark sits in a full-width cell",
            { word("保存", 0, 27), word("しますか", 31, 86), word("?", 93, 100) }, "保存しますか？" },
        { "a narrow character's blank cell is no space", { word("設定", 0, 27), word("開く", 42, 69) }, "設定開く" },
        { "labels set well apart stay apart", { word("保存", 0, 27), word("閉じる", 52, 92) }, "保存 閉じる" },
        { "a Latin word among Japanese keeps its spaces", { word("この", 0, 27), word("Wi-Fi", 32, 70), word("は", 75, 88) },
            "この Wi-Fi は" },
        { "Korean syllables close together are one word", { word("저", 0, 12), word("장되었습니다", 14, 88) },
            "저장되었습니다" },
        { "Korean spaces its words", { word("화면의", 0, 41), word("글자를", 47, 88) }, "화면의 글자를" },
        { "Korean word gaps a pixel wider than the syllables' are told apart",
            { word("회", 0, 11), word("의", 16, 27), word("자", 33, 44), word("료", 49, 60), word("는", 65, 76),
                word("공", 82, 93), word("유", 98, 109) },
            "회의 자료는 공유" },
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
        EXPECT_EQ(observations.front().wordConfidences.back().start + observations.front().wordConfidences.back().length,
            observations.front().topCandidates.value(0).size());
    }
}
