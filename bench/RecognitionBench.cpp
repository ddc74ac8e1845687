// Compares what the capture path reads with what plain Tesseract and plain ZXing-C++ read,
// so preparation and retry choices are kept only when they measurably help.
//
// Run with OMP_THREAD_LIMIT=1 (libgomp reads it at load time) and QT_QPA_PLATFORM=offscreen.

#include "capture/TesseractEngine.h"
#include "capture/TextMetrics.h"
#include "capture/ZXingBarcodeEngine.h"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <functional>
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

    TesseractEngine ours;
    TesseractEngine unprepared(TesseractEngineOptions { .prepareImage = false });
    TesseractEngine automaticLatin;
    TesseractEngine automaticEnglish(TesseractEngineOptions { .automaticLanguage = QStringLiteral("eng") });

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

struct Scheme {
    const char *name;
    QColor foreground;
    QColor background;
};

QImage renderSnippet(const QStringList &lines, const QString &family, int pixelSize, const Scheme &scheme)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    const QFontMetrics metrics(font);
    int width = 0;
    for (const QString &line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const int lineHeight = metrics.lineSpacing();
    // A tight crop, as a dragged region usually is: a few pixels around the text.
    QImage image(width + 8, lineHeight * int(lines.size()) + 6, QImage::Format_RGB32);
    image.fill(scheme.background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(scheme.foreground);
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(QPoint(4, 3 + metrics.ascent() + i * lineHeight), lines[i]);
    return image;
}

void benchSnippets()
{
    std::printf("== Synthetic screen snippets (en-US, warm engines; mean CER, median ms) ==\n");
    const QList<QStringList> texts = {
        { QStringLiteral("File Edit View Selection Go Run Terminal Help"),
            QStringLiteral("Total amount due: $1,284.50 (incl. VAT)") },
        { QStringLiteral("The quick brown fox jumps over the lazy dog."),
            QStringLiteral("Error: connection refused at 10.0.4.17:8443") },
        { QStringLiteral("Meeting moved to Thursday, 14:30 in room B2"),
            QStringLiteral("git commit -m \"Fix crash on empty input\"") },
    };
    const Scheme schemes[] = {
        { "black on white", Qt::black, Qt::white },
        { "grey on light grey", QColor(60, 60, 60), QColor(240, 240, 240) },
        { "light on dark", QColor(220, 220, 220), QColor(30, 30, 30) },
        { "white on blue", Qt::white, QColor(43, 87, 151) },
    };
    const QString families[] = { QStringLiteral("DejaVu Sans"), QStringLiteral("DejaVu Sans Mono") };

    struct Variant {
        const char *name;
        std::unique_ptr<TesseractEngine> engine;
    };
    std::vector<Variant> variants;
    variants.push_back({ "no preparation",
        std::make_unique<TesseractEngine>(TesseractEngineOptions { .prepareImage = false }) });
    variants.push_back({ "invert only",
        std::make_unique<TesseractEngine>(
            TesseractEngineOptions { .preparation = PreparationOptions { .targetLineHeight = 0 } }) });
    variants.push_back({ "scale only (32px)",
        std::make_unique<TesseractEngine>(TesseractEngineOptions {
            .preparation = PreparationOptions { .invertDarkBackground = false } }) });
    variants.push_back({ "invert+scale 24px",
        std::make_unique<TesseractEngine>(
            TesseractEngineOptions { .preparation = PreparationOptions { .targetLineHeight = 24 } }) });
    variants.push_back({ "invert+scale 32px*", std::make_unique<TesseractEngine>() });
    variants.push_back({ "invert+scale 40px",
        std::make_unique<TesseractEngine>(
            TesseractEngineOptions { .preparation = PreparationOptions { .targetLineHeight = 40 } }) });
    for (Variant &variant : variants)
        warm(*variant.engine, QStringLiteral("en-US"));

    // Rows: per pixel size and per polarity; columns: variants.
    std::vector<Column> bySize[5];
    std::vector<Column> byScheme[4];
    std::vector<Column> overall;
    for (const Variant &variant : variants)
        overall.push_back({ variant.name });
    for (auto &group : bySize)
        group = overall;
    for (auto &group : byScheme)
        group = overall;

    for (int size = 10; size <= 14; ++size) {
        for (int s = 0; s < 4; ++s) {
            for (const QString &family : families) {
                for (const QStringList &lines : texts) {
                    const QImage image = renderSnippet(lines, family, size, schemes[s]);
                    const QString reference = lines.join(QLatin1Char('\n'));
                    for (size_t v = 0; v < variants.size(); ++v) {
                        const Outcome outcome = timed(reference, false, [&] {
                            return joined(variants[v].engine->recognizeText(image, QStringLiteral("en-US")));
                        });
                        bySize[size - 10][v].add(outcome);
                        byScheme[s][v].add(outcome);
                        overall[v].add(outcome);
                    }
                }
            }
        }
    }
    std::printf("%-22s", "group");
    for (const Variant &variant : variants)
        std::printf(" | %-19s", variant.name);
    std::printf("\n");
    auto printRow = [](const QString &label, const std::vector<Column> &columns) {
        std::printf("%-22s", qPrintable(label));
        for (const Column &column : columns)
            std::printf(" | %6.3f %6.0f ms   ", mean(column.cers), median(column.times));
        std::printf("\n");
    };
    for (int size = 10; size <= 14; ++size)
        printRow(QStringLiteral("%1 px (n=%2)").arg(size).arg(bySize[size - 10][0].cers.size()),
            bySize[size - 10]);
    for (int s = 0; s < 4; ++s)
        printRow(QString::fromLatin1(schemes[s].name), byScheme[s]);
    printRow(QStringLiteral("all (n=%1)").arg(overall[0].cers.size()), overall);
    std::printf("* = the default\n\n");
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

} // namespace

// Automatic language on snippets of the menu's East Asian languages and on Latin snippets:
// Latin-only against the East Asian detection, to show what it finds and what it costs.
void benchAutomatic()
{
    const QString cjkFamily = QStringLiteral("WenQuanYi Micro Hei");
    if (!QFontDatabase::families().contains(cjkFamily)) {
        std::printf("== Automatic language: skipped, the font %s (fonts-wqy-microhei) is missing ==\n\n",
            qPrintable(cjkFamily));
        return;
    }
    std::printf("== Automatic language (no language chosen; mean CER, median ms) ==\n");
    struct Group {
        const char *name;
        QStringList texts;
        QString family;
        bool cjk;
    };
    const Group groups[] = {
        { "Japanese",
            { QStringLiteral("設定を開いてください"), QStringLiteral("日本語のテキストを読み取ります"),
                QStringLiteral("保存しますか？"), QStringLiteral("ファイルが見つかりません") },
            cjkFamily, true },
        { "Chinese (Simplified)",
            { QStringLiteral("简体中文屏幕文字"), QStringLiteral("中文文本识别测试"),
                QStringLiteral("请输入密码"), QStringLiteral("文件已保存到桌面") },
            cjkFamily, true },
        { "Korean",
            { QStringLiteral("화면의 글자를 읽습니다"), QStringLiteral("한국어 텍스트 인식"),
                QStringLiteral("설정을 저장했습니다"), QStringLiteral("비밀번호를 입력하세요") },
            cjkFamily, true },
        { "Latin",
            { QStringLiteral("The quick brown fox jumps"), QStringLiteral("Über größere Fenster"),
                QStringLiteral("0x7f3a  ERR_CONN_REFUSED"), QStringLiteral("Settings") },
            QStringLiteral("DejaVu Sans"), false },
    };
    const Scheme schemes[] = {
        { "black on white", Qt::black, Qt::white },
        { "light on dark", QColor(220, 220, 220), QColor(30, 30, 30) },
    };
    TesseractEngine latinOnly(TesseractEngineOptions { .detectEastAsian = false });
    TesseractEngine detecting;
    warm(latinOnly, std::nullopt);
    warm(detecting, std::nullopt);
    for (const QString &language :
        { QStringLiteral("ja-JP"), QStringLiteral("zh-Hans"), QStringLiteral("ko-KR") })
        warm(detecting, language); // the fallback reuses these engines; keep Init out of the times

    std::printf("%-22s | %-19s | %-19s\n", "group", "Latin only", "with East Asian");
    for (const Group &group : groups) {
        std::vector<Column> columns = { { "Latin only" }, { "with East Asian" } };
        for (const QString &text : group.texts) {
            for (int size : { 11, 14 }) {
                for (const Scheme &scheme : schemes) {
                    const QImage image = renderSnippet({ text }, group.family, size, scheme);
                    columns[0].add(timed(text, group.cjk,
                        [&] { return joined(latinOnly.recognizeText(image, std::nullopt)); }));
                    columns[1].add(timed(text, group.cjk,
                        [&] { return joined(detecting.recognizeText(image, std::nullopt)); }));
                }
            }
        }
        std::printf("%-22s",
            qPrintable(
                QStringLiteral("%1 (n=%2)").arg(QLatin1String(group.name)).arg(columns[0].cers.size())));
        for (const Column &column : columns)
            std::printf(" | %6.3f %6.0f ms   ", mean(column.cers), median(column.times));
        std::printf("\n");
    }
    std::printf("\n");
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
    if (all || arguments.contains(QStringLiteral("snippets")))
        benchSnippets();
    if (all || arguments.contains(QStringLiteral("automatic")))
        benchAutomatic();
    if (all || arguments.contains(QStringLiteral("documents")))
        benchDocuments();
    return 0;
}
