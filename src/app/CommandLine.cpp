#include "CommandLine.h"

#include "ImageFile.h"
#include "OCRLanguageOption.h"
#include "capture/CaptureRecognition.h"
#include "capture/NullPlatform.h"
#include "capture/OCRService.h"
#include "capture/TesseractEngine.h"
#include "capture/ZXingBarcodeEngine.h"
#include "platform/AtomicFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

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

struct Options {
    QCommandLineOption recognize { QStringLiteral("recognize"),
        QStringLiteral("Read the image FILE and print its text."), QStringLiteral("FILE") };
    QCommandLineOption mode { QStringLiteral("mode"),
        QStringLiteral(
            "With --recognize: text (keep line breaks, the default), no-line-breaks (one line) or qr "
            "(codes only)."),
        QStringLiteral("MODE"), QStringLiteral("text") };
    QCommandLineOption language { QStringLiteral("language"),
        QStringLiteral("With --recognize: the recognition language, %1.")
            .arg(languageIdentifiers().join(QStringLiteral(", "))),
        QStringLiteral("ID"), OCRLanguageOption::automaticIdentifier };
    QCommandLineOption capture { QStringLiteral("capture"),
        QStringLiteral(
            "Select an area of the screen and read it, in the running Glyphwell (started if needed); "
            "for a desktop keyboard shortcut.") };
    QCommandLineOption noLineBreaks { QStringLiteral("no-line-breaks"),
        QStringLiteral("With --capture: fold the text into one line.") };
    QCommandLineOption last { QStringLiteral("last"),
        QStringLiteral("With --capture: read the last selected area again.") };
    QCommandLineOption show { QStringLiteral("show"),
        QStringLiteral("Show the main window of the running Glyphwell.") };
    QCommandLineOption doctor { QStringLiteral("doctor"),
        QStringLiteral("Check everything a capture needs here, print what was found and how to fix it; exit "
                       "0 when a capture can work, 1 otherwise.") };
    QCommandLineOption background { QStringLiteral("background"),
        QStringLiteral(
            "Start without opening the main window when the tray can show Glyphwell (used at login).") };
};

void configure(QCommandLineParser &parser, const Options &options)
{
    parser.setApplicationDescription(QStringLiteral("Reads text, barcodes and QR codes from any part of the "
                                                    "screen. Without options it starts the desktop "
                                                    "program, or brings the running one forward."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({ options.recognize, options.mode, options.language, options.capture,
        options.noLineBreaks, options.last, options.show, options.background, options.doctor });
}

bool anyDesktopOption(const QCommandLineParser &parser, const Options &options)
{
    for (const auto *option :
        { &options.capture, &options.noLineBreaks, &options.last, &options.show, &options.background })
        if (parser.isSet(*option))
            return true;
    return false;
}

// What is wrong with a desktop form, or empty.
QString desktopFormProblem(const QCommandLineParser &parser, const Options &options)
{
    if (parser.isSet(options.recognize) || parser.isSet(options.mode) || parser.isSet(options.language))
        return QStringLiteral("--recognize, --mode and --language cannot go with the desktop options.");
    if ((parser.isSet(options.noLineBreaks) || parser.isSet(options.last)) && !parser.isSet(options.capture))
        return QStringLiteral("--no-line-breaks and --last go with --capture.");
    if (parser.isSet(options.noLineBreaks) && parser.isSet(options.last))
        return QStringLiteral("--no-line-breaks and --last cannot go together.");
    if (parser.isSet(options.capture) && parser.isSet(options.show))
        return QStringLiteral("--capture and --show cannot go together.");
    return {};
}

// The value of the last --recognize among the program's own bytes. Arguments come one to one
// from argv, so the parser's reading of them lines up with these.
QByteArray recognizeArgument(const QStringList &arguments, const QList<QByteArray> &nativeArguments)
{
    if (nativeArguments.size() != arguments.size()) {
        QCommandLineParser parser;
        const Options options;
        configure(parser, options);
        parser.parse(arguments);
        return QFile::encodeName(parser.value(options.recognize));
    }
    QByteArray value;
    for (qsizetype i = 1; i < nativeArguments.size(); ++i) {
        const QByteArray &argument = nativeArguments[i];
        if (argument == "--")
            break;
        if (argument == "--recognize") {
            if (i + 1 < nativeArguments.size())
                value = nativeArguments[++i];
        } else if (argument.startsWith("--recognize=")) {
            value = argument.mid(qsizetype(sizeof "--recognize=") - 1);
        } else if (argument == "--mode" || argument == "--language") {
            ++i; // their values are not file names
        }
    }
    return value;
}

} // namespace

std::optional<DesktopLaunch> desktopLaunch(const QStringList &arguments)
{
    if (arguments.size() <= 1)
        return DesktopLaunch {};
    QCommandLineParser parser;
    const Options options;
    configure(parser, options);
    if (!parser.parse(arguments) || parser.isSet(QStringLiteral("help"))
        || parser.isSet(QStringLiteral("version")) || !parser.positionalArguments().isEmpty()
        || !anyDesktopOption(parser, options) || !desktopFormProblem(parser, options).isEmpty())
        return std::nullopt;
    DesktopLaunch launch;
    launch.background = parser.isSet(options.background);
    if (parser.isSet(options.capture))
        launch.action = parser.isSet(options.last) ? QStringLiteral("capture-last-selection")
            : parser.isSet(options.noLineBreaks)   ? QStringLiteral("capture-without-line-breaks")
                                                   : QStringLiteral("capture-text");
    else if (parser.isSet(options.show))
        launch.action = QStringLiteral("show-main-window");
    return launch;
}

int runCommandLine(const QStringList &arguments, const std::function<int()> &doctor,
    const QList<QByteArray> &nativeArguments)
{
    QCommandLineParser parser;
    const Options options;
    configure(parser, options);
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
    if (parser.isSet(options.doctor)) {
        if (arguments.size() != 2 || !doctor) {
            printLine(stderr, QStringLiteral("--doctor goes alone."));
            return 2;
        }
        return doctor();
    }
    if (anyDesktopOption(parser, options)) {
        printLine(stderr, desktopFormProblem(parser, options));
        return 2;
    }
    if (!parser.isSet(options.recognize)) {
        printLine(stderr, QStringLiteral("--mode and --language go with --recognize FILE."));
        return 2;
    }
    const std::optional<CaptureMode> mode = modeNamed(parser.value(options.mode));
    if (!mode) {
        printLine(stderr,
            QStringLiteral("Unknown mode \"%1\"; use text, no-line-breaks or qr.")
                .arg(parser.value(options.mode)));
        return 2;
    }
    const QString language = parser.value(options.language);
    if (!languageIdentifiers().contains(language)) {
        printLine(stderr,
            QStringLiteral("Unknown language \"%1\"; use one of: %2.")
                .arg(language, languageIdentifiers().join(QStringLiteral(", "))));
        return 2;
    }

    const QString path = parser.value(options.recognize);
    // Opened by the bytes the user gave: a name that is not valid UTF-8 names its file too.
    const FileContent file
        = readRegularFile(recognizeArgument(arguments, nativeArguments), maximumImageFileBytes);
    if (!file.read) {
        const QString reason = !file.exists ? QStringLiteral("no such file")
            : QFileInfo(path).isDir()       ? QStringLiteral("is a folder, not an image file")
                                            : file.error;
        printLine(stderr, QStringLiteral("%1: %2").arg(path, reason));
        return 2;
    }
    QString problem;
    const QImage image = decodeImageFile(file.data, &problem);
    if (image.isNull()) {
        printLine(stderr, QStringLiteral("%1: %2").arg(path, problem));
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
