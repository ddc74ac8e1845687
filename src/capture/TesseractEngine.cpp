#include "TesseractEngine.h"

#include "TessdataLocation.h"

#include "LanguageGuess.h"
#include "OCRServiceError.h"
#include "ScriptDetection.h"

#include <QDebug>
#include <QFile>
#include <QLoggingCategory>
#include <QPainter>

#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <future>
#include <iterator>

namespace {

Q_LOGGING_CATEGORY(lcRecognition, "glyphwell.recognition", QtInfoMsg)

// Tesseract allocates results with new[]; this frees them on every path.
struct TextDeleter {
    void operator()(char *text) const { delete[] text; }
};
using TesseractText = std::unique_ptr<char, TextDeleter>;

// The share of a reading's letters that are of the given scripts.
double scriptShare(const std::vector<RecognizedLine> &lines, const std::vector<QChar::Script> &scripts)
{
    int letters = 0;
    int matching = 0;
    for (const RecognizedLine &line : lines) {
        for (const RecognizedWord &word : line.words) {
            for (const char32_t codePoint : word.text.toUcs4()) {
                const QChar::Script script = QChar::script(codePoint);
                if (script == QChar::Script_Common || script == QChar::Script_Inherited)
                    continue;
                ++letters;
                matching += std::find(scripts.begin(), scripts.end(), script) != scripts.end();
            }
        }
    }
    return letters == 0 ? 0.0 : double(matching) / letters;
}

// A pixel of text rather than of the background it stands on.
bool isInk(int grey, int background)
{
    return grey + 48 < background;
}

// Whether ink stands outside the words kept: more than a speck (a dot the engine left out of its
// word, a rule) in all. A code's modules, an icon or a missed line are that much.
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

} // namespace

TesseractEngine::TesseractEngine(TesseractEngineOptions options)
    : m_options(std::move(options))
{ }

TesseractEngine::~TesseractEngine() = default;

std::optional<QString> TesseractEngine::tesseractLanguage(const std::optional<QString> &languageIdentifier)
{
    if (!languageIdentifier)
        return std::nullopt;
    static const std::map<QString, QString> languages = {
        { QStringLiteral("en-US"), QStringLiteral("eng") },
        { QStringLiteral("fr-FR"), QStringLiteral("fra") },
        { QStringLiteral("de-DE"), QStringLiteral("deu") },
        { QStringLiteral("es-ES"), QStringLiteral("spa") },
        { QStringLiteral("it-IT"), QStringLiteral("ita") },
        { QStringLiteral("pt-PT"), QStringLiteral("por") },
        { QStringLiteral("ja-JP"), QStringLiteral("jpn") },
        { QStringLiteral("ko-KR"), QStringLiteral("kor") },
        { QStringLiteral("zh-Hans"), QStringLiteral("chi_sim") },
    };
    const auto found = languages.find(*languageIdentifier);
    if (found == languages.end())
        return std::nullopt;
    return found->second;
}

const std::optional<QString> &TesseractEngine::dataDirectory()
{
    if (m_dataDirectory)
        return *m_dataDirectory;
    m_dataDirectory = m_options.dataPath ? m_options.dataPath : TessdataLocation::systemDirectory();
    return *m_dataDirectory;
}

bool TesseractEngine::dataFileMissing(const QString &language)
{
    const auto &directory = dataDirectory();
    return directory && !TessdataLocation::hasModel(*directory, language);
}

QString TesseractEngine::automaticLatinLanguage()
{
    if (!m_options.automaticLanguage.isEmpty())
        return m_options.automaticLanguage;
    if (!m_automaticLanguage) {
        m_automaticLanguage = QStringLiteral("eng");
        if (const auto &directory = dataDirectory()) {
            // Debian puts the script model at the top of tessdata, upstream in script/.
            for (const QString &candidate : { QStringLiteral("script/Latin"), QStringLiteral("Latin") }) {
                if (TessdataLocation::hasModel(*directory, candidate)) {
                    m_automaticLanguage = candidate;
                    break;
                }
            }
        }
    }
    return *m_automaticLanguage;
}

