#include "TesseractEngine.h"

#include "RecognitionLogging.h"
#include "TessdataLocation.h"
#include "TesseractThreads.h"

#include "JunkLines.h"
#include "OCRServiceError.h"
#include "ScriptDetection.h"

#include <QDebug>
#include <QFile>
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

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// Tesseract allocates results with new[]; this frees them on every path.
struct TextDeleter {
    void operator()(char *text) const { delete[] text; }
};
using TesseractText = std::unique_ptr<char, TextDeleter>;

// The image's resolution for Tesseract: without one it guesses from the text size and says so
// on stderr.
int sourceResolution(const QImage &image)
{
    const int dpi = int(std::lround(image.dotsPerMeterX() * 0.0254));
    return dpi >= 70 ? dpi : 96;
}

#if defined(__x86_64__)
__attribute__((target("avx"))) void zeroUpperVectorHalves()
{
    _mm256_zeroupper();
}
#endif

// Tesseract's wide vector code leaves the upper halves of the vector registers in use, and
// this thread's plain SSE code after it (the line assembly, the code retries) then ran up to
// four times slower: 5 ms against 22 for a paragraph's assembly, measured. Clearing them
// costs a cycle.
void afterTesseract()
{
#if defined(__x86_64__)
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx)
        zeroUpperVectorHalves();
#endif
}

} // namespace

TesseractEngine::TesseractEngine(TesseractEngineOptions options)
    : m_options(std::move(options))
{
    [[maybe_unused]] static const bool told = [] {
        if (!tesseractRegionsAreOurs())
            qCWarning(
                lcRecognition, "Tesseract's OpenMP regions go through libgomp: recognition will be slower");
        return true;
    }();
}

TesseractEngine::~TesseractEngine() = default;

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

    auto api = initialisedEngine(configuration.language, tesseract::OEM_LSTM_ONLY);
    if (!api) {
        qCWarning(lcRecognition, "Tesseract could not load language data \"%s\"; install the package %s",
            qPrintable(configuration.language),
            qPrintable(TessdataLocation::package(configuration.language)));
        return nullptr;
    }
    // A screen capture is one block of text far more often than a page layout: read as one
    // block, a table keeps its rows instead of being read column by column, and CJK lines
    // are not split apart. Pages keep the layout analysis.
    api->SetPageSegMode(configuration.pageLayout ? tesseract::PSM_AUTO : tesseract::PSM_SINGLE_BLOCK);
    auto *raw = api.get();
    m_engines.emplace(key, std::move(api));
    return raw;
}

