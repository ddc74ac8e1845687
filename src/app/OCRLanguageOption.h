#pragma once

#include <QList>
#include <QString>

// A recognition language the user can choose; "automatic" lets recognition detect it.
struct OCRLanguageOption {
    QString identifier;
    QString displayName;

    bool operator==(const OCRLanguageOption &) const = default;

    static const QList<OCRLanguageOption> &all();
    static const QString automaticIdentifier;
};