tesseract::TessBaseAPI *TesseractEngine::engineFor(const Configuration &configuration, int reader)
{
    const QString key = QStringLiteral("%1/%2/%3")
                            .arg(configuration.language)
                            .arg(configuration.pageLayout ? QLatin1String("page") : QLatin1String("block"))
                            .arg(reader);
    std::lock_guard lock(m_poolMutex);
    if (const auto found = m_engines.find(key); found != m_engines.end())
        return found->second.get();

    // Checking the file first keeps Tesseract's own multi-line complaint off stderr.
    if (dataFileMissing(configuration.language)) {
        qCWarning(lcRecognition, "Tesseract language data \"%s\" is not installed; install the package %s",
            qPrintable(configuration.language),
            qPrintable(TessdataLocation::package(configuration.language)));
        return nullptr;
    }

    auto api = std::make_unique<tesseract::TessBaseAPI>();
    const auto &directory = dataDirectory();
    const QByteArray path = directory ? QFile::encodeName(*directory) : QByteArray();
    const QByteArray language = configuration.language.toUtf8();
    if (api->Init(directory ? path.constData() : nullptr, language.constData(), tesseract::OEM_LSTM_ONLY)
        != 0) {
        qCWarning(lcRecognition, "Tesseract could not load language data \"%s\"; install the package %s",
            qPrintable(configuration.language),
            qPrintable(TessdataLocation::package(configuration.language)));
        return nullptr;
    }
    // A screen capture is one block of text far more often than a page layout: read as one
    // block, a table keeps its rows instead of being read column by column, and CJK lines
    // are not split apart. Pages keep the layout analysis.
    api->SetPageSegMode(configuration.pageLayout ? tesseract::PSM_AUTO : tesseract::PSM_SINGLE_BLOCK);
    // Its progress chatter ("Empty page!!", "Detected 5 diacritics") is no message for users.
    api->SetVariable("debug_file", "/dev/null");
    auto *raw = api.get();
    m_engines.emplace(key, std::move(api));
    return raw;
}

void TesseractEngine::warmUp(const std::optional<QString> &languageIdentifier)
{
    std::lock_guard lock(m_mutex);
    QString language = tesseractLanguage(languageIdentifier).value_or(automaticLatinLanguage());
    // Automatic reads Latin-script text with English first.
    if (!languageIdentifier && m_options.automaticLanguage.isEmpty()
        && !dataFileMissing(QStringLiteral("eng")))
        language = QStringLiteral("eng");
    for (int reader = 0; reader < std::max(1, m_options.readers); ++reader)
        engineFor({ language, false }, reader);
    // And the one that reads pages (a whole screen) in one piece.
    engineFor({ language, true }, 0);
}

void TesseractEngine::warmUpAndRead(const std::optional<QString> &languageIdentifier)
{
    warmUp(languageIdentifier);
    // An engine's first reading costs more than the next (its networks' buffers, the
    // dictionaries): two lines, one for each reader, go through every step a capture takes.
    QImage sample(360, 48, QImage::Format_RGB32);
    sample.fill(Qt::white);
    QPainter painter(&sample);
    QFont font;
    font.setPixelSize(14);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(8, 18, QStringLiteral("Ready for the first capture"));
    painter.drawText(8, 40, QStringLiteral("of the session: 12:30"));
    painter.end();
    (void)recognizeText(sample, languageIdentifier);
}

