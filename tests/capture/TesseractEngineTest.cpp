#include "capture/TesseractEngine.h"
#include "capture/TessdataLocation.h"
#include "capture/TestData.h"
#include "capture/TextMetrics.h"

#include <QElapsedTimer>
#include <QThread>
#include "capture/OCRServiceError.h"
#include <QFont>
#include <QPainter>
#include <QTemporaryDir>

#include <QFontDatabase>
#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>
#include <gtest/gtest.h>

namespace {

QString joined(const std::vector<TextObservation> &observations)
{
    QStringList lines;
    for (const TextObservation &observation : observations)
        lines.append(observation.topCandidates.value(0));
    return lines.join(QLatin1Char('\n'));
}

// A snippet as it looks on screen: small antialiased text without any margin to spare.
QImage renderSnippet(const QStringList &lines, int pixelSize, QColor foreground, QColor background,
    const QString &family = QStringLiteral("DejaVu Sans"))
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    const int lineHeight = pixelSize * 3 / 2;
    QImage image(pixelSize * 30, lineHeight * int(lines.size()) + pixelSize, QImage::Format_RGB32);
    image.fill(background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(foreground);
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(QPoint(pixelSize / 2, pixelSize + i * lineHeight), lines[i]);
    return image;
}

struct Screenshot {
    const char *name;
    double maximumErrorRate;
};

// Bounds leave room above what Tesseract 5.3 reads today (0-2 %), not for a broken engine.
const Screenshot screenshots[] = {
    { "render_testocr", 0.03 },
    { "screen_code_helloworld", 0.08 },
    { "screen_link_tiny", 0.1 },
    { "screen_timer_013758", 0.12 },
};

void expectScreenshotsRead(TesseractEngine &engine, const std::optional<QString> &language)
{
    for (const Screenshot &screenshot : screenshots) {
        SCOPED_TRACE(screenshot.name);
        const QString base = QStringLiteral("ocr/") + QLatin1String(screenshot.name);
        const auto observations
            = engine.recognizeText(loadTestImage(base + QStringLiteral(".png")), language);
        ASSERT_TRUE(observations.has_value());
        const QString text = joined(*observations);
        const double errorRate = characterErrorRate(loadTestText(base + QStringLiteral(".txt")), text);
        EXPECT_LE(errorRate, screenshot.maximumErrorRate) << "read: " << text.toStdString();
    }
}

} // namespace

TEST(TesseractEngine, ReadsEnglishScreenshotsWithFewErrors)
{
    TesseractEngine engine;
    expectScreenshotsRead(engine, QStringLiteral("en-US"));
}

TEST(TesseractEngine, AutomaticLanguageReadsEnglishScreenshotsWithFewErrors)
{
    TesseractEngine engine;
    expectScreenshotsRead(engine, std::nullopt);
}

TEST(TesseractEngine, GivesOneObservationPerLineWithoutLineBreaks)
{
    TesseractEngine engine;
    const auto observations = engine.recognizeText(
        loadTestImage(QStringLiteral("ocr/render_testocr.png")), QStringLiteral("en-US"));
    ASSERT_TRUE(observations.has_value());
    const QStringList expectedLines
        = loadTestText(QStringLiteral("ocr/render_testocr.txt")).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(observations->size(), size_t(expectedLines.size()));
    for (const TextObservation &observation : *observations) {
        ASSERT_EQ(observation.topCandidates.size(), 1);
        EXPECT_FALSE(observation.topCandidates.first().contains(QLatin1Char('\n')));
        EXPECT_FALSE(observation.topCandidates.first().trimmed().isEmpty());
    }
}

TEST(TesseractEngine, ReadsSmallLightOnDarkText)
{
    const QStringList lines = { QStringLiteral("Quarterly results were better"),
        QStringLiteral("than expected in every region") };
    TesseractEngine engine;
    const auto observations = engine.recognizeText(
        renderSnippet(lines, 11, QColor(230, 230, 230), QColor(30, 32, 36)), QStringLiteral("en-US"));
    ASSERT_TRUE(observations.has_value());
    EXPECT_LE(characterErrorRate(lines.join(QLatin1Char('\n')), joined(*observations)), 0.05)
        << joined(*observations).toStdString();
}

