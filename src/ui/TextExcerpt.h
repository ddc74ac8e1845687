#pragma once

#include <QLocale>
#include <QString>

// The start of a text for a view that must stay responsive: Qt lays out what a widget holds on
// the main thread, and a text of megabytes held the window for seconds. A long paragraph costs
// most (it is laid out as one piece), so the excerpt also ends inside the first paragraph longer
// than paragraphLimit. Copy and Export still take the whole text from the application state.
inline QString textExcerpt(const QString &text, qsizetype limit, qsizetype paragraphLimit, bool sayHowLong)
{
    qsizetype end = qMin(limit, text.size());
    for (qsizetype start = 0; start < end;) {
        qsizetype next = text.indexOf(QLatin1Char('\n'), start);
        if (next < 0)
            next = text.size();
        if (next - start > paragraphLimit) {
            end = qMin(end, start + paragraphLimit);
            break;
        }
        start = next + 1;
    }
    if (end >= text.size())
        return text;
    QString excerpt = text.left(end) + QChar(0x2026);
    if (sayHowLong)
        excerpt
            += QStringLiteral("\n\n[Only the first %1 of %2 characters are shown here; Copy and Export take "
                              "the whole text.]")
                   .arg(QLocale().toString(end), QLocale().toString(text.size()));
    return excerpt;
}