std::unique_ptr<tesseract::TessBaseAPI> TesseractEngine::initialisedEngine(
    const QString &language, tesseract::OcrEngineMode mode)
{
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    const auto &directory = dataDirectory();
    const QByteArray path = directory ? QFile::encodeName(*directory) : QByteArray();
    if (api->Init(directory ? path.constData() : nullptr, language.toUtf8().constData(), mode) != 0)
        return nullptr;
    // Its progress chatter ("Empty page!!", "Detected 5 diacritics") is no message for users.
    api->SetVariable("debug_file", "/dev/null");
    return api;
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
    api->SetSourceResolution(sourceResolution(grey));
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

std::vector<TesseractEngine::ReadingUnit> TesseractEngine::pageBlocks(
    tesseract::TessBaseAPI *api, const QImage &grey, int readers)
{
    api->SetImage(grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
    api->SetSourceResolution(sourceResolution(grey));
    std::vector<QRect> blocks;
    qint64 textArea = 0;
    if (std::unique_ptr<tesseract::PageIterator> block { api->AnalyseLayout() }) {
        do {
            int left = 0, top = 0, right = 0, bottom = 0;
            if (!PTIsTextType(block->BlockType())
                || !block->BoundingBox(tesseract::RIL_BLOCK, &left, &top, &right, &bottom))
                continue;
            blocks.emplace_back(QPoint(left, top), QPoint(right - 1, bottom - 1));
            blocks.back() &= grey.rect();
            textArea += qint64(blocks.back().width()) * blocks.back().height();
        } while (block->Next(tesseract::RIL_BLOCK));
    }
    api->Clear();
    // Blocks that overlap (a drop cap beside its paragraph's first lines) share ink that a cut
    // at their rectangles would read twice or in the wrong place: such a page is read whole.
    for (size_t a = 0; a < blocks.size(); ++a) {
        for (size_t b = a + 1; b < blocks.size(); ++b) {
            if (blocks[a].intersects(blocks[b]))
                return {};
        }
    }
    std::vector<ReadingUnit> units;
    for (const QRect &rect : blocks) {
        if (rect.isEmpty())
            continue;
        // A block of a good share of the text (a page's main column) would keep one reader
        // busy while the other waits: it is cut into runs of whole lines, read in turn.
        const bool large = qint64(rect.width()) * rect.height() * readers > textArea;
        const QImage area = grey.copy(rect);
        for (const QRect &part : large ? readingParts(area, readers) : std::vector<QRect> { area.rect() })
            units.push_back({ part.translated(rect.topLeft()), 0, {} });
    }
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
    std::vector<ReadingUnit> units;
    bool blockEngines = !layout.pageLayout;
    if (layout.pageLayout && readers > 1) {
        // A page's recognition takes most of its time, its layout analysis little: the layout
        // is found once, and its blocks are read by all the readers at once.
        tesseract::TessBaseAPI *api = engineFor({ language, true }, 0);
        if (!api)
            return std::nullopt;
        units = pageBlocks(api, grey, readers);
        blockEngines = !units.empty();
    }
    if (units.empty())
        units = readingUnits(grey, layout, readers);
    if (units.empty())
        return Reading {};
    std::vector<tesseract::TessBaseAPI *> engines;
    for (int r = 0; r < std::max(1, std::min(readers, int(units.size()))); ++r) {
        engines.push_back(engineFor({ language, !blockEngines }, r));
        if (!engines.back())
            return std::nullopt;
    }
    return readUnits(engines, grey, layout, units);
}

std::optional<bool> TesseractEngine::pageLooksEastAsian(const QImage &grey)
{
    if (!m_pageScripts) {
        if (dataFileMissing(QStringLiteral("osd")))
            return std::nullopt;
        // The script model is of Tesseract's older engine.
        m_pageScripts = initialisedEngine(QStringLiteral("osd"), tesseract::OEM_TESSERACT_ONLY);
        if (!m_pageScripts)
            return std::nullopt;
        m_pageScripts->SetPageSegMode(tesseract::PSM_OSD_ONLY);
    }
    m_pageScripts->SetImage(grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
    m_pageScripts->SetSourceResolution(sourceResolution(grey));
    int orientation = 0;
    float orientationConfidence = 0;
    const char *script = nullptr;
    float scriptConfidence = 0;
    const bool found = m_pageScripts->DetectOrientationScript(
        &orientation, &orientationConfidence, &script, &scriptConfidence);
    const QString name = found && script ? QString::fromLatin1(script) : QString();
    m_pageScripts->Clear();
    if (name.isEmpty())
        return std::nullopt;
    qCDebug(
        lcRecognition, "Tesseract sees the page as %s (confidence %.1f)", qPrintable(name), scriptConfidence);
    static const QStringList eastAsian
        = { QStringLiteral("Han"), QStringLiteral("Hangul"), QStringLiteral("Hiragana"),
              QStringLiteral("Katakana"), QStringLiteral("Japanese"), QStringLiteral("Korean") };
    return eastAsian.contains(name);
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
        bool eastAsian = m_options.detectEastAsian && m_options.automaticLanguage.isEmpty()
            && detectScript(scriptFeatures(grey)) == WritingScript::eastAsian;
        // On a page, the ink rows of columns that stand side by side run into each other and
        // can look like East Asian squares (a magazine page read as Japanese and Korean used up
        // the whole time budget): Tesseract's script detection, made for pages, has the last
        // word there.
        if (eastAsian && layout.pageLayout)
            eastAsian = pageLooksEastAsian(grey).value_or(true);
        if (eastAsian)
            reading = readEastAsian(grey, layout);
        if (!reading)
            reading = readLatin(grey, layout);
    }
    afterTesseract();
    // A reading finished within the budget is kept when a later, optional one ran out of it
    // (the script's model after English); only a stop by the user drops it.
    if (m_cancelCount != m_readingCount || (!reading && std::chrono::steady_clock::now() > m_deadline))
        stopped();
    if (!reading)
        return std::nullopt;
    // Lines read in icons, photos and shapes are dropped, so a selection without text falls
    // through to its codes or to "no text".
    const std::vector<bool> junk = junkLines(grey, layout.background, reading->lines);
    if (notes)
        notes->inkLeftUnread = hasInkOutside(grey, layout.background, reading->lines, junk);
    if (!holdsText(reading->lines, junk))
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
