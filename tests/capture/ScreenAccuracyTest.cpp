// The accuracy gate: the rendered screen snippets of bench/data/screen read with the chosen
// language and with none, scored per group, against the floor written in
// bench/data/screen/FLOOR.tsv. Recognition is deterministic, so a worse figure is a real
// change; the benchmark prints the same groups beside raw Tesseract.

#include "capture/ScreenSnippets.h"
#include "capture/TesseractEngine.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

namespace {

const QString screenData = QStringLiteral(GLYPHWELL_SCREEN_DATA);

// FLOOR.tsv: group, then the highest CER in percent each reading may have.
std::map<QString, std::pair<double, double>> loadFloors()
{
    std::map<QString, std::pair<double, double>> floors;
    QFile file(screenData + QStringLiteral("/FLOOR.tsv"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << "cannot open " << file.fileName().toStdString();
    const QStringList rows = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QStringList fields = rows[r].split(QLatin1Char('\t'));
        if (fields.size() == 3)
            floors[fields[0]] = { fields[1].toDouble(), fields[2].toDouble() };
    }
    return floors;
}

QString joined(const std::optional<std::vector<TextObservation>> &observations)
{
    QStringList lines;
    for (const TextObservation &observation : observations.value_or(std::vector<TextObservation> {}))
        lines.append(observation.topCandidates.value(0));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

TEST(ScreenAccuracy, NoGroupIsWorseThanItsFloor)
{
    const std::vector<ScreenSnippet> snippets = loadScreenSnippets(screenData);
    const auto floors = loadFloors();
    ASSERT_GE(snippets.size(), 100u);
    ASSERT_FALSE(floors.empty());

    TesseractEngine engine;
    ScreenScore chosen;
    ScreenScore automatic;
    for (const ScreenSnippet &snippet : snippets) {
        const QImage image(snippet.image);
        ASSERT_FALSE(image.isNull()) << snippet.image.toStdString();
        chosen.add(snippet, joined(engine.recognizeText(image, snippet.language)));
        automatic.add(snippet, joined(engine.recognizeText(image, std::nullopt)));
    }
    for (const auto &[group, floor] : floors) {
        SCOPED_TRACE(group.toStdString());
        std::printf("%-20s CER %5.2f %% (floor %5.2f), automatic %5.2f %% (floor %5.2f)\n", qPrintable(group),
            chosen.cer(group), floor.first, automatic.cer(group), floor.second);
        ASSERT_GT(chosen.characters(group), 0) << "no snippet counts in this group";
        EXPECT_LE(chosen.cer(group), floor.first) << "with the snippet's language";
        EXPECT_LE(automatic.cer(group), floor.second) << "automatic";
    }
}