TEST(TesseractEngine, ReadsGermanWithItsOwnData)
{
    const QStringList lines = { QStringLiteral("Größere Änderungen übernehmen") };
    TesseractEngine engine;
    const auto observations
        = engine.recognizeText(renderSnippet(lines, 14, Qt::black, Qt::white), QStringLiteral("de-DE"));
    ASSERT_TRUE(observations.has_value());
    EXPECT_LE(characterErrorRate(lines.first(), joined(*observations)), 0.05)
        << joined(*observations).toStdString();
}

TEST(TesseractEngine, BlankImageGivesNoObservations)
{
    QImage blank(200, 60, QImage::Format_RGB32);
    blank.fill(Qt::white);
    TesseractEngine engine;
    const auto observations = engine.recognizeText(blank, QStringLiteral("en-US"));
    ASSERT_TRUE(observations.has_value());
    EXPECT_TRUE(observations->empty());
}

TEST(TesseractEngine, NullImageIsAFailure)
{
    TesseractEngine engine;
    EXPECT_FALSE(engine.recognizeText(QImage(), QStringLiteral("en-US")).has_value());
}

TEST(TesseractEngine, MissingLanguageDataIsAFailure)
{
    QTemporaryDir emptyData;
    ASSERT_TRUE(emptyData.isValid());
    TesseractEngine engine(TesseractEngineOptions { .dataPath = emptyData.path() });
    const QImage image = renderSnippet({ QStringLiteral("text") }, 14, Qt::black, Qt::white);
    EXPECT_FALSE(engine.recognizeText(image, QStringLiteral("ja-JP")).has_value());
    EXPECT_FALSE(engine.recognizeText(image, std::nullopt).has_value());
}

TEST(TesseractEngine, MapsLanguageIdentifiersToTraineddata)
{
    EXPECT_EQ(TesseractEngine::tesseractLanguage(QStringLiteral("en-US")), QStringLiteral("eng"));
    EXPECT_EQ(TesseractEngine::tesseractLanguage(QStringLiteral("fr-FR")), QStringLiteral("fra"));
    EXPECT_EQ(TesseractEngine::tesseractLanguage(QStringLiteral("de-DE")), QStringLiteral("deu"));
    EXPECT_EQ(TesseractEngine::tesseractLanguage(QStringLiteral("es-ES")), QStringLiteral("spa"));
    EXPECT_EQ(TesseractEngine::tesseractLanguage(QStringLiteral("it-IT")), QStringLiteral("ita"));
    EXPECT_EQ(TesseractEngine::tesseractLanguage(QStringLiteral("pt-PT")), QStringLiteral("por"));
    EXPECT_EQ(TesseractEngine::tesseractLanguage(QStringLiteral("ja-JP")), QStringLiteral("jpn"));
    EXPECT_EQ(TesseractEngine::tesseractLanguage(QStringLiteral("ko-KR")), QStringLiteral("kor"));
    EXPECT_EQ(TesseractEngine::tesseractLanguage(QStringLiteral("zh-Hans")), QStringLiteral("chi_sim"));
    EXPECT_FALSE(TesseractEngine::tesseractLanguage(QStringLiteral("nl-NL")).has_value());
    EXPECT_FALSE(TesseractEngine::tesseractLanguage(std::nullopt).has_value());
}

TEST(TesseractEngine, NamesTheDebianPackageForMissingData)
{
    EXPECT_EQ(TessdataLocation::package(QStringLiteral("jpn")), QStringLiteral("tesseract-ocr-jpn"));
    EXPECT_EQ(TessdataLocation::package(QStringLiteral("chi_sim")), QStringLiteral("tesseract-ocr-chi-sim"));
    EXPECT_EQ(TessdataLocation::package(QStringLiteral("script/Latin")),
        QStringLiteral("tesseract-ocr-script-latn"));
}

