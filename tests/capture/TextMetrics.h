#pragma once

#include <QString>

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

inline double characterErrorRate(const QString &reference, const QString &hypothesis, bool cjk = false)
{
    const QList<uint> ref = normalisedForScoring(reference, cjk).toUcs4();
    const QList<uint> hyp = normalisedForScoring(hypothesis, cjk).toUcs4();
    if (ref.isEmpty())
        return hyp.isEmpty() ? 0.0 : 1.0;
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
    return double(previous[hyp.size()]) / double(ref.size());
}
