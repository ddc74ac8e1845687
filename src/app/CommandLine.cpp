#include "CommandLine.h"

#include "CaptureRecognition.h"
#include "OCRLanguageOption.h"
#include "capture/NullPlatform.h"
#include "capture/OCRService.h"
#include "capture/TesseractEngine.h"
#include "capture/ZXingBarcodeEngine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImageReader>

#include <cstdio>

namespace {

void printLine(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fputc('\n', stream);
}

std::optional<CaptureMode> modeNamed(const QString &name)
{
    if (name == QLatin1String("text"))
        return CaptureMode::text;
    if (name == QLatin1String("no-line-breaks"))
        return CaptureMode::textWithoutLineBreaks;
    if (name == QLatin1String("qr"))
        return CaptureMode::qrCode;
    return std::nullopt;
}

QStringList languageIdentifiers()
{
    QStringList identifiers;
    for (const auto &option : OCRLanguageOption::all())
        identifiers.append(option.identifier);
    return identifiers;
}

} // namespace

bool isCommandLineRun(const QStringList &arguments)
{
    // The desktop program takes no arguments, so anything else is for the command line, which
    // answers unknown options with a message rather than starting the program regardless.
    return arguments.size() > 1;
}

int runRecognizeCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads text, barcodes and QR codes from any part of the screen."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption recognizeOption(QStringLiteral("recognize"),
        QStringLiteral("Read the image FILE and print its text."), QStringLiteral("FILE"));
    const QCommandLineOption modeOption(QStringLiteral("mode"),
        QStringLiteral("text (keep line breaks, the default), no-line-breaks (one line) or qr (codes only)."),
        QStringLiteral("MODE"), QStringLiteral("text"));
    const QCommandLineOption languageOption(QStringLiteral("language"),
        QStringLiteral("Recognition language: %1.").arg(languageIdentifiers().join(QStringLiteral(", "))),
        QStringLiteral("ID"), OCRLanguageOption::automaticIdentifier);
    parser.addOptions({ recognizeOption, modeOption, languageOption });

    if (!parser.parse(arguments)) {
        printLine(stderr, parser.errorText());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        printLine(stdout, parser.helpText().trimmed());
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        printLine(stdout,
            QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion());
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        printLine(
            stderr, QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first()));
        return 2;
    }

    const std::optional<CaptureMode> mode = modeNamed(parser.value(modeOption));
    if (!mode) {
        printLine(stderr,
            QStringLiteral("Unknown mode \"%1\"; use text, no-line-breaks or qr.")
                .arg(parser.value(modeOption)));
        return 2;
    }
    const QString language = parser.value(languageOption);
    if (!languageIdentifiers().contains(language)) {
        printLine(stderr,
            QStringLiteral("Unknown language \"%1\"; use one of: %2.")
                .arg(language, languageIdentifiers().join(QStringLiteral(", "))));
        return 2;
    }

    const QString path = parser.value(recognizeOption);
    if (!QFileInfo(path).isFile()) {
        printLine(stderr, QStringLiteral("%1: no such file").arg(path));
        return 2;
    }
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        printLine(stderr, QStringLiteral("%1: cannot read the image (%2)").arg(path, reader.errorString()));
        return 2;
    }

    TesseractEngine textEngine;
    ZXingBarcodeEngine barcodeEngine;
    NullScreenGrabber grabber; // a file is read, the screen never
    const OCRService service(textEngine, barcodeEngine, grabber);
    const std::optional<QString> recognitionLanguage = language == OCRLanguageOption::automaticIdentifier
        ? std::nullopt
        : std::optional<QString>(language);
    try {
        printLine(stdout, recognizeCapturedImage(service, image, mode, recognitionLanguage));
        return 0;
    } catch (const CaptureError &error) {
        printLine(stderr, error.localizedDescription());
        return 1;
    }
}