std::optional<TesseractEngine::Reading> TesseractEngine::readPart(
    tesseract::TessBaseAPI *api, const QImage &grey, const ReadingUnit &unit, const Layout &layout)
{
    // A block of several is read on its own, with a margin of background around it:
    // Tesseract finds lines badly in text that touches the image's edge, and a neighbour's
    // ink beyond the block must not show in the margin. Lines across the whole image are read
    // where they stand.
    const bool fullWidth = unit.rect.left() == 0 && unit.rect.width() == grey.width() && !unit.skippedLine;
    const int margin = fullWidth ? 0 : 10;
    QImage part(unit.rect.width() + 2 * margin, unit.rect.height() + 2 * margin, QImage::Format_Grayscale8);
    part.fill(uint(layout.background));
    for (int y = 0; y < unit.rect.height(); ++y)
        std::memcpy(part.scanLine(y + margin) + margin,
            grey.constScanLine(unit.rect.top() + y) + unit.rect.left(), size_t(unit.rect.width()));
    for (const QRect &rule : unit.clear) {
        const QRect area
            = rule.intersected(unit.rect).translated(margin - unit.rect.left(), margin - unit.rect.top());
        for (int y = area.top(); y <= area.bottom(); ++y)
            std::memset(part.scanLine(y) + area.left(), layout.background, size_t(area.width()));
    }
    const QPoint offset = unit.rect.topLeft() - QPoint(margin, margin);
    api->SetImage(part.constBits(), part.width(), part.height(), 1, int(part.bytesPerLine()));
    // Without a resolution Tesseract guesses one from the text size and says so on stderr.
    const int dpi = int(std::lround(grey.dotsPerMeterX() * 0.0254));
    api->SetSourceResolution(dpi >= 70 ? dpi : 96);
    // Tesseract asks between words whether to go on.
    tesseract::ETEXT_DESC monitor;
    monitor.cancel_this = this;
    monitor.cancel
        = [](void *engine, int) { return static_cast<const TesseractEngine *>(engine)->stopRequested(); };
    if (stopRequested() || api->Recognize(&monitor) != 0 || stopRequested()) {
        api->Clear();
        return std::nullopt;
    }
    Reading reading;
    double confidenceSum = 0;
    std::unique_ptr<tesseract::ResultIterator> iterator(api->GetIterator());
    const auto box = [&](tesseract::PageIteratorLevel level) {
        int left = 0, top = 0, right = 0, bottom = 0;
        iterator->BoundingBox(level, &left, &top, &right, &bottom);
        // Within the unit: the engine's box of a word on a tight crop may take in the margin.
        return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1))
            .translated(offset)
            .intersected(unit.rect);
    };
    if (iterator && !iterator->Empty(tesseract::RIL_SYMBOL)) {
        do {
            if (reading.lines.empty() || iterator->IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
                reading.lines.emplace_back();
                reading.blockOfLine.push_back(unit.block);
            }
            std::vector<RecognizedWord> &lineWords = reading.lines.back().words;
            if (lineWords.empty() || iterator->IsAtBeginningOf(tesseract::RIL_WORD)) {
                const TesseractText text(iterator->GetUTF8Text(tesseract::RIL_WORD));
                RecognizedWord word;
                word.text = text ? QString::fromUtf8(text.get()).trimmed() : QString();
                word.box = box(tesseract::RIL_WORD);
                word.confidence = std::clamp(iterator->Confidence(tesseract::RIL_WORD) / 100.0f, 0.0f, 1.0f);
                confidenceSum += word.confidence;
                ++reading.words;
                lineWords.push_back(std::move(word));
            }
            lineWords.back().symbols.push_back(box(tesseract::RIL_SYMBOL));
        } while (iterator->Next(tesseract::RIL_SYMBOL));
    }
    iterator.reset();
    api->Clear();
    for (RecognizedLine &line : reading.lines)
        std::erase_if(line.words, [](const RecognizedWord &word) { return word.text.isEmpty(); });
    std::erase_if(reading.lines, [](const RecognizedLine &line) { return line.words.empty(); });
    reading.blockOfLine.resize(reading.lines.size(), unit.block);
    if (!unit.skippedLine && !reading.lines.empty())
        readSkippedLines(api, grey, unit, layout, reading, confidenceSum);
    reading.confidence = reading.words == 0 ? 0 : confidenceSum / reading.words;
    return reading;
}

void TesseractEngine::readSkippedLines(tesseract::TessBaseAPI *api, const QImage &grey,
    const ReadingUnit &unit, const Layout &layout, Reading &reading, double &confidenceSum)
{
    // Tesseract now and then leaves out a whole line among those it reads, most often a short
    // last one near the image's edge ("步、放风筝。" under a paragraph). A band of ink rows
    // that no word stands in, as tall as the lines read, is read again on its own.
    const QImage area = grey.copy(unit.rect);
    std::vector<int> heights;
    for (const RecognizedLine &line : reading.lines) {
        for (const RecognizedWord &word : line.words)
            heights.push_back(word.box.height());
    }
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    const int wordHeight = heights[heights.size() / 2];
    int skipped = 0;
    for (const InkBand &band : inkBands(area, inkThreshold(area))) {
        const int top = unit.rect.top() + band.top;
        const int bottom = unit.rect.top() + band.bottom - 1;
        const bool read
            = std::any_of(reading.lines.begin(), reading.lines.end(), [&](const RecognizedLine &line) {
                  return std::any_of(line.words.begin(), line.words.end(), [&](const RecognizedWord &word) {
                      return word.box.top() <= bottom && word.box.bottom() >= top;
                  });
              });
        // A few at most: a selection of pictures with a word or two is no text with lines left out.
        if (read || band.height() * 2 < wordHeight || band.height() > wordHeight * 2 || ++skipped > 2)
            continue;
        ReadingUnit alone { QRect(unit.rect.left(), top, unit.rect.width(), band.height()), unit.block,
            unit.clear, true };
        std::optional<Reading> again = readPart(api, grey, alone, layout);
        if (!again)
            continue;
        for (RecognizedLine &line : again->lines) {
            const int lineTop = line.words.front().box.top();
            const auto before = std::find_if(reading.lines.begin(), reading.lines.end(),
                [&](const RecognizedLine &other) { return other.words.front().box.top() > lineTop; });
            const auto at = before - reading.lines.begin();
            reading.lines.insert(before, std::move(line));
            reading.blockOfLine.insert(reading.blockOfLine.begin() + at, unit.block);
        }
        confidenceSum += again->confidence * again->words;
        reading.words += again->words;
    }
}

