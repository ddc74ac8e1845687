#pragma once

#include "ImagePreparation.h"
#include "RecognitionEngine.h"
#include "TextLayout.h"
#include "TextLineAssembly.h"

#include <QRect>
#include <QString>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include <tesseract/publictypes.h>

namespace tesseract {
class TessBaseAPI;
}

struct TesseractEngineOptions {
    // The tessdata directory; absent: TESSDATA_PREFIX, else the first of the usual system
    // folders that holds data, else the path compiled into libtesseract.
    std::optional<QString> dataPath;
    bool prepareImage = true;
    PreparationOptions preparation;
    // Traineddata for Latin-script text when no language is chosen; empty: script/Latin
    // when installed, else eng.
    QString automaticLanguage;
    // With no language chosen, East Asian text (told from the shapes on the prepared image)
    // is read with the Japanese, Chinese and Korean models.
    bool detectEastAsian = true;
    // How many engines read the parts of one image at once (a part is a run of whole lines).
    int readers = 2;
    // Larger prepared images (pages, whole windows) keep Tesseract's own page layout, which
    // finds columns, and are read in one piece.
    qint64 pageLayoutPixels = 2'500'000;
    // How long one image may take: beyond it the reading stops with a message that names the
    // image's size (a dense page or noise can keep the engine busy for minutes).
    int timeBudgetMs = 10'000;
};

// Text recognition with libtesseract's LSTM engine. Initialised engines are kept for the
// life of this object, one per language configuration and reader: initialising costs
// 120-600 ms, more than recognising a typical capture. Calls are serialised; any thread may
// make them.
class TesseractEngine : public TextRecognitionEngine {
public:
    explicit TesseractEngine(TesseractEngineOptions options = {});
    ~TesseractEngine() override;

    std::optional<std::vector<TextObservation>> recognizeText(const QImage &image,
        const std::optional<QString> &languageIdentifier, ReadingNotes *notes = nullptr) override;

    // Loads the engines that recognizeText() will use for this language, so the first capture
    // does not wait for them (up to 0.6 s). Safe to call from another thread.
    void cancelRecognition() override;
    void warmUp(const std::optional<QString> &languageIdentifier);
    // The same, then a little text read as a capture reads it: the first capture of a session
    // then takes no longer than the next.
    void warmUpAndRead(const std::optional<QString> &languageIdentifier);

    // Tesseract's name for one of the application's language identifiers; absent for an
    // unknown or absent identifier (automatic).
    static std::optional<QString> tesseractLanguage(const std::optional<QString> &languageIdentifier);

private:
    struct Configuration {
        QString language;
        bool pageLayout = false;
    };

    struct Reading {
        std::vector<RecognizedLine> lines;
        std::vector<size_t> blockOfLine; // which of the layout's blocks each line is from
        double confidence = 0; // mean word confidence, 0-1
        int words = 0;
    };

    // A rectangle of the prepared image that one engine reads in one call, with the rules of
    // a table painted over first.
    struct ReadingUnit {
        QRect rect;
        size_t block = 0;
        std::vector<QRect> clear;
        bool skippedLine = false; // a line the reading of its part left out, read alone
    };

    struct Layout {
        std::vector<TextBlock> blocks;
        bool pageLayout = false;
        int background = 255;
    };

    QString automaticLatinLanguage();
    std::optional<Reading> read(const QString &language, const QImage &grey, const Layout &layout);
    std::optional<Reading> readWith(
        const QString &language, const QImage &grey, const Layout &layout, int readers);
    std::optional<Reading> readUnits(const std::vector<tesseract::TessBaseAPI *> &engines, const QImage &grey,
        const Layout &layout, const std::vector<ReadingUnit> &units);
    std::optional<Reading> readLatin(const QImage &grey, const Layout &layout);
    std::optional<Reading> readEastAsian(const QImage &grey, const Layout &layout);
    // Tesseract's own script detection, made for pages; nothing when it cannot tell or its data
    // is missing.
    std::optional<bool> pageLooksEastAsian(const QImage &grey);
    void readLatinWordsAgain(const QImage &grey, const Layout &layout, Reading &reading);
    std::optional<Reading> readPart(
        tesseract::TessBaseAPI *api, const QImage &grey, const ReadingUnit &unit, const Layout &layout);
    void readSkippedLines(tesseract::TessBaseAPI *api, const QImage &grey, const ReadingUnit &unit,
        const Layout &layout, Reading &reading, double &confidenceSum);
    static std::vector<ReadingUnit> readingUnits(const QImage &grey, const Layout &layout, int readers);
    // The text blocks of a page in the order of Tesseract's layout analysis, the larger ones cut
    // into runs of whole lines, for the readers to share; nothing when it finds none.
    std::vector<ReadingUnit> pageBlocks(tesseract::TessBaseAPI *api, const QImage &grey, int readers);
    tesseract::TessBaseAPI *engineFor(const Configuration &configuration, int reader);
    // A new engine for the language's data, quiet on stderr; nothing when it does not load.
    std::unique_ptr<tesseract::TessBaseAPI> initialisedEngine(
        const QString &language, tesseract::OcrEngineMode mode);
    const std::optional<QString> &dataDirectory();
    bool dataFileMissing(const QString &language);

    TesseractEngineOptions m_options;
    std::optional<std::optional<QString>> m_dataDirectory;
    std::optional<QString> m_automaticLanguage;
    std::map<QString, std::unique_ptr<tesseract::TessBaseAPI>> m_engines;
    std::unique_ptr<tesseract::TessBaseAPI> m_pageScripts;
    std::mutex m_mutex;
    // The reading under way stops when the count moves on from the one it started with, or
    // at its deadline; readers' threads look at both, between words.
    std::atomic<quint64> m_cancelCount = 0;
    quint64 m_readingCount = 0;
    std::chrono::steady_clock::time_point m_deadline;
    bool stopRequested() const;
    std::mutex m_poolMutex; // the engine pool, filled from the readers' threads too
};