TEST(TesseractEngine, WarmingUpOnAnotherThreadWhileRecognizingIsSafe)
{
    TesseractEngine engine;
    const QImage image = loadTestImage(QStringLiteral("ocr/screen_code_helloworld.png"));
    QFuture<void> warmUp = QtConcurrent::run([&engine] { engine.warmUpAndRead(std::nullopt); });
    const auto observations = engine.recognizeText(image, QStringLiteral("en-US"));
    warmUp.waitForFinished();
    ASSERT_TRUE(observations.has_value());
    EXPECT_EQ(joined(*observations), QStringLiteral("Hello, World!"));
    const auto automatic = engine.recognizeText(image, std::nullopt);
    ASSERT_TRUE(automatic.has_value());
    EXPECT_EQ(joined(*automatic), QStringLiteral("Hello, World!"));
}

// Automatic is Latin first; Japanese, Chinese and Korean snippets must still come out in their
// own script, and hard Latin text must not be taken for them.
TEST(TesseractEngine, AutomaticReadsJapaneseChineseAndKorean)
{
    const QString family = QStringLiteral("WenQuanYi Micro Hei");
    if (!QFontDatabase::families().contains(family))
        GTEST_SKIP() << "the CJK test font (Debian fonts-wqy-microhei) is not installed";
    TesseractEngine engine;
    const QStringList texts = { QStringLiteral("設定を開いてください"), QStringLiteral("简体中文屏幕文字"),
        QStringLiteral("화면의 글자를 읽습니다"),
        // A Latin word among Korean, which the Korean model reads as signs.
        QStringLiteral("이 파일은 Windows 11 에서 열 수 있습니다") };
    for (const QString &text : texts) {
        SCOPED_TRACE(text.toStdString());
        for (const bool dark : { false, true }) {
            const QImage image = renderSnippet({ text }, 14, dark ? QColor(230, 230, 230) : QColor(Qt::black),
                dark ? QColor(30, 30, 30) : QColor(Qt::white), family);
            const auto observations = engine.recognizeText(image, std::nullopt);
            ASSERT_TRUE(observations.has_value());
            EXPECT_LE(characterErrorRate(text, joined(*observations), true), 0.15)
                << joined(*observations).toStdString();
        }
    }

    // A paragraph: several lines read in parts at once must all stay in their script.
    const QStringList paragraph
        = { QStringLiteral("日本語のテキストを読み取ります"), QStringLiteral("設定を開いてください"),
              QStringLiteral("ファイルが見つかりません"), QStringLiteral("保存しますか"),
              QStringLiteral("日本語のテキストを読み取ります"), QStringLiteral("設定を開いてください") };
    const QImage page = renderSnippet(paragraph, 16, Qt::black, Qt::white, family);
    const auto pageLines = engine.recognizeText(page, std::nullopt);
    ASSERT_TRUE(pageLines.has_value());
    EXPECT_LE(characterErrorRate(paragraph.join(QLatin1Char('\n')), joined(*pageLines), true), 0.15)
        << joined(*pageLines).toStdString();

    const QString code = QStringLiteral("0x7f3a  ERR_CONN_REFUSED");
    const auto latin = engine.recognizeText(renderSnippet({ code }, 11, QColor(230, 230, 230),
                                                QColor(30, 30, 30), QStringLiteral("DejaVu Sans Mono")),
        std::nullopt);
    ASSERT_TRUE(latin.has_value());
    EXPECT_LE(characterErrorRate(code, joined(*latin)), 0.2) << joined(*latin).toStdString();
}

// Files with a transparent background are shown on white; the text on them must be read.
TEST(TesseractEngine, ReadsDarkTextOnATransparentBackground)
{
    const QImage opaque
        = renderSnippet({ QStringLiteral("Transparent text works") }, 24, Qt::black, Qt::white);
    QImage image(opaque.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(24);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPoint(12, 30), QStringLiteral("Transparent text works"));
    painter.end();
    TesseractEngine engine;
    const auto observations = engine.recognizeText(image, QStringLiteral("en-US"));
    ASSERT_TRUE(observations.has_value());
    EXPECT_EQ(joined(*observations), QStringLiteral("Transparent text works"));
}