std::vector<TesseractEngine::ReadingUnit> TesseractEngine::readingUnits(
    const QImage &grey, const Layout &layout, int readers)
{
    std::vector<ReadingUnit> units;
    if (layout.blocks.size() == 1) {
        // One block, the usual selection: the image is read as it is, its lines shared out
        // among the readers, a run of whole lines each.
        const TextBlock &block = layout.blocks.front();
        const std::vector<QRect> parts
            = layout.pageLayout ? std::vector<QRect> { grey.rect() } : readingParts(grey, readers);
        for (const QRect &part : parts)
            units.push_back({ part, 0, block.rules });
        return units;
    }
    for (size_t b = 0; b < layout.blocks.size(); ++b)
        units.push_back({ layout.blocks[b].rect, b, layout.blocks[b].rules });
    return units;
}

std::optional<TesseractEngine::Reading> TesseractEngine::readUnits(
    const std::vector<tesseract::TessBaseAPI *> &engines, const QImage &grey, const Layout &layout,
    const std::vector<ReadingUnit> &units)
{
    // Each engine takes the next unit not yet read; the first works on this thread.
    std::vector<std::optional<Reading>> readings(units.size());
    std::atomic<size_t> next = 0;
    const auto work = [&](tesseract::TessBaseAPI *api) {
        for (size_t u = next++; u < units.size(); u = next++)
            readings[u] = readPart(api, grey, units[u], layout);
    };
    std::vector<std::future<void>> others;
    for (size_t e = 1; e < std::min(engines.size(), units.size()); ++e)
        others.push_back(std::async(std::launch::async, work, engines[e]));
    work(engines.front());
    for (auto &other : others)
        other.get();
    Reading reading;
    double confidenceSum = 0;
    for (std::optional<Reading> &part : readings) {
        if (!part)
            return std::nullopt;
        confidenceSum += part->confidence * part->words;
        reading.words += part->words;
        std::move(part->lines.begin(), part->lines.end(), std::back_inserter(reading.lines));
        reading.blockOfLine.insert(
            reading.blockOfLine.end(), part->blockOfLine.begin(), part->blockOfLine.end());
    }
    reading.confidence = reading.words == 0 ? 0 : confidenceSum / reading.words;
    return reading;
}

std::optional<TesseractEngine::Reading> TesseractEngine::read(
    const QString &language, const QImage &grey, const Layout &layout)
{
    return readWith(language, grey, layout, m_options.readers);
}

std::optional<TesseractEngine::Reading> TesseractEngine::readWith(
    const QString &language, const QImage &grey, const Layout &layout, int readers)
{
    const std::vector<ReadingUnit> units = readingUnits(grey, layout, readers);
    if (units.empty())
        return Reading {};
    std::vector<tesseract::TessBaseAPI *> engines;
    for (int r = 0; r < std::max(1, std::min(readers, int(units.size()))); ++r) {
        engines.push_back(engineFor({ language, layout.pageLayout }, r));
        if (!engines.back())
            return std::nullopt;
    }
    return readUnits(engines, grey, layout, units);
}

