#pragma once

// What the two generated sets of bench/data share: each image saved as a PNG beside a .txt
// with the exact text it shows (UTF-8, no final newline), and one INDEX.tsv row per image.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

class SnippetWriter {
public:
    SnippetWriter(const QString &directory, const QStringList &columns)
        : m_output(directory)
        , m_index(m_output.filePath(QStringLiteral("INDEX.tsv")))
    {
        m_output.mkpath(QStringLiteral("."));
        if (!m_index.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(m_index.fileName()));
            return;
        }
        m_tsv.setDevice(&m_index);
        m_tsv << columns.join(QLatin1Char('\t')) << '\n';
    }

    bool isOpen() const { return m_index.isOpen(); }
    int count() const { return m_count; }
    QString path() const { return m_output.path(); }

    // fields: the INDEX.tsv row after its first column, the file name.
    bool write(const QString &base, const QImage &image, const QString &expected, const QStringList &fields)
    {
        if (!image.save(m_output.filePath(base + QStringLiteral(".png")))) {
            std::fprintf(stderr, "cannot write %s.png\n", qPrintable(base));
            return false;
        }
        QFile text(m_output.filePath(base + QStringLiteral(".txt")));
        if (!text.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "cannot write %s.txt\n", qPrintable(base));
            return false;
        }
        text.write(expected.toUtf8());
        m_tsv << base << ".png\t" << fields.join(QLatin1Char('\t')) << '\n';
        ++m_count;
        return true;
    }

private:
    QDir m_output;
    QFile m_index;
    QTextStream m_tsv;
    int m_count = 0;
};
