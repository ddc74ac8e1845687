#include "TesseractEngine.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cmath>

namespace {

// Tesseract allocates results with new[]; this frees them on every path.
struct TextDeleter {
    void operator()(char *text) const { delete[] text; }
};
using TesseractText = std::unique_ptr<char, TextDeleter>;

bool isCjk(const QString &language)
{
    return language == QLatin1String("jpn") || language == QLatin1String("kor")
        || language == QLatin1String("chi_sim");
}

QString fileFor(const QString &directory, const QString &language)
{
    return QDir(directory).filePath(language + QStringLiteral(".traineddata"));
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

QString TesseractEngine::dataPackage(const QString &tesseractLanguage)
{
    if (tesseractLanguage.endsWith(QLatin1String("Latin")))
        return QStringLiteral("tesseract-ocr-script-latn");
    QString name = tesseractLanguage.toLower();
    name.replace(QLatin1Char('_'), QLatin1Char('-'));
    return QStringLiteral("tesseract-ocr-") + name;
}

std::optional<QString> TesseractEngine::dataDirectory() const
{
    if (m_options.dataPath)
        return m_options.dataPath;
    const QString fromEnvironment = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    // The compiled-in default is only known once Tesseract has used it.
    return m_learnedDataPath;
}

bool TesseractEngine::dataFileMissing(const QString &language) const
{
    const auto directory = dataDirectory();
    return directory && !QFileInfo::exists(fileFor(*directory, language));
}

TesseractEngine::Configuration TesseractEngine::configurationFor(
    const std::optional<QString> &languageIdentifier)
{
    if (const auto language = tesseractLanguage(languageIdentifier))
        return { *language, isCjk(*language) };

    if (!m_options.automaticLanguage.isEmpty())
        return { m_options.automaticLanguage, isCjk(m_options.automaticLanguage) };
    if (!m_automaticLanguage) {
        // Learning where the data lives needs one engine; eng is the one every
        // installation has, and it stays in the pool as the fallback.
        if (!dataDirectory())
            engineFor({ QStringLiteral("eng"), false });
        if (const auto directory = dataDirectory()) {
            // Debian puts the script model at the top of tessdata, upstream in script/.
            for (const QString &candidate : { QStringLiteral("script/Latin"), QStringLiteral("Latin") }) {
                if (QFileInfo::exists(fileFor(*directory, candidate))) {
                    m_automaticLanguage = candidate;
                    break;
                }
            }
        }
        if (!m_automaticLanguage)
            m_automaticLanguage = QStringLiteral("eng");
    }
    return { *m_automaticLanguage, false };
}

tesseract::TessBaseAPI *TesseractEngine::engineFor(const Configuration &configuration)
{
    const QString key
        = configuration.language + (configuration.singleBlock ? QStringLiteral("/6") : QStringLiteral("/3"));
    if (const auto found = m_engines.find(key); found != m_engines.end())
        return found->second.get();

    // Checking the file first keeps Tesseract's own multi-line complaint off stderr.
    if (dataFileMissing(configuration.language)) {
        qWarning("Tesseract language data \"%s\" is not installed; install the package %s",
            qPrintable(configuration.language), qPrintable(dataPackage(configuration.language)));
        return nullptr;
    }

    auto api = std::make_unique<tesseract::TessBaseAPI>();
    const auto directory = dataDirectory();
    const QByteArray path = directory ? QFile::encodeName(*directory) : QByteArray();
    const QByteArray language = configuration.language.toUtf8();
    if (api->Init(directory ? path.constData() : nullptr, language.constData(), tesseract::OEM_LSTM_ONLY)
        != 0) {
        qWarning("Tesseract could not load language data \"%s\"; install the package %s",
            qPrintable(configuration.language), qPrintable(dataPackage(configuration.language)));
        return nullptr;
    }
    if (!m_learnedDataPath && api->GetDatapath())
        m_learnedDataPath = QFile::decodeName(api->GetDatapath());
    // Screen captures hold one block of CJK text far more often than a page layout, and
    // the automatic layout analysis splits CJK lines badly.
    api->SetPageSegMode(configuration.singleBlock ? tesseract::PSM_SINGLE_BLOCK : tesseract::PSM_AUTO);
    // Its progress chatter ("Empty page!!", "Detected 5 diacritics") is no message for users.
    api->SetVariable("debug_file", "/dev/null");
    auto *raw = api.get();
    m_engines.emplace(key, std::move(api));
    return raw;
}

void TesseractEngine::warmUp(const std::optional<QString> &languageIdentifier)
{
    std::lock_guard lock(m_mutex);
    engineFor(configurationFor(languageIdentifier));
}

std::optional<TesseractEngine::Reading> TesseractEngine::read(
    const Configuration &configuration, const QImage &grey)
{
    tesseract::TessBaseAPI *api = engineFor(configuration);
    if (!api)
        return std::nullopt;
    api->SetImage(grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
    // Without a resolution Tesseract guesses one from the text size and says so on stderr.
    const int dpi = int(std::lround(grey.dotsPerMeterX() * 0.0254));
    api->SetSourceResolution(dpi >= 70 ? dpi : 96);
    if (api->Recognize(nullptr) != 0) {
        api->Clear();
        return std::nullopt;
    }
    Reading reading;
    reading.confidence = api->MeanTextConf();
    std::unique_ptr<tesseract::ResultIterator> iterator(api->GetIterator());
    if (iterator && !iterator->Empty(tesseract::RIL_TEXTLINE)) {
        do {
            const TesseractText text(iterator->GetUTF8Text(tesseract::RIL_TEXTLINE));
            if (!text)
                continue;
            QString line = QString::fromUtf8(text.get());
            while (line.endsWith(QLatin1Char('\n')))
                line.chop(1);
            if (line.trimmed().isEmpty())
                continue;
            reading.lines.push_back(TextObservation { QStringList { line } });
        } while (iterator->Next(tesseract::RIL_TEXTLINE));
    }
    iterator.reset();
    api->Clear();
    return reading;
}

std::optional<TesseractEngine::Reading> TesseractEngine::readEastAsianInstead(
    const QImage &grey, const Reading &latin)
{
    // A large image whose Latin reading is doubtful (a rotated page, a photo) would otherwise
    // be read three more times in full while the user waits: the models are tried on a band
    // across its middle, and only the winner reads the whole image.
    const qint64 area = qint64(grey.width()) * grey.height();
    const bool whole = area <= m_options.eastAsianProbePixels;
    const int bandHeight
        = whole ? grey.height() : int(std::max<qint64>(1, m_options.eastAsianProbePixels / grey.width()));
    const QImage probe
        = whole ? grey : grey.copy(0, (grey.height() - bandHeight) / 2, grey.width(), bandHeight);

    std::optional<Reading> best;
    QString bestLanguage;
    for (const QString &language :
        { QStringLiteral("jpn"), QStringLiteral("chi_sim"), QStringLiteral("kor") }) {
        if (dataFileMissing(language))
            continue; // not installed: automatic stays with the Latin reading, quietly
        std::optional<Reading> reading = read({ language, true }, probe);
        if (!reading || reading->confidence < m_options.eastAsianMinimumConfidence
            || reading->confidence < latin.confidence + m_options.eastAsianMargin
            || eastAsianShare(reading->lines) < 0.5)
            continue;
        if (!best || reading->confidence > best->confidence) {
            best = std::move(reading);
            bestLanguage = language;
        }
    }
    if (best && !whole)
        best = read({ bestLanguage, true }, grey);
    return best;
}

double TesseractEngine::eastAsianShare(const std::vector<TextObservation> &lines)
{
    int letters = 0;
    int eastAsian = 0;
    for (const TextObservation &line : lines) {
        const QString text = line.topCandidates.value(0);
        for (const char32_t codePoint : text.toUcs4()) {
            const QChar::Script script = QChar::script(codePoint);
            if (script == QChar::Script_Common || script == QChar::Script_Inherited)
                continue;
            ++letters;
            if (script == QChar::Script_Han || script == QChar::Script_Hiragana
                || script == QChar::Script_Katakana || script == QChar::Script_Hangul)
                ++eastAsian;
        }
    }
    return letters == 0 ? 0.0 : double(eastAsian) / letters;
}

std::optional<std::vector<TextObservation>> TesseractEngine::recognizeText(
    const QImage &image, const std::optional<QString> &languageIdentifier)
{
    if (image.isNull())
        return std::nullopt;

    std::lock_guard lock(m_mutex);
    const Configuration configuration = configurationFor(languageIdentifier);
    const QImage grey = m_options.prepareImage ? prepareForRecognition(image, m_options.preparation)
                                               : greyscaleOnWhite(image);
    if (grey.isNull())
        return std::nullopt;

    std::optional<Reading> reading = read(configuration, grey);
    if (!reading)
        return std::nullopt;
    // Automatic reads Latin script first. Japanese, Chinese or Korean text comes out of it as
    // a few low-confidence letters; only then are those models tried, and one is taken only
    // when it reads the image with clearly more confidence, as text of its own script.
    const bool automatic = !tesseractLanguage(languageIdentifier) && m_options.automaticLanguage.isEmpty();
    if (automatic && m_options.detectEastAsian && reading->confidence < m_options.latinDoubtfulBelow) {
        if (std::optional<Reading> eastAsian = readEastAsianInstead(grey, *reading))
            reading = std::move(eastAsian);
    }
    return std::move(reading->lines);
}