std::optional<TesseractEngine::Reading> TesseractEngine::readEastAsian(
    const QImage &grey, const Layout &layout)
{
    // Which of the three it is shows only in a reading. The Japanese and the Korean model read
    // the image at once, one on each core: Japanese comes back from the first with kana,
    // Korean from the second as sure Hangul. Only Han characters alone (which Japanese knows
    // too) ask the Chinese model as well. A model reading another script's text is slow (up
    // to twice its own text's time), so the one that is rarely needed waits its turn.
    struct Candidate {
        QString language;
        std::vector<QChar::Script> scripts;
    };
    const Candidate japanese { QStringLiteral("jpn"),
        { QChar::Script_Han, QChar::Script_Hiragana, QChar::Script_Katakana } };
    const Candidate korean { QStringLiteral("kor"), { QChar::Script_Hangul, QChar::Script_Han } };
    const Candidate chinese { QStringLiteral("chi_sim"), { QChar::Script_Han } };
    std::optional<Reading> best;
    const auto consider = [&best](const Candidate &candidate, std::optional<Reading> reading) {
        // The right model reads East Asian text with confidence above 0.9 on the screen
        // snippets; a wrong one, or any of them on what only looked East Asian (a code, a
        // dark frame), below 0.55.
        if (!reading || scriptShare(reading->lines, candidate.scripts) < 0.5 || reading->confidence < 0.6)
            return;
        if (!best || reading->confidence > best->confidence)
            best = std::move(reading);
    };
    std::vector<std::pair<const Candidate *, std::future<std::optional<Reading>>>> readings;
    for (const Candidate *candidate : { &japanese, &korean }) {
        if (dataFileMissing(candidate->language))
            continue; // not installed: automatic stays with the others, quietly
        tesseract::TessBaseAPI *api = engineFor({ candidate->language, false }, 0);
        if (!api)
            continue;
        readings.emplace_back(candidate, std::async(std::launch::async, [this, api, &grey, &layout] {
            return readUnits({ api }, grey, layout, readingUnits(grey, layout, 1));
        }));
    }
    bool kana = false;
    for (auto &[candidate, future] : readings) {
        std::optional<Reading> reading = future.get();
        if (candidate == &japanese && reading)
            kana = scriptShare(reading->lines, { QChar::Script_Hiragana, QChar::Script_Katakana }) >= 0.3;
        consider(*candidate, std::move(reading));
    }
    constexpr double sureKorean = 0.85;
    const bool settled = kana
        || (best && best->confidence >= sureKorean
            && scriptShare(best->lines, { QChar::Script_Hangul }) >= 0.5);
    if (!settled && !dataFileMissing(chinese.language)) {
        if (tesseract::TessBaseAPI *api = engineFor({ chinese.language, false }, 0))
            consider(chinese, readUnits({ api }, grey, layout, readingUnits(grey, layout, 1)));
    }
    if (best)
        readLatinWordsAgain(grey, layout, *best);
    return best;
}

void TesseractEngine::readLatinWordsAgain(const QImage &grey, const Layout &layout, Reading &reading)
{
    // The East Asian models read a Latin word among their text ("Wi-Fi" in a Korean sentence)
    // as doubtful signs ("\\1-1"): English reads such a word alone, and the surer reading is kept.
    const auto eastAsianIn
        = [](const QString &text) { return std::any_of(text.begin(), text.end(), isEastAsian); };
    tesseract::TessBaseAPI *english = nullptr;
    for (size_t l = 0; l < reading.lines.size(); ++l) {
        for (RecognizedWord &word : reading.lines[l].words) {
            if (word.confidence >= 0.6f || eastAsianIn(word.text))
                continue;
            if (!english && !dataFileMissing(QStringLiteral("eng")))
                english = engineFor({ QStringLiteral("eng"), false }, 0);
            if (!english)
                return;
            const int room = word.box.height() / 4;
            const ReadingUnit alone { word.box.adjusted(-room, -room, room, room).intersected(grey.rect()),
                reading.blockOfLine[l], {}, true };
            const std::optional<Reading> again = readPart(english, grey, alone, layout);
            // English reads Hangul or Han as doubtful Latin in turn: only a fairly sure reading,
            // and a clearly surer one, counts.
            if (!again || again->lines.size() != 1
                || again->confidence < std::max(word.confidence + 0.2, 0.5))
                continue;
            QStringList words;
            for (const RecognizedWord &read : again->lines.front().words)
                words << read.text;
            if (eastAsianIn(words.join(QString())))
                continue;
            word.text = words.join(QLatin1Char(' '));
            word.confidence = float(again->confidence);
        }
    }
}

