#include "capture/TesseractEngine.h"
#include "capture/OCRServiceError.h"
#include "capture/TesseractThreads.h"
#include "capture/TestData.h"
#include "capture/TextMetrics.h"

#include <QFont>
#include <QFuture>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>
#include <gtest/gtest.h>

#include <ctime>
#include <thread>

using namespace Qt::StringLiterals;

extern "C" {
void GOMP_parallel(void (*body)(void *), void *data, unsigned threads, unsigned flags);
void GOMP_parallel_sections(
    void (*body)(void *), void *data, unsigned threads, unsigned count, unsigned flags);
unsigned GOMP_sections_next();
void GOMP_sections_end_nowait();
}

namespace {

// The snippet inside a 4-pixel frame: a selection drawn a little past a window.
QImage framed(const QImage &snippet, QColor frame)
{
    QImage image(snippet.width() + 8, snippet.height() + 8, QImage::Format_RGB32);
    image.fill(frame);
    QPainter(&image).drawImage(4, 4, snippet);
    return image;
}

} // namespace

// Error rates with room above Tesseract 5.3's, not for a broken engine; one observation per
// line, without line breaks. A null image and missing language data are failures.
TEST(TesseractEngine, ReadsScreenTextWithFewErrors)
{
    struct Row {
        QString name;
        QImage image;
        std::optional<QString> language;
        QString reference;
        double maximumErrorRate;
    };
    std::vector<Row> rows;
    // screen_code_helloworld is read exactly by the command line (cli.*); languages, sizes,
    // dark themes and chat bubbles by the accuracy gate.
    for (const auto &[name, bound] :
        { std::pair { "screen_link_tiny", 0.1 }, { "screen_timer_013758", 0.12 } }) {
        const QString base = u"ocr/"_s + QLatin1String(name);
        for (const std::optional<QString> &language : { std::optional(u"en-US"_s), std::optional<QString>() })
            rows.push_back({ base + u" "_s + language.value_or(u"automatic"_s),
                loadTestImage(base + u".png"_s), language, loadTestText(base + u".txt"_s), bound });
    }
    const QStringList settings = { u"Settings"_s, u"Appearance"_s, u"Notifications"_s,
        u"Privacy & Security"_s, u"Keyboard Shortcuts"_s };
    const QStringList notice = { u"Notifications are paused"_s, u"Resume at 9:30 AM"_s, u"Edit schedule"_s };
    const QString transparent = u"Transparent text works"_s;
    const QString en = u"en-US"_s;
    QImage blank(200, 60, QImage::Format_RGB32);
    blank.fill(Qt::white);
    rows.insert(rows.end(),
        {
            // Black text on a transparent background, as files may have it.
            { u"dark on transparent"_s, renderSnippet({ transparent }, 24, Qt::black, Qt::transparent), en,
                transparent, 0 },
            // Framed by what lies around it, the text is still read as the text it is, in its script.
            { u"framed black"_s, framed(renderSnippet(settings, 12, Qt::black, Qt::white), Qt::black),
                std::nullopt, settings.join(u'\n'), 0.05 },
            { u"framed white"_s,
                framed(renderSnippet(settings, 12, QColor(230, 230, 230), QColor(32, 33, 36)), Qt::white),
                std::nullopt, settings.join(u'\n'), 0.05 },
            { u"blank"_s, blank, en, QString(), 0 },
            // 8 px text is dense enough to look like an icon's ink; its doubtful last line
            // ("Eat schedute") stands where the sure lines above it do and is kept.
            { u"8 px line under sure ones"_s,
                renderSnippet(notice, 8, QColor(32, 32, 32), QColor(250, 250, 250), u"Open Sans"_s), en,
                notice.join(u'\n'), 0.1 },
            { u"render_testocr"_s, loadTestImage(u"ocr/render_testocr.png"_s), en,
                loadTestText(u"ocr/render_testocr.txt"_s), 0.1 },
        });
    TesseractEngine engine;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        const auto observations = engine.recognizeText(row.image, row.language);
        ASSERT_TRUE(observations.has_value());
        EXPECT_EQ(qsizetype(observations->size()), row.reference.split(u'\n', Qt::SkipEmptyParts).size());
        for (const TextObservation &observation : *observations) {
            ASSERT_EQ(observation.topCandidates.size(), 1);
            EXPECT_FALSE(observation.topCandidates.first().contains(u'\n'));
            EXPECT_FALSE(observation.topCandidates.first().trimmed().isEmpty());
        }
        if (row.maximumErrorRate == 0)
            EXPECT_EQ(joined(observations), row.reference);
        EXPECT_LE(characterErrorRate(row.reference, joined(observations)), row.maximumErrorRate)
            << "read: " << joined(observations).toStdString();
    }
    EXPECT_FALSE(engine.recognizeText(QImage(), en).has_value()) << "a null image is a failure";
    QTemporaryDir emptyData;
    TesseractEngine withoutData(TesseractEngineOptions { .dataPath = emptyData.path() });
    for (const std::optional<QString> &language : { std::optional(u"ja-JP"_s), std::optional<QString>() })
        EXPECT_FALSE(withoutData.recognizeText(rows.front().image, language).has_value())
            << "missing language data is a failure";
}

