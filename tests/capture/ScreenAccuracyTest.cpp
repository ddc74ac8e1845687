// The accuracy gate: the benchmark's images read and scored per group against FLOOR.tsv;
// bench/data/screen by the text engine, bench/data/kinds as a capture reads them. Recognition
// is deterministic, so a worse figure is a real change.

#include "capture/CaptureRecognition.h"
#include "capture/NullPlatform.h"
#include "capture/OCRService.h"
#include "capture/ScreenSnippets.h"
#include "capture/TesseractEngine.h"
#include "capture/TestData.h"
#include "capture/ZXingBarcodeEngine.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// One way of reading every image of a set; absent: the reading failed.
using Reader = std::function<std::optional<QString>(const ScreenSnippet &, const QImage &)>;

struct AccuracySet {
    const char *name;
    const char *directory;
    size_t minimumImages;
    // The readings by name, as FLOOR.tsv's limits name them.
    std::function<std::vector<std::pair<QString, Reader>>()> readers;
};

// A capture's time budget is for a user's machine, not for a loaded one under the sanitizers.
const TesseractEngineOptions unhurried { .timeBudgetMs = 120'000 };

std::vector<std::pair<QString, Reader>> textEngineReaders()
{
    auto engine = std::make_shared<TesseractEngine>(unhurried);
    return {
        { QStringLiteral("language"),
            [engine](const ScreenSnippet &snippet, const QImage &image) -> std::optional<QString> {
                return joined(engine->recognizeText(image, snippet.language));
            } },
        { QStringLiteral("automatic"),
            [engine](const ScreenSnippet &, const QImage &image) -> std::optional<QString> {
                return joined(engine->recognizeText(image, std::nullopt));
            } },
    };
}

// As a capture of the screen reads: "Capture Text" with the automatic language, the barcode
// fallback, and a failure when nothing is found.
std::vector<std::pair<QString, Reader>> captureReaders()
{
    struct Engines {
        TesseractEngine text { unhurried };
        ZXingBarcodeEngine barcodes;
        NullScreenGrabber grabber;
        OCRService service { text, barcodes, grabber };
    };
    auto engines = std::make_shared<Engines>();
    return {
        { QStringLiteral("automatic"),
            [engines](const ScreenSnippet &, const QImage &image) -> std::optional<QString> {
                try {
                    return recognizeCapturedImage(engines->service, image, CaptureMode::text, std::nullopt);
                } catch (const CaptureError &) {
                    return std::nullopt;
                }
            } },
    };
}

// gtest names the set in its output instead of dumping its bytes.
void PrintTo(const AccuracySet &set, std::ostream *out)
{
    *out << set.name;
}

class ScreenAccuracy : public testing::TestWithParam<AccuracySet> { };

} // namespace

TEST_P(ScreenAccuracy, NoGroupIsWorseThanItsFloor)
{
    const AccuracySet &set = GetParam();
    const QString directory = QString::fromUtf8(set.directory);
    std::vector<ScreenSnippet> snippets = loadScreenSnippets(directory);
    std::erase_if(snippets, [](const ScreenSnippet &snippet) { return !snippet.ci; });
    const Floors floors = loadFloors(directory + QStringLiteral("/FLOOR.tsv"));
    ASSERT_GE(snippets.size(), set.minimumImages);
    ASSERT_FALSE(floors.groups.empty()) << "no floors in " << directory.toStdString();

    const auto readers = set.readers();
    std::map<QString, ScreenScore> scores;
    for (const ScreenSnippet &snippet : snippets) {
        const QImage image(snippet.image);
        ASSERT_FALSE(image.isNull()) << snippet.image.toStdString();
        for (const auto &[name, read] : readers)
            scores[name].addCapture(snippet, read(snippet, image));
    }

    for (const auto &[group, limits] : floors.groups) {
        SCOPED_TRACE(group.toStdString());
        for (qsizetype l = 0; l < floors.limits.size(); ++l) {
            // "automatic" is a CER; "automatic missed" and "automatic successes" are counts.
            const QStringList words = floors.limits[l].split(QLatin1Char(' '));
            const auto score = scores.find(words.front());
            ASSERT_NE(score, scores.end())
                << "FLOOR.tsv names an unknown reading " << words.front().toStdString();
            ASSERT_GT(score->second.images(group), 0) << "no image counts in this group";
            const QString measure = words.value(1, QStringLiteral("cer"));
            const double value = measure == u"missed" ? double(score->second.missed(group))
                : measure == u"successes"             ? double(score->second.successes(group))
                                                      : score->second.cer(group);
            if (measure == u"cer" && limits[l])
                EXPECT_GT(score->second.characters(group), 0) << "a CER floor on a group without text";
            if (limits[l])
                EXPECT_LE(value, *limits[l]) << floors.limits[l].toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sets, ScreenAccuracy,
    testing::Values(AccuracySet { "screen", GLYPHWELL_SCREEN_DATA, 100, textEngineReaders },
        AccuracySet { "kinds", GLYPHWELL_KINDS_DATA, 75, captureReaders }),
    [](const testing::TestParamInfo<AccuracySet> &info) { return std::string(info.param.name); });