std::optional<TesseractEngine::Reading> TesseractEngine::readLatin(const QImage &grey, const Layout &layout)
{
    if (!m_options.automaticLanguage.isEmpty() || dataFileMissing(QStringLiteral("eng")))
        return read(automaticLatinLanguage(), grey, layout);
    // English first: its model is small and quick, and most text on screens is English.
    // Text in another Latin-script language shows in the English reading, and only then is
    // the image read again: with that language's model when the reading tells which it is,
    // else with the script's model, which knows every language's letters (and is twenty
    // times the size: it is loaded only when such text comes, for one reader). It shows as
    // letters beyond ASCII (English reads "é" but not "ñ" or "ö"), as the language's little
    // words, or as many words English does not know ("contrasefia" for "contraseña"), which
    // code and addresses also have and the script's model reads better too.
    std::optional<Reading> english = read(QStringLiteral("eng"), grey, layout);
    if (!english)
        return english;
    tesseract::TessBaseAPI *api = engineFor({ QStringLiteral("eng"), false }, 0);
    int words = 0;
    int unknown = 0;
    bool beyondAscii = false;
    bool anyLetter = false;
    for (const RecognizedLine &line : english->lines) {
        for (const RecognizedWord &word : line.words) {
            anyLetter = anyLetter
                || std::any_of(word.text.begin(), word.text.end(), [](QChar c) { return c.isLetter(); });
            QString letters = word.text;
            while (!letters.isEmpty() && !letters.front().isLetter())
                letters.remove(0, 1);
            while (!letters.isEmpty() && !letters.back().isLetter())
                letters.chop(1);
            beyondAscii = beyondAscii || std::any_of(letters.begin(), letters.end(), [](QChar c) {
                return c.isLetter() && c.unicode() > 0x7f;
            });
            // Short words, numbers, code and addresses say nothing about the language.
            if (letters.size() < 3 || !std::all_of(letters.begin(), letters.end(), [](QChar c) {
                    return c.isLetter() || c == u'\'';
                }))
                continue;
            ++words;
            unknown += api && !api->IsValidWord(letters.toUtf8().constData()) ? 1 : 0;
        }
    }
    // Digits and signs alone (a clock, a price, a version) are read as well by English as by
    // the script's model: a second pass, and the script model's loading (1.5 s, 250 MB) for
    // it, would change nothing.
    if (!anyLetter)
        return english;
    const std::optional<QString> language = guessLatinLanguage(english->lines);
    if (!language && !beyondAscii && unknown * 5 < words)
        return english;
    std::optional<Reading> again;
    if (language && !dataFileMissing(*language))
        again = read(*language, grey, layout);
    else if (const QString script = automaticLatinLanguage(); script != u"eng")
        again = readWith(script, grey, layout, 1);
    return again ? again : english;
}

void TesseractEngine::cancelRecognition()
{
    ++m_cancelCount;
}

bool TesseractEngine::stopRequested() const
{
    return m_cancelCount != m_readingCount || std::chrono::steady_clock::now() > m_deadline;
}