// Whether ink was left outside the words read decides whether a capture looks harder for
// codes: text alone leaves none, a code beside text does.
TEST(TesseractEngine, NotesInkLeftOutsideTheWords)
{
    TesseractEngine engine;
    const QImage text = renderSnippet(
        { QStringLiteral("Meet me at the station at noon."), QStringLiteral("Bring the tickets and a map.") },
        14, Qt::black, Qt::white);
    const QImage code = loadTestImage(QStringLiteral("barcodes/qrcode-2_10.png"));
    QImage beside(
        text.width() + code.width() + 40, std::max(text.height(), code.height()) + 20, QImage::Format_RGB32);
    beside.fill(Qt::white);
    QPainter painter(&beside);
    painter.drawImage(10, 10, text);
    painter.drawImage(text.width() + 30, 10, code);
    painter.end();
    for (const auto &[name, image, unread] :
        { std::tuple { "text alone", text, false }, std::tuple { "a code beside text", beside, true } }) {
        SCOPED_TRACE(name);
        ReadingNotes notes;
        notes.inkLeftUnread = !unread;
        ASSERT_TRUE(engine.recognizeText(image, std::nullopt, &notes).has_value());
        EXPECT_EQ(notes.inkLeftUnread, unread);
    }
}

// A page is read block by block by both readers at once; the text must come out as one reader
// reads the page whole: each block once, where it stands, in the layout's order.
TEST(TesseractEngine, PageReadByTwoReadersReadsAsByOne)
{
    // Any image counts as a page here, so that small ones take that path; no time budget, which
    // a loaded machine under the sanitizers can overrun.
    TesseractEngine one(
        TesseractEngineOptions { .readers = 1, .pageLayoutPixels = 1, .timeBudgetMs = 600'000 });
    TesseractEngine two(
        TesseractEngineOptions { .readers = 2, .pageLayoutPixels = 1, .timeBudgetMs = 600'000 });
    for (const char *file : { "columns2_00.png", "sidebar_00.png", "paragraph_00.png" }) {
        SCOPED_TRACE(file);
        const QImage page(QStringLiteral(GLYPHWELL_KINDS_DATA "/") + QLatin1String(file));
        ASSERT_FALSE(page.isNull());
        const QString whole = joined(one.recognizeText(page, QStringLiteral("en-US")));
        EXPECT_GT(whole.size(), 100);
        EXPECT_EQ(joined(two.recognizeText(page, QStringLiteral("en-US"))), whole);
    }
}

TEST(TesseractEngine, WarmingUpOnAnotherThreadWhileRecognizingIsSafe)
{
    TesseractEngine engine;
    const QImage image = loadTestImage(QStringLiteral("ocr/screen_code_helloworld.png"));
    QFuture<void> warmUp = QtConcurrent::run([&engine] { engine.warmUpAndRead(std::nullopt); });
    const auto observations = engine.recognizeText(image, QStringLiteral("en-US"));
    warmUp.waitForFinished();
    EXPECT_EQ(joined(observations), QStringLiteral("Hello, World!"));
    EXPECT_EQ(joined(engine.recognizeText(image, std::nullopt)), QStringLiteral("Hello, World!"));
}

// A dense selection stops at the time budget with a message naming its size, and a reading
// stopped from another thread (Escape, a new capture, quitting) ends at once as cancelled.
TEST(TesseractEngine, ReadingStopsAtItsBudgetAndWhenCancelled)
{
    QStringList page;
    for (int i = 0; i < 90; ++i)
        page.append(
            QStringLiteral("Line %1 of a dense page that takes the engine a long time to read").arg(i));
    const QImage dense = renderSnippet(page, 14, Qt::black, Qt::white);
    struct Case {
        const char *name;
        int budgetMs;
        bool cancel;
        QString message;
    };
    const Case cases[] = {
        { "budget", 300, false,
            QStringLiteral("Reading the selection of %1 × %2 pixels took longer than 0 seconds") },
        { "cancel", 60'000, true, errorDescription(OCRServiceError::captureCancelled) },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TesseractEngine engine(TesseractEngineOptions { .timeBudgetMs = c.budgetMs });
        engine.warmUp(QStringLiteral("en-US"));
        const std::clock_t workBefore = std::clock();
        QFuture<void> cancelling;
        if (c.cancel)
            cancelling = QtConcurrent::run([&engine] {
                QThread::msleep(300);
                engine.cancelRecognition();
            });
        try {
            (void)engine.recognizeText(dense, QStringLiteral("en-US"));
            ADD_FAILURE() << "the whole page was read";
        } catch (const CaptureError &error) {
            EXPECT_TRUE(
                error.localizedDescription().startsWith(c.message.arg(dense.width()).arg(dense.height())))
                << error.localizedDescription().toStdString();
        }
        cancelling.waitForFinished();
        // Stopped soon after: the whole page takes the engine many seconds. Counted in the
        // process's CPU time, which a busy machine does not stretch as it does the wall clock.
        EXPECT_LT((std::clock() - workBefore) * 1000 / CLOCKS_PER_SEC, 3000);
        // The next reading is not affected.
        EXPECT_TRUE(engine
                        .recognizeText(renderSnippet({ QStringLiteral("Hello") }, 14, Qt::black, Qt::white),
                            QStringLiteral("en-US"))
                        .has_value());
    }
}

// On a page, the ink rows of columns side by side run together and look East Asian to the
// shapes alone: Automatic still reads a magazine page's Latin text in its script, with about
// the work English alone takes, not after the Japanese and Korean models (on the whole page
// they used up the time budget, and the reading failed).
TEST(TesseractEngine, PageOfColumnsIsReadInItsScript)
{
    const QImage page = QImage(QStringLiteral(GLYPHWELL_KINDS_DATA "/../ocr/doc_unlv_8071_093.png"))
                            .copy(800, 1000, 1700, 1500);
    TesseractEngine engine(TesseractEngineOptions { .timeBudgetMs = 600'000 });
    engine.warmUp(std::nullopt);
    const auto cpuMs = [] { return double(std::clock()) * 1000 / CLOCKS_PER_SEC; };
    double start = cpuMs();
    const QString english = joined(engine.recognizeText(page, u"en-US"_s));
    const double englishMs = cpuMs() - start;
    start = cpuMs();
    EXPECT_EQ(joined(engine.recognizeText(page, std::nullopt)), english);
    // Counted in CPU time, which a busy machine does not stretch: 1.2 to 1.5 times English's,
    // the models of the other script 3 to 7 times.
    EXPECT_LT(cpuMs() - start, 2 * englishMs) << "English alone: " << englishMs << " ms";
    EXPECT_GT(english.size(), 500);
}

// Tesseract's OpenMP regions are bound to the program's entry points and run on the calling
// thread, as GCC's outlined bodies expect of a team of one: a region once, the sections of a
// region each once, in order.
TEST(TesseractEngine, OpenMPRegionsRunOnTheCallingThread)
{
    EXPECT_TRUE(tesseractRegionsAreOurs());
    struct Visits {
        std::thread::id thread;
        std::vector<unsigned> sections;
    } visits;
    GOMP_parallel(
        [](void *data) { static_cast<Visits *>(data)->thread = std::this_thread::get_id(); }, &visits, 4, 0);
    EXPECT_EQ(visits.thread, std::this_thread::get_id());
    GOMP_parallel_sections(
        [](void *data) {
            auto *visits = static_cast<Visits *>(data);
            for (unsigned section = GOMP_sections_next(); section != 0; section = GOMP_sections_next())
                visits->sections.push_back(section);
            GOMP_sections_end_nowait();
        },
        &visits, 4, 3, 0);
    EXPECT_EQ(visits.sections, (std::vector<unsigned> { 1, 2, 3 }));
}
