#include "TessdataLocation.h"

#include <QDir>
#include <QFileInfo>

namespace TessdataLocation {

namespace {

QString fileFor(const QString &directory, const QString &language)
{
    return QDir(directory).filePath(language + QStringLiteral(".traineddata"));
}

} // namespace

std::optional<QString> systemDirectory()
{
    const QString fromEnvironment = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    // Where Debian and upstream builds install their data; looked up once, without
    // loading a model just to ask Tesseract.
    for (const char *candidate : { "/usr/share/tesseract-ocr/5/tessdata",
             "/usr/share/tesseract-ocr/4.00/tessdata", "/usr/share/tessdata", "/usr/local/share/tessdata" }) {
        if (QFileInfo::exists(fileFor(QLatin1String(candidate), QStringLiteral("eng"))))
            return QString::fromLatin1(candidate);
    }
    return std::nullopt;
}

bool hasModel(const QString &directory, const QString &tesseractLanguage)
{
    const QStringList parts = tesseractLanguage.split(QLatin1Char('+'));
    return std::all_of(parts.begin(), parts.end(),
        [&](const QString &part) { return QFileInfo::exists(fileFor(directory, part)); });
}

QString package(const QString &tesseractLanguage)
{
    if (tesseractLanguage.endsWith(QLatin1String("Latin")))
        return QStringLiteral("tesseract-ocr-script-latn");
    QString name = tesseractLanguage.toLower();
    name.replace(QLatin1Char('_'), QLatin1Char('-'));
    return QStringLiteral("tesseract-ocr-") + name;
}

} // namespace TessdataLocation