std::optional<std::vector<TextObservation>> TesseractEngine::recognizeText(
    const QImage &image, const std::optional<QString> &languageIdentifier, ReadingNotes *notes)
{
    if (image.isNull())
        return std::nullopt;

    std::lock_guard lock(m_mutex);
    m_readingCount = m_cancelCount;
    m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_options.timeBudgetMs);
    // A stopped reading says why rather than that it failed.
    const auto stopped = [&] {
        if (m_cancelCount != m_readingCount)
            throw CaptureError(OCRServiceError::captureCancelled);
        throw CaptureError(
            QStringLiteral("Reading the selection of %1 × %2 pixels took longer than %3 seconds and "
                           "was stopped. Select a smaller area, or only the text you need.")
                .arg(image.width())
                .arg(image.height())
                .arg(m_options.timeBudgetMs / 1000));
    };
    const QImage grey = m_options.prepareImage ? prepareForRecognition(image, m_options.preparation)
                                               : greyscaleOnWhite(image);
    if (grey.isNull())
        return std::nullopt;

    Layout layout;
    layout.pageLayout = qint64(grey.width()) * grey.height() > m_options.pageLayoutPixels;
    layout.blocks
        = layout.pageLayout ? std::vector<TextBlock> { TextBlock { grey.rect(), {}, {} } } : textBlocks(grey);
    layout.background = backgroundGrey(grey);

    std::optional<Reading> reading;
    if (const auto language = tesseractLanguage(languageIdentifier)) {
        reading = read(*language, grey, layout);
        static const QStringList eastAsianModels = { QStringLiteral("jpn"), QStringLiteral("kor"),
            QStringLiteral("chi_sim"), QStringLiteral("chi_tra") };
        if (reading && eastAsianModels.contains(*language))
            readLatinWordsAgain(grey, layout, *reading);
    } else {
        // Automatic: the script is told from the shapes on the prepared image, so Latin text
        // pays for no East Asian model and East Asian text for no Latin reading. Only when the
        // East Asian models find none of their own characters (digits, a clock) is it read as
        // Latin after all.
        const bool eastAsian = m_options.detectEastAsian && m_options.automaticLanguage.isEmpty()
            && detectScript(scriptFeatures(grey)) == WritingScript::eastAsian;
        if (eastAsian)
            reading = readEastAsian(grey, layout);
        if (!reading)
            reading = readLatin(grey, layout);
    }
    if (stopRequested())
        stopped();
    if (!reading)
        return std::nullopt;
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
                inked += isInk(row[x], layout.background) ? 1 : 0;
        }
        return box.isEmpty() ? 0.0 : double(inked) / (double(box.width()) * box.height());
    };
    // Nor is a doubtful line whose box holds almost no ink (tiles of icons read as "a eeese"
    // across the whole image), nor one whose letters are as wide as they are tall: those are
    // icons, read a shape at a time (a magnifier and a gear as "Q=HOR"). The letters of text
    // take half as many inked columns as the line is tall, East Asian characters, counted as
    // two, too; the blanks of spaces the engine left out of a word do not count.
    const auto widthPerCharacter = [&](const RecognizedLine &line) {
        double width = 0;
        double units = 0;
        std::vector<int> heights;
        for (const RecognizedWord &word : line.words) {
            const QRect box = word.box.intersected(grey.rect());
            for (int x = box.left(); x <= box.right(); ++x) {
                bool inked = false;
                for (int y = box.top(); y <= box.bottom() && !inked; ++y)
                    inked = isInk(grey.constScanLine(y)[x], layout.background);
                width += inked ? 1 : 0;
            }
            heights.push_back(word.box.height());
            for (QChar c : word.text)
                units += c.isSpace() ? 0 : isEastAsian(c) ? 2 : 1;
        }
        if (heights.empty() || units == 0)
            return 0.0;
        std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
        return width / units / std::max(1, heights[heights.size() / 2]);
    };
    std::vector<bool> junk(reading->lines.size(), false);
    for (size_t l = 0; l < reading->lines.size(); ++l) {
        const RecognizedLine &line = reading->lines[l];
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
        junk[l] = (characters <= 2 && !brackets && best < 0.7f)
            || (best < 0.5f && (ink >= 0.6 || ink < 0.04 || widthPerCharacter(line) >= 0.75));
    }
    // Nor is a handful of doubtful characters in all ("Sie 5" from a code's modules) text; a
    // sure word, or many doubtful characters (a small address), is.
    qsizetype characters = 0;
    bool sure = false;
    for (size_t l = 0; l < reading->lines.size(); ++l) {
        for (const RecognizedWord &word : reading->lines[l].words) {
            characters += junk[l] ? 0 : word.text.size();
            sure = sure || (!junk[l] && word.confidence >= 0.5f);
        }
    }
    if (notes)
        notes->inkLeftUnread = hasInkOutside(grey, layout.background, reading->lines, junk);
    if (!sure && characters < 6)
        return std::vector<TextObservation> {};
    // Each block is put together on its own: one may be code in a monospaced font beside
    // prose, and a table's cells are told apart by its gutters.
    std::vector<TextObservation> observations;
    for (size_t b = 0; b < layout.blocks.size(); ++b) {
        std::vector<RecognizedLine> lines;
        for (size_t l = 0; l < reading->lines.size(); ++l) {
            if (reading->blockOfLine[l] == b && !junk[l])
                lines.push_back(std::move(reading->lines[l]));
        }
        // Code cut into blocks keeps its indentation against the leftmost block above or below.
        std::optional<int> indentFrom;
        for (const TextBlock &other : layout.blocks) {
            const QRect &a = other.rect, &c = layout.blocks[b].rect;
            if (a.left() <= c.right() && c.left() <= a.right())
                indentFrom = std::min(indentFrom.value_or(a.left()), a.left());
        }
        std::vector<TextObservation> block = assembleLines(lines, grey, layout.blocks[b].gutters, indentFrom);
        std::move(block.begin(), block.end(), std::back_inserter(observations));
    }
    return observations;
}
