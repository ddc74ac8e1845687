#pragma once

#include "capture/TextMetrics.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <map>
#include <vector>

// The rendered screen snippets of bench/data/screen and their INDEX.tsv, shared by the
// benchmark and the accuracy gate so both score the same way.
struct ScreenSnippet {
    QString image;     // path of the PNG
    QString reference; // the exact text drawn
    QString language;  // the application's identifier: en-US, ja-JP, ...
    int size = 0;      // font pixel size before the screen scale
    int scale = 1;
    QString theme;
    QString font;
    QString kind;
    bool eastAsian() const
    {
        return language == u"ja-JP" || language == u"zh-Hans" || language == u"ko-KR";
    }
    QString sizeBand() const
    {
        return size <= 9 ? QStringLiteral("9 px") : size <= 11 ? QStringLiteral("10-11 px")
            : size <= 14                                       ? QStringLiteral("12-14 px")
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
        const auto field = [&](const char *name) { return fields.value(header.indexOf(QLatin1String(name))); };
        ScreenSnippet snippet;
        snippet.image = directory + QLatin1Char('/') + field("file");
        QFile text(directory + QLatin1Char('/') + field("file").replace(QStringLiteral(".png"), QStringLiteral(".txt")));
        if (!text.open(QIODevice::ReadOnly))
            continue;
        snippet.reference = QString::fromUtf8(text.readAll());
        snippet.language = field("language");
        snippet.size = field("size").toInt();
        snippet.scale = field("scale").toInt();
        snippet.theme = field("theme_group");
        snippet.font = field("font");
        snippet.kind = field("kind");
        snippets.push_back(std::move(snippet));
    }
    return snippets;
}

// Errors summed per group: a group's CER is its edits over its reference characters, so
// long snippets weigh as much as their text.
class ScreenScore {
public:
    void add(const ScreenSnippet &snippet, const QString &hypothesis)
    {
        const ScreenTextErrors errors = screenTextErrors(snippet.reference, hypothesis, snippet.eastAsian());
        QStringList groups = snippet.groups();
        groups.prepend(QStringLiteral("all"));
        for (const QString &group : groups) {
            m_groups[group].edits += errors.edits;
            m_groups[group].characters += errors.characters;
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
    qsizetype characters(const QString &group) const
    {
        const auto found = m_groups.find(group);
        return found == m_groups.end() ? 0 : found->second.characters;
    }

private:
    std::map<QString, ScreenTextErrors> m_groups;
};
