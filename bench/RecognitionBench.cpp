// Compares what the capture path reads with what plain Tesseract and plain ZXing-C++ read,
// so preparation and retry choices are kept only when they measurably help.
//
// Run with OMP_THREAD_LIMIT=1 (libgomp reads it at load time) and QT_QPA_PLATFORM=offscreen.

#include "capture/CaptureRecognition.h"
#include "capture/ImagePreparation.h"
#include "capture/OCRService.h"
#include "capture/ScreenSnippets.h"
#include "capture/ScriptDetection.h"
#include "capture/TesseractEngine.h"
#include "capture/TextMetrics.h"
#include "capture/ZXingBarcodeEngine.h"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <vector>

namespace {

const QString dataRoot = QStringLiteral(GLYPHWELL_BENCH_DATA);

QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QString joined(const std::optional<std::vector<TextObservation>> &observations)
{
    if (!observations)
        return {};
    QStringList lines;
    for (const TextObservation &observation : *observations)
        lines.append(observation.topCandidates.value(0));
    return lines.join(QLatin1Char('\n'));
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double mean(const std::vector<double> &values)
{
    double sum = 0;
    for (double v : values)
        sum += v;
    return values.empty() ? 0 : sum / double(values.size());
}

struct Outcome {
    double cer = 0;
    double ms = 0;
};

struct Column {
    Column(const char *columnName)
        : name(columnName)
    { }
    const char *name;
    std::vector<double> cers;
    std::vector<double> times;
    void add(Outcome outcome)
    {
        cers.push_back(outcome.cer);
        times.push_back(outcome.ms);
    }
};

template <typename Recognise> Outcome timed(const QString &reference, bool cjk, Recognise recognise)
{
    QElapsedTimer timer;
    timer.start();
    const QString text = recognise();
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    return { characterErrorRate(reference, text, cjk), ms };
}

// What `tesseract image stdout -l lang` does: a fresh engine, the file as Leptonica reads
// it, automatic page segmentation.
QString rawTesseract(const QString &imagePath, const QString &language)
{
    tesseract::TessBaseAPI api;
    if (api.Init(nullptr, language.toUtf8().constData()) != 0)
        return {};
    api.SetPageSegMode(tesseract::PSM_AUTO);
    Pix *pix = pixRead(QFile::encodeName(imagePath).constData());
    if (!pix)
        return {};
    api.SetImage(pix);
    std::unique_ptr<char[]> text(api.GetUTF8Text());
    pixDestroy(&pix);
    return text ? QString::fromUtf8(text.get()) : QString();
}

std::optional<QString> identifierFor(const QString &language)
{
    if (language == u"eng")
        return QStringLiteral("en-US");
    if (language.startsWith(u"chi"))
        return QStringLiteral("zh-Hans");
    return std::nullopt;
}

void warm(TesseractEngine &engine, const std::optional<QString> &identifier)
{
    QImage image(64, 32, QImage::Format_RGB32);
    image.fill(Qt::white);
    engine.recognizeText(image, identifier);
}

void printSummary(const std::vector<Column> &columns)
{
    std::printf("%-34s", "mean CER / median ms / total ms");
    for (const Column &column : columns) {
        double total = 0;
        for (double t : column.times)
            total += t;
        std::printf(" | %6.3f %6.0f %7.0f", mean(column.cers), median(column.times), total);
    }
    std::printf("\n");
}

void printHeader(const char *first, const std::vector<Column> &columns)
{
    std::printf("%-34s", first);
    for (const Column &column : columns)
        std::printf(" | %-21s", column.name);
    std::printf("\n");
}

void benchDocuments()
{
    std::printf("== OCR data set (CER, ms per image) ==\n");
    std::printf("raw: fresh engine per image, default settings, unprepared file (ms includes Init)\n");
    std::printf("ours: warm TesseractEngine, prepared image; language from the set (eng -> en-US, chi_sim -> "
                "zh-Hans, else automatic)\n");
    std::printf("auto: warm TesseractEngine, no language chosen\n\n");

    // Scanned pages of several million pixels take longer than a capture's time budget on a
    // busy machine; their accuracy is what is measured here.
    constexpr int pageBudgetMs = 600'000;
    TesseractEngine ours(TesseractEngineOptions { .timeBudgetMs = pageBudgetMs });
    TesseractEngine unprepared(
        TesseractEngineOptions { .prepareImage = false, .timeBudgetMs = pageBudgetMs });
    TesseractEngine automaticLatin(TesseractEngineOptions { .timeBudgetMs = pageBudgetMs });
    TesseractEngine automaticEnglish(
        TesseractEngineOptions { .automaticLanguage = QStringLiteral("eng"), .timeBudgetMs = pageBudgetMs });

    std::vector<Column> columns = { { "raw tesseract" }, { "ours (language)" }, { "ours unprepared" },
        { "auto script/Latin" }, { "auto eng" } };

    QFile index(dataRoot + QStringLiteral("/ocr/INDEX.tsv"));
    if (!index.open(QIODevice::ReadOnly)) {
        std::printf("cannot read %s\n", qPrintable(index.fileName()));
        return;
    }
    const QStringList rows = QString::fromUtf8(index.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList header = rows.first().split(QLatin1Char('\t'));
    const qsizetype langColumn = header.indexOf(QStringLiteral("tesseract530_lang"));
    printHeader("image", columns);
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QStringList fields = rows[r].split(QLatin1Char('\t'));
        const QString imagePath = dataRoot + QStringLiteral("/ocr/") + fields[0];
        const QString reference = readText(dataRoot + QStringLiteral("/ocr/") + fields[1]);
        const QString language = fields[langColumn];
        const bool cjk = language.startsWith(u"chi");
        const QImage image(imagePath);
        const auto identifier = identifierFor(language);
        for (TesseractEngine *engine : { &ours, &unprepared })
            warm(*engine, identifier);
        warm(automaticLatin, std::nullopt);
        warm(automaticEnglish, std::nullopt);

        std::vector<Outcome> outcomes = {
            timed(reference, cjk, [&] { return rawTesseract(imagePath, language); }),
            timed(reference, cjk, [&] { return joined(ours.recognizeText(image, identifier)); }),
            timed(reference, cjk, [&] { return joined(unprepared.recognizeText(image, identifier)); }),
            timed(reference, cjk, [&] { return joined(automaticLatin.recognizeText(image, std::nullopt)); }),
            timed(
                reference, cjk, [&] { return joined(automaticEnglish.recognizeText(image, std::nullopt)); }),
        };
        std::printf("%-34s", qPrintable(fields[0]));
        for (size_t c = 0; c < columns.size(); ++c) {
            columns[c].add(outcomes[c]);
            std::printf(" | %6.3f %7.0f       ", outcomes[c].cer, outcomes[c].ms);
        }
        std::printf("\n");
    }
    printSummary(columns);
    std::printf("\n");
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, size_t(fraction * double(values.size() - 1) + 0.5));
    return values[at];
}

// What plain Tesseract does with a screen snippet: the file as Leptonica reads it, automatic
// page segmentation. One warm engine per language, so the time is recognition alone.
class RawTesseract {
public:
    QString read(const QString &imagePath, const QString &language, bool twiceAsLarge)
    {
        tesseract::TessBaseAPI *api = engine(language);
        if (!api)
            return {};
        Pix *pix = pixRead(QFile::encodeName(imagePath).constData());
        if (!pix)
            return {};
        if (twiceAsLarge) {
            // The usual recipe from OCR guides: grey, then a fixed 2x scale.
            Pix *grey = pixConvertTo8(pix, 0);
            Pix *scaled = pixScaleGrayLI(grey, 2.0f, 2.0f);
            pixDestroy(&grey);
            pixDestroy(&pix);
            pix = scaled;
        }
        api->SetImage(pix);
        std::unique_ptr<char[]> text(api->GetUTF8Text());
        api->Clear();
        pixDestroy(&pix);
        return text ? QString::fromUtf8(text.get()) : QString();
    }

private:
    tesseract::TessBaseAPI *engine(const QString &language)
    {
        auto &slot = m_engines[language];
        if (!slot) {
            slot = std::make_unique<tesseract::TessBaseAPI>();
            if (slot->Init(nullptr, language.toUtf8().constData()) != 0) {
                slot.reset();
                return nullptr;
            }
            slot->SetPageSegMode(tesseract::PSM_AUTO);
            slot->SetVariable("debug_file", "/dev/null");
        }
        return slot.get();
    }
    std::map<QString, std::unique_ptr<tesseract::TessBaseAPI>> m_engines;
};

struct ScreenColumn {
    const char *name;
    std::function<QString(const ScreenSnippet &, const QImage &)> read;
    ScreenScore score {};
    std::vector<double> times {};
};

// The screen snippets of bench/data/screen, every column over the same images in the same
// run, interleaved, so machine load falls on all of them alike.
void benchScreen()
{
    const std::vector<ScreenSnippet> snippets = loadScreenSnippets(dataRoot + QStringLiteral("/screen"));
    std::printf("== Screen snippets (%zu in bench/data/screen; CER %% with white space counted exactly) ==\n",
        snippets.size());
    std::printf(
        "raw: tesseract's defaults on the file (warm engine, the image's language, page segmentation 3)\n");
    std::printf(
        "2x: the same on a grey image scaled 2x; glyphwell: TesseractEngine with the image's language;\n");
    std::printf(
        "automatic: TesseractEngine with no language chosen. Times are recognition alone, warm, the\n");
    std::printf("fastest of GLYPHWELL_BENCH_ROUNDS (3) interleaved runs per snippet.\n\n");

    RawTesseract raw;
    TesseractEngine ours;
    TesseractEngine automatic;
    std::vector<ScreenColumn> columns;
    columns.push_back({ "raw tesseract", [&](const ScreenSnippet &s, const QImage &) {
                           return raw.read(s.image, *TesseractEngine::tesseractLanguage(s.language), false);
                       } });
    columns.push_back({ "fixed 2x", [&](const ScreenSnippet &s, const QImage &) {
                           return raw.read(s.image, *TesseractEngine::tesseractLanguage(s.language), true);
                       } });
    columns.push_back({ "glyphwell", [&](const ScreenSnippet &s, const QImage &image) {
                           return joined(ours.recognizeText(image, s.language));
                       } });
    columns.push_back({ "glyphwell automatic", [&](const ScreenSnippet &, const QImage &image) {
                           return joined(automatic.recognizeText(image, std::nullopt));
                       } });

    const QString experiment = qEnvironmentVariable("GLYPHWELL_BENCH_AUTOMATIC_LATIN");
    TesseractEngine experimental(TesseractEngineOptions { .automaticLanguage = experiment });
    if (!experiment.isEmpty())
        columns.push_back({ "automatic, one model", [&](const ScreenSnippet &, const QImage &image) {
                               return joined(experimental.recognizeText(image, std::nullopt));
                           } });
    const bool verbose = qEnvironmentVariableIsSet("GLYPHWELL_BENCH_VERBOSE");
    // Each reading is timed several times and the fastest kept: the machine is shared, and
    // the least disturbed of a few runs is the closest to the work itself.
    const int requestedRounds = qEnvironmentVariableIntValue("GLYPHWELL_BENCH_ROUNDS");
    const int rounds = requestedRounds > 0 ? requestedRounds : 3;
    for (const ScreenSnippet &snippet : snippets) {
        const QImage image(snippet.image);
        // Load every model before timing: Init is measured on the command line, not here.
        ours.warmUp(snippet.language);
        automatic.warmUp(std::nullopt);
        if (!experiment.isEmpty())
            experimental.warmUp(std::nullopt);
        raw.read(snippet.image, *TesseractEngine::tesseractLanguage(snippet.language), false);
        std::vector<QString> texts(columns.size());
        std::vector<double> fastest(columns.size(), std::numeric_limits<double>::max());
        for (int round = 0; round < rounds; ++round) {
            for (size_t c = 0; c < columns.size(); ++c) {
                QElapsedTimer timer;
                timer.start();
                texts[c] = columns[c].read(snippet, image);
                fastest[c] = std::min(fastest[c], double(timer.nsecsElapsed()) / 1e6);
            }
        }
        for (size_t c = 0; c < columns.size(); ++c) {
            ScreenColumn &column = columns[c];
            const QString &text = texts[c];
            column.times.push_back(fastest[c]);
            column.score.add(snippet, text);
            if (verbose)
                std::printf("%-28s %-20s %7.1f ms\n", qPrintable(QFileInfo(snippet.image).fileName()),
                    column.name, column.times.back());
            if (verbose) {
                const ScreenTextErrors errors
                    = screenTextErrors(snippet.reference, text, snippet.eastAsian());
                if (errors.edits)
                    std::printf("%-28s %-20s %3lld: %s\n", qPrintable(QFileInfo(snippet.image).fileName()),
                        column.name, qlonglong(errors.edits),
                        qPrintable(QString(text).replace(QLatin1Char('\n'), QStringLiteral(" | "))));
            }
        }
    }

    std::printf("%-22s %6s", "group (CER %)", "chars");
    for (const ScreenColumn &column : columns)
        std::printf(" | %19s", column.name);
    std::printf("\n");
    for (const QString &group : columns.front().score.groups()) {
        std::printf("%-22s %6lld", qPrintable(group), qlonglong(columns.front().score.characters(group)));
        for (const ScreenColumn &column : columns)
            std::printf(" | %19.2f", column.score.cer(group));
        std::printf("\n");
    }
    std::printf("%-29s", "median ms");
    for (const ScreenColumn &column : columns)
        std::printf(" | %19.1f", median(column.times));
    std::printf("\n%-29s", "p95 ms");
    for (const ScreenColumn &column : columns)
        std::printf(" | %19.1f", percentile(column.times, 0.95));
    for (const bool eastAsian : { false, true }) {
        std::printf("\n%-29s", eastAsian ? "median ms, East Asian" : "median ms, Latin script");
        for (const ScreenColumn &column : columns) {
            std::vector<double> times;
            for (size_t i = 0; i < snippets.size(); ++i) {
                if (snippets[i].eastAsian() == eastAsian)
                    times.push_back(column.times[i]);
            }
            std::printf(" | %19.1f", median(times));
        }
    }
    std::printf("\n%-29s", "total ms");
    for (const ScreenColumn &column : columns) {
        double total = 0;
        for (double t : column.times)
            total += t;
        std::printf(" | %19.0f", total);
    }
    std::printf("\n\n");
}
void benchBarcodes()
{
    std::printf("== Barcodes (decoded exactly: all payloads found, joined by line feeds, equal the expected "
                "file) ==\n");
    QFile index(dataRoot + QStringLiteral("/barcodes/INDEX.tsv"));
    if (!index.open(QIODevice::ReadOnly)) {
        std::printf("cannot read %s\n", qPrintable(index.fileName()));
        return;
    }
    const QStringList rows = QString::fromUtf8(index.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ZXingBarcodeEngine ours;
    int total = 0, rawExact = 0, oursExact = 0;
    std::vector<double> rawTimes, oursTimes;
    std::map<QString, std::pair<int, int>> byDifficulty;
    std::map<QString, int> totalByDifficulty;
    QStringList oursMissed;
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QStringList fields = rows[r].split(QLatin1Char('\t'));
        const QImage image(dataRoot + QStringLiteral("/barcodes/") + fields[0]);
        const QByteArray expected = [&] {
            QFile file(dataRoot + QStringLiteral("/barcodes/") + fields[1]);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        const QString difficulty = fields[3];
        ++total;
        ++totalByDifficulty[difficulty];

        QElapsedTimer timer;
        timer.start();
        const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
        const ZXing::Results results = ZXing::ReadBarcodes(ZXing::ImageView(grey.constBits(), grey.width(),
            grey.height(), ZXing::ImageFormat::Lum, int(grey.bytesPerLine())));
        rawTimes.push_back(double(timer.nsecsElapsed()) / 1e6);
        // What a capture would show: every code read, joined by line feeds, must be the payload.
        QByteArrayList rawTexts;
        for (const ZXing::Result &result : results) {
            if (result.isValid())
                rawTexts.append(QByteArray::fromStdString(result.text()));
        }
        const bool rawOk = rawTexts.join('\n') == expected;

        timer.restart();
        const auto observations = ours.detectBarcodes(image);
        oursTimes.push_back(double(timer.nsecsElapsed()) / 1e6);
        QByteArrayList ourTexts;
        for (const BarcodeObservation &observation :
            observations.value_or(std::vector<BarcodeObservation> {})) {
            if (observation.payloadString)
                ourTexts.append(observation.payloadString->toUtf8());
        }
        const bool oursOk = ourTexts.join('\n') == expected;
        rawExact += rawOk;
        oursExact += oursOk;
        byDifficulty[difficulty].first += rawOk;
        byDifficulty[difficulty].second += oursOk;
        if (!oursOk)
            oursMissed.append(fields[0] + QStringLiteral(" (") + difficulty + QLatin1Char(')'));
    }
    std::printf("%-10s | %-22s | %-22s\n", "set", "raw ReadBarcodes", "ours");
    for (const auto &[difficulty, counts] : byDifficulty)
        std::printf("%-10s | %3d / %-3d              | %3d / %-3d\n", qPrintable(difficulty), counts.first,
            totalByDifficulty[difficulty], counts.second, totalByDifficulty[difficulty]);
    std::printf("%-10s | %3d / %-3d  median %5.1f ms | %3d / %-3d  median %5.1f ms\n", "all", rawExact, total,
        median(rawTimes), oursExact, total, median(oursTimes));
    std::printf("ours missed: %s\n\n", qPrintable(oursMissed.join(QStringLiteral(", "))));
}

// What looking for codes costs a capture that holds none: every capture looks quickly, and
// one in which no text is found looks again with every retry.
void benchCodeSearch()
{
    std::printf("== Looking for codes in text captures (ms; median, max over the screen snippets and "
                "screenshots) ==\n");
    std::vector<QString> images;
    for (const ScreenSnippet &snippet : loadScreenSnippets(dataRoot + QStringLiteral("/screen")))
        images.push_back(snippet.image);
    QDir screenshots(dataRoot + QStringLiteral("/ocr"));
    for (const QString &file : screenshots.entryList({ QStringLiteral("screen_*.png") }))
        images.push_back(screenshots.filePath(file));
    ZXingBarcodeEngine engine;
    std::vector<double> quick, thorough;
    int found = 0;
    for (const QString &path : images) {
        const QImage image(path);
        QElapsedTimer timer;
        timer.start();
        found += int(engine.detectBarcodesQuickly(image).value_or(std::vector<BarcodeObservation> {}).size());
        quick.push_back(double(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        found += int(engine.detectBarcodes(image).value_or(std::vector<BarcodeObservation> {}).size());
        thorough.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("%zu images | quick look: median %.1f, max %.1f | every retry: median %.1f, max %.1f | codes "
                "found (none there): %d\n\n",
        images.size(), median(quick), *std::max_element(quick.begin(), quick.end()), median(thorough),
        *std::max_element(thorough.begin(), thorough.end()), found);
}

// How the script detection sees each snippet, and how often it is right.
void benchScript()
{
    std::printf("== Script detection on the prepared image ==\n");
    int right = 0, total = 0;
    std::vector<ScreenSnippet> snippets = loadScreenSnippets(dataRoot + QStringLiteral("/screen"));
    for (const char *other : { "/ocr", "/../../tests/data/ocr" }) {
        // The screenshots beside them are a check the model was not fitted on.
        QDir directory(dataRoot + QLatin1String(other));
        for (const QString &file :
            directory.entryList({ QStringLiteral("*.png"), QStringLiteral("*.jpg") })) {
            ScreenSnippet snippet;
            snippet.image = directory.filePath(file);
            snippet.language
                = file.contains(u"chinese") ? QStringLiteral("zh-Hans") : QStringLiteral("en-US");
            snippets.push_back(snippet);
        }
    }
    for (const ScreenSnippet &snippet : snippets) {
        const QImage prepared = prepareForRecognition(QImage(snippet.image));
        QElapsedTimer timer;
        timer.start();
        const ScriptFeatures f = scriptFeatures(prepared);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        const bool eastAsian = detectScript(f) == WritingScript::eastAsian;
        const bool ok = eastAsian == snippet.eastAsian();
        right += ok;
        ++total;
        std::printf("%-26s %s glyphs %3d full %.2f cross %.2f square %.2f density %.2f base %.2f mean %.2f "
                    "core %.2f stacked %.2f score %.2f %.2f ms\n",
            qPrintable(QFileInfo(snippet.image).fileName()), ok ? "ok" : "XX", f.glyphs, f.fullHeightShare,
            f.crossings, f.squareShare, f.density, f.baseline, f.meanline, f.core, f.stacked,
            eastAsianScore(f), ms);
    }
    std::printf("right: %d of %d\n\n", right, total);
}

} // namespace

// A grabber for a service that only reads images.
class NoScreen : public ScreenGrabber {
public:
    QCoro::Task<QImage> captureRegion(QRectF) override { co_return QImage(); }
};

// What a capture costs once the image is taken, warm, on the screens the capture latency bench
// shows (bench/data/latency), each with the few pixels of desktop around it a selection takes:
// the whole reading as the program does it (text and codes), and its parts.
void benchLatency()
{
    const int rounds = std::max(3, qEnvironmentVariableIntValue("GLYPHWELL_BENCH_ROUNDS"));
    std::printf(
        "\n== Capture reading, warm (bench/data/latency; ms, median / p95 of %d rounds) ==\n", rounds);
    TesseractEngine textEngine;
    ZXingBarcodeEngine barcodeEngine;
    NoScreen screen;
    OCRService service(textEngine, barcodeEngine, screen);
    const auto stat = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return QStringLiteral("%1 / %2")
            .arg(values[values.size() / 2], 0, 'f', 1)
            .arg(values[std::min(values.size() - 1, size_t(0.95 * double(values.size() - 1) + 0.5))], 0, 'f',
                1);
    };
    std::printf("%-10s %22s %22s %22s %22s\n", "screen", "capture reading", "text (automatic)",
        "codes, quick", "codes, all passes");
    // GLYPHWELL_BENCH_SCREENS=paragraph,code picks some, for a profiler's run.
    const QStringList picked
        = qEnvironmentVariable("GLYPHWELL_BENCH_SCREENS").split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const char *name : { "paragraph", "code", "page" }) {
        if (!picked.isEmpty() && !picked.contains(QLatin1String(name)))
            continue;
        QImage shown(dataRoot + QStringLiteral("/latency/%1.png").arg(QLatin1String(name)));
        QImage image(shown.width() + 8, shown.height() + 8, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter(&image).drawImage(4, 4, shown);
        (void)recognizeCapturedImage(service, image, std::nullopt, std::nullopt);
        std::vector<double> whole, text, quick, all;
        for (int round = 0; round < rounds; ++round) {
            QElapsedTimer timer;
            timer.start();
            (void)recognizeCapturedImage(service, image, std::nullopt, std::nullopt);
            whole.push_back(timer.nsecsElapsed() / 1e6);
            timer.restart();
            (void)service.recognizeText(image, std::nullopt);
            text.push_back(timer.nsecsElapsed() / 1e6);
            timer.restart();
            (void)service.findBarcodes(image, true);
            quick.push_back(timer.nsecsElapsed() / 1e6);
            timer.restart();
            (void)service.findBarcodes(image, false);
            all.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::printf("%-10s %22s %22s %22s %22s\n", name, qPrintable(stat(whole)), qPrintable(stat(text)),
            qPrintable(stat(quick)), qPrintable(stat(all)));
    }
}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const bool all = arguments.size() < 2;
    if (qgetenv("OMP_THREAD_LIMIT") != "1")
        std::printf("warning: OMP_THREAD_LIMIT is not 1; timings will be inflated\n");
    if (all || arguments.contains(QStringLiteral("barcodes")))
        benchBarcodes();
    if (all || arguments.contains(QStringLiteral("codesearch")))
        benchCodeSearch();
    if (all || arguments.contains(QStringLiteral("script")))
        benchScript();
    if (all || arguments.contains(QStringLiteral("screen")))
        benchScreen();
    if (all || arguments.contains(QStringLiteral("documents")))
        benchDocuments();
    if (all || arguments.contains(QStringLiteral("latency")))
        benchLatency();
    return 0;
}
