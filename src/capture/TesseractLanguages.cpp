#include "TesseractEngine.h"

#include "LanguageGuess.h"
#include "RecognitionLogging.h"
#include "ScriptDetection.h"
#include "TessdataLocation.h"

#include <tesseract/baseapi.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <map>

// How the engine chooses its models: the application's languages, automatic Latin text (English
// first), East Asian text (the three models compared).

namespace {

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

} // namespace

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
    // The other model reads no faster than English: when English took half the budget or more,
    // the second reading would only be stopped, and the user kept waiting for nothing.
    const auto budget = std::chrono::milliseconds(m_options.timeBudgetMs);
    if ((std::chrono::steady_clock::now() - (m_deadline - budget)) * 2 > budget) {
        qCInfo(lcRecognition, "Kept the English reading: no time was left to read it again in %s",
            qPrintable(language.value_or(automaticLatinLanguage())));
        return english;
    }
    std::optional<Reading> again;
    if (language && !dataFileMissing(*language))
        again = read(*language, grey, layout);
    else if (const QString script = automaticLatinLanguage(); script != u"eng")
        again = readWith(script, grey, layout, 1);
    return again ? again : english;
}