// A selection drawn a little past a window takes in the frame or desktop around it; the text
// must still be read as the text it is, in its script.
TEST(TesseractEngine, AutomaticReadsTextFramedByWhatLiesAroundIt)
{
    const QStringList lines = { QStringLiteral("Settings"), QStringLiteral("Appearance"),
        QStringLiteral("Notifications"), QStringLiteral("Privacy & Security"), QStringLiteral("Keyboard Shortcuts") };
    struct Case {
        QColor text, background, frame;
    };
    TesseractEngine engine;
    for (const Case &c : { Case { Qt::black, Qt::white, Qt::black }, Case { QColor(230, 230, 230), QColor(32, 33, 36), Qt::white } }) {
        SCOPED_TRACE(c.frame.name().toStdString());
        const QImage snippet = renderSnippet(lines, 12, c.text, c.background);
        QImage framed(snippet.width() + 8, snippet.height() + 8, QImage::Format_RGB32);
        framed.fill(c.frame);
        QPainter(&framed).drawImage(4, 4, snippet);
        const auto observations = engine.recognizeText(framed, std::nullopt);
        ASSERT_TRUE(observations.has_value());
        EXPECT_LE(characterErrorRate(lines.join(QLatin1Char('\n')), joined(*observations)), 0.05)
            << joined(*observations).toStdString();
    }
}

// Chat bubbles, a selected row and a button hold their text in a filled box, light on
// colour or dark on colour: every line is read, none skipped as a picture.
TEST(TesseractEngine, ReadsTextInFilledBoxes)
{
    struct Line {
        QString text;
        QColor box, ink;
    };
    const Line lines[] = {
        { QStringLiteral("Lena 09:14"), QColor(250, 250, 250), QColor(40, 40, 40) },
        { QStringLiteral("Are we still on for lunch?"), QColor(10, 132, 255), Qt::white },
        { QStringLiteral("Installation"), QColor(61, 111, 168), QColor(20, 20, 20) },
        { QStringLiteral("Great, see you there"), QColor(52, 199, 89), Qt::white },
    };
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    QImage image(320, 44 * int(std::size(lines)) + 8, QImage::Format_RGB32);
    image.fill(QColor(250, 250, 250));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(font);
    QStringList expected;
    for (int i = 0; i < int(std::size(lines)); ++i) {
        const QRect box(8 + (i % 2) * 60, 8 + i * 44, 230, 34);
        painter.setPen(Qt::NoPen);
        painter.setBrush(lines[i].box);
        painter.drawRoundedRect(box, 12, 12);
        painter.setPen(lines[i].ink);
        painter.drawText(box.adjusted(12, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, lines[i].text);
        expected.append(lines[i].text);
    }
    painter.end();
    TesseractEngine engine;
    const auto observations = engine.recognizeText(image, QStringLiteral("en-US"));
    ASSERT_TRUE(observations.has_value());
    EXPECT_LE(characterErrorRate(expected.join(QLatin1Char('\n')), joined(*observations)), 0.03)
        << joined(*observations).toStdString();
}

// A dense selection stops at the time budget with a message naming its size, and a reading
// stopped from another thread (Escape, a new capture, quitting) ends at once as cancelled.
TEST(TesseractEngine, ReadingStopsAtItsBudgetAndWhenCancelled)
{
    QStringList page;
    for (int i = 0; i < 90; ++i)
        page.append(QStringLiteral("Line %1 of a dense page that takes the engine a long time to read").arg(i));
    const QImage dense = renderSnippet(page, 14, Qt::black, Qt::white);
    struct Case {
        const char *name;
        int budgetMs;
        bool cancel;
        QString message;
    };
    const Case cases[] = {
        { "budget", 300, false, QStringLiteral("Reading the selection of %1 × %2 pixels took longer than 0 seconds") },
        { "cancel", 60'000, true, errorDescription(OCRServiceError::captureCancelled) },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TesseractEngine engine(TesseractEngineOptions { .timeBudgetMs = c.budgetMs });
        engine.warmUp(QStringLiteral("en-US"));
        QElapsedTimer timer;
        timer.start();
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
            EXPECT_TRUE(error.localizedDescription().startsWith(c.message.arg(dense.width()).arg(dense.height())))
                << error.localizedDescription().toStdString();
        }
        cancelling.waitForFinished();
        // Stopped soon after: the whole page takes the engine many seconds.
        EXPECT_LT(timer.elapsed(), 3000);
        // The next reading is not affected.
        EXPECT_TRUE(engine.recognizeText(renderSnippet({ QStringLiteral("Hello") }, 14, Qt::black, Qt::white),
            QStringLiteral("en-US")).has_value());
    }
}
