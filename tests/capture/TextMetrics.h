#pragma once

#include <QString>
#include <QStringList>

#include <algorithm>
#include <vector>

// Character error rate as the OCR data set is scored: Levenshtein distance over the
// reference length, after NFC and collapsing every whitespace run to one space; CJK text is
// compared without spaces.
inline QString normalisedForScoring(const QString &text, bool removeSpaces)
{
    return text.normalized(QString::NormalizationForm_C)
        .simplified()
        .remove(removeSpaces ? QStringLiteral(" ") : QString());
}

inline qsizetype editDistance(const QList<uint> &ref, const QList<uint> &hyp)
{
    std::vector<qsizetype> previous(hyp.size() + 1);
    std::vector<qsizetype> current(hyp.size() + 1);
    for (qsizetype j = 0; j <= hyp.size(); ++j)
        previous[j] = j;
    for (qsizetype i = 1; i <= ref.size(); ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= hyp.size(); ++j) {
            const qsizetype substitution = previous[j - 1] + (ref[i - 1] == hyp[j - 1] ? 0 : 1);
            current[j] = std::min({ previous[j] + 1, current[j - 1] + 1, substitution });
        }
        std::swap(previous, current);
    }
    return previous[hyp.size()];
}

inline double characterErrorRate(const QString &reference, const QString &hypothesis, bool cjk = false)
{
    const QList<uint> ref = normalisedForScoring(reference, cjk).toUcs4();
    const QList<uint> hyp = normalisedForScoring(hypothesis, cjk).toUcs4();
    if (ref.isEmpty())
        return hyp.isEmpty() ? 0.0 : 1.0;
    return double(editDistance(ref, hyp)) / double(ref.size());
}

// Edit distance as screen text is scored: white space counts exactly as shown, so a space
// too many or too few inside a line is an error. Only what cannot be seen is dropped:
// white space at the end of a line and empty lines. East Asian text is compared without
// spaces, which its scripts do not show reliably; line breaks still count.
inline QString normalisedScreenText(const QString &text, bool cjk)
{
    QStringList kept;
    for (QString line : text.normalized(QString::NormalizationForm_C).split(QLatin1Char('\n'))) {
        line.remove(QLatin1Char('\r'));
        while (!line.isEmpty() && line.back().isSpace())
            line.chop(1);
        if (cjk)
            line.remove(QLatin1Char(' '));
        if (!line.trimmed().isEmpty())
            kept.append(line);
    }
    return kept.join(QLatin1Char('\n'));
}

struct ScreenTextErrors {
    qsizetype edits = 0;
    qsizetype characters = 0;
};

inline ScreenTextErrors screenTextErrors(const QString &reference, const QString &hypothesis, bool cjk)
{
    const QList<uint> ref = normalisedScreenText(reference, cjk).toUcs4();
    return { editDistance(ref, normalisedScreenText(hypothesis, cjk).toUcs4()), ref.size() };
}
