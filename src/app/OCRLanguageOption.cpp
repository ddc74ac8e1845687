#include "OCRLanguageOption.h"

const QString OCRLanguageOption::automaticIdentifier = QStringLiteral("automatic");

const QList<OCRLanguageOption> &OCRLanguageOption::all()
{
    // The order of the language menus.
    static const QList<OCRLanguageOption> options {
        { QStringLiteral("automatic"), QStringLiteral("Automatic") },
        { QStringLiteral("en-US"), QStringLiteral("English") },
        { QStringLiteral("fr-FR"), QStringLiteral("French") },
        { QStringLiteral("de-DE"), QStringLiteral("German") },
        { QStringLiteral("es-ES"), QStringLiteral("Spanish") },
        { QStringLiteral("it-IT"), QStringLiteral("Italian") },
        { QStringLiteral("pt-PT"), QStringLiteral("Portuguese") },
        { QStringLiteral("ja-JP"), QStringLiteral("Japanese") },
        { QStringLiteral("ko-KR"), QStringLiteral("Korean") },
        { QStringLiteral("zh-Hans"), QStringLiteral("Chinese (Simplified)") },
    };
    return options;
}
