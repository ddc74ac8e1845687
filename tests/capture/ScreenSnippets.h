#pragma once

#include "capture/TextMetrics.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

// The rendered images of bench/data/screen (one-line interface snippets) and bench/data/kinds
// (whole selections: columns, tables, codes, no text...) with their INDEX.tsv, shared by the
// benchmark and the accuracy gate so both score the same way.
struct ScreenSnippet {
    QString image; // path of the PNG
    QString reference; // the exact text drawn
    QString language; // the application's identifier: en-US, ja-JP, ...
    int size = 0; // font pixel size before the screen scale
    int scale = 1;
    QString theme;
    QString font;
    QString kind;
    int codes = 0; // the last lines of the reference are this many code payloads
    // The kinds set states the spaces of East Asian text exactly (none between Han or kana,
    // Korean ones at word gaps), so there they count; the screen set leaves them out.
    bool spacesCount = false;
    bool ci = true; // in the part of the set the test build reads
    bool eastAsian() const { return language == u"ja-JP" || language == u"zh-Hans" || language == u"ko-KR"; }
    QString sizeBand() const
    {
        return size <= 9 ? QStringLiteral("9 px")
            : size <= 11 ? QStringLiteral("10-11 px")
            : size <= 14 ? QStringLiteral("12-14 px")
                         : QStringLiteral("15-20 px");
    }
    // The groups a snippet counts in, besides "all".
    QStringList groups() const
    {
        return { QStringLiteral("lang ") + language, QStringLiteral("size ") + sizeBand(),
            QStringLiteral("scale %1x").arg(scale), QStringLiteral("theme ") + theme,
            QStringLiteral("font ") + font, QStringLiteral("kind ") + kind,
            eastAsian() ? QStringLiteral("script east-asian") : QStringLiteral("script latin") };
    }
};

inline std::vector<ScreenSnippet> loadScreenSnippets(const QString &directory)
{
    std::vector<ScreenSnippet> snippets;
    QFile index(directory + QStringLiteral("/INDEX.tsv"));
    if (!index.open(QIODevice::ReadOnly))
        return snippets;
    const QStringList rows = QString::fromUtf8(index.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList header = rows.value(0).split(QLatin1Char('\t'));
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QStringList fields = rows[r].split(QLatin1Char('\t'));
        const auto field
            = [&](const char *name) { return fields.value(header.indexOf(QLatin1String(name))); };
        ScreenSnippet snippet;
        snippet.image = directory + QLatin1Char('/') + field("file");
        QFile text(directory + QLatin1Char('/')
            + field("file").replace(QStringLiteral(".png"), QStringLiteral(".txt")));
        if (!text.open(QIODevice::ReadOnly))
            continue;
        snippet.reference = QString::fromUtf8(text.readAll());
        snippet.language = field("language");
        snippet.size = field("size").toInt();
        snippet.scale = field("scale").toInt();
        snippet.theme = header.contains(u"theme_group") ? field("theme_group") : field("theme");
        snippet.font = field("font");
        snippet.kind = field("kind");
        snippet.codes = field("codes").toInt();
        snippet.spacesCount = header.contains(u"codes");
        snippet.ci = !header.contains(u"ci") || field("ci") == u"1";
        snippets.push_back(std::move(snippet));
    }
    return snippets;
}

// FLOOR.tsv: a header naming the limits, then per group the highest value each may have
// ("-": no limit). A limit is a reading's CER in percent ("automatic"), or its "missed"
// payloads or "successes" (readings of an image without text that reported success).
struct Floors {
    QStringList limits;
    std::map<QString, QList<std::optional<double>>> groups;
};

inline Floors loadFloors(const QString &path)
{
    Floors floors;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return floors;
    const QStringList rows = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    floors.limits = rows.value(0).split(QLatin1Char('\t')).mid(1);
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QStringList fields = rows[r].split(QLatin1Char('\t'));
        if (fields.size() != floors.limits.size() + 1)
            continue;
        QList<std::optional<double>> values;
        for (const QString &value : fields.mid(1))
            values.append(value == u"-" ? std::nullopt : std::optional<double>(value.toDouble()));
        floors.groups[fields[0]] = values;
    }
    return floors;
}

// Errors summed per group: a group's CER is its edits over its reference characters, so
// long snippets weigh as much as their text.
class ScreenScore {
public:
    void add(const ScreenSnippet &snippet, const QString &hypothesis)
    {
        const ScreenTextErrors errors
            = screenTextErrors(snippet.reference, hypothesis, snippet.eastAsian() && !snippet.spacesCount);
        for (const QString &group : allGroups(snippet)) {
            m_groups[group].edits += errors.edits;
            m_groups[group].characters += errors.characters;
        }
    }

    // A whole capture's result (absent: it failed). Its text is scored without the lines that
    // are payloads of the image's codes; those count as found, the others as missed. An image
    // without text or codes counts a success as such.
    void addCapture(const ScreenSnippet &snippet, const std::optional<QString> &result)
    {
        QStringList expected = snippet.reference.split(QLatin1Char('\n'));
        const QStringList payloads
            = snippet.codes > 0 ? expected.mid(expected.size() - snippet.codes) : QStringList();
        expected = expected.mid(0, expected.size() - payloads.size());
        QStringList text;
        for (const QString &line : result.value_or(QString()).split(QLatin1Char('\n')))
            if (!payloads.contains(line))
                text.append(line);
        qsizetype missed = 0;
        for (const QString &payload : payloads)
            missed += result.value_or(QString()).split(QLatin1Char('\n')).contains(payload) ? 0 : 1;
        const bool empty = snippet.reference.trimmed().isEmpty();
        const ScreenTextErrors errors = screenTextErrors(expected.join(QLatin1Char('\n')),
            text.join(QLatin1Char('\n')), snippet.eastAsian() && !snippet.spacesCount);
        for (const QString &group : allGroups(snippet)) {
            Counts &counts = m_groups[group];
            counts.edits += errors.edits;
            counts.characters += errors.characters;
            counts.missed += missed;
            counts.successes += empty && result.has_value() ? 1 : 0;
            counts.images += 1;
        }
    }

    // In percent; 0 for a group without text.
    double cer(const QString &group) const
    {
        const auto found = m_groups.find(group);
        if (found == m_groups.end() || found->second.characters == 0)
            return 0;
        return 100.0 * double(found->second.edits) / double(found->second.characters);
    }
    QStringList groups() const
    {
        QStringList names;
        for (const auto &entry : m_groups)
            names.append(entry.first);
        return names;
    }
    qsizetype characters(const QString &group) const { return counts(group).characters; }
    qsizetype missed(const QString &group) const { return counts(group).missed; }
    qsizetype successes(const QString &group) const { return counts(group).successes; }
    qsizetype images(const QString &group) const { return counts(group).images; }

private:
    struct Counts : ScreenTextErrors {
        qsizetype missed = 0;
        qsizetype successes = 0;
        qsizetype images = 0;
    };
    static QStringList allGroups(const ScreenSnippet &snippet)
    {
        QStringList groups = snippet.groups();
        groups.prepend(QStringLiteral("all"));
        return groups;
    }
    Counts counts(const QString &group) const
    {
        const auto found = m_groups.find(group);
        return found == m_groups.end() ? Counts {} : found->second;
    }
    std::map<QString, Counts> m_groups;
};
