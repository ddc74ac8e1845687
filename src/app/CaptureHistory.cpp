#include "CaptureHistory.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

QString historyFilePath()
{
    // XDG rule: a relative or empty XDG_DATA_HOME is ignored.
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() || !QDir::isAbsolutePath(dataHome))
        dataHome = QDir::homePath() + QStringLiteral("/.local/share"); // homePath() falls back to "/"
    return QDir::cleanPath(dataHome + QStringLiteral("/Glyphwell/capture-history.json"));
}

namespace {

const char hex[] = "0123456789abcdef";

void appendEscapedUtf8(QByteArray &out, const QByteArray &utf8)
{
    for (const char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '/':
            out += "\\/";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            // Bytes of multi-byte UTF-8 sequences are negative as char and pass through raw.
            if (c >= 0 && c < 0x20) {
                out += "\\u00";
                out += hex[(c >> 4) & 0xF];
                out += hex[c & 0xF];
            } else {
                out += c;
            }
        }
    }
}

void appendEscaped(QByteArray &out, const QString &text)
{
    out += '"';
    // A lone surrogate (a hand-edited file may escape one) has no UTF-8 form: written as
    // its escape, the entry reads back as it was instead of turning into U+FFFD.
    qsizetype run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (!c.isSurrogate())
            continue;
        appendEscapedUtf8(out, QStringView(text).sliced(run, i - run).toUtf8());
        out += "\\u";
        for (const int shift : { 12, 8, 4, 0 })
            out += hex[(c.unicode() >> shift) & 0xF];
        run = i + 1;
    }
    appendEscapedUtf8(out, QStringView(text).sliced(run).toUtf8());
    out += '"';
}

void appendMember(QByteArray &out, int indent, const char *key, const QString &value, bool last)
{
    out += QByteArray(indent, ' ');
    appendEscaped(out, QString::fromLatin1(key));
    out += " : ";
    appendEscaped(out, value);
    out += last ? "\n" : ",\n";
}

// The years a file date can hold. A date read with an offset can fall outside in UTC (year 9999
// at -05:00 is year 10000, year 1 at +01:00 is year 0): it is kept at the nearest end, so the
// file written from it reads back.
const QDateTime &earliestFileDate()
{
    static const QDateTime date(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
    return date;
}

const QDateTime &latestFileDate()
{
    static const QDateTime date(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC);
    return date;
}

QDateTime withinFileYears(const QDateTime &utc)
{
    return qBound(earliestFileDate(), utc, latestFileDate());
}

QString encodeDate(const QDateTime &date)
{
    // A date the program never set still has to produce a file that reads back.
    const QDateTime utc = withinFileYears((date.isValid() ? date : QDateTime::fromSecsSinceEpoch(0)).toUTC());
    // Formatting with "ss" drops the fraction rather than rounding it.
    return utc.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
}

std::optional<QDateTime> decodeDate(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^(\\d{4})-(\\d{2})-(\\d{2})T(\\d{2}):(\\d{2}):(\\d{2})(?:\\.(\\d+))?(Z|([+-])(\\d{2}):(\\d{2}))$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate day(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    int milliseconds = 0;
    if (m.hasCaptured(7))
        milliseconds = m.captured(7).left(3).leftJustified(3, QLatin1Char('0')).toInt();
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), milliseconds);
    if (!day.isValid() || !time.isValid())
        return std::nullopt;
    int offsetSeconds = 0;
    if (m.captured(8) != QLatin1String("Z")) {
        const int hours = m.captured(10).toInt();
        const int minutes = m.captured(11).toInt();
        if (hours > 23 || minutes > 59)
            return std::nullopt;
        offsetSeconds = (hours * 60 + minutes) * 60 * (m.captured(9) == QLatin1String("-") ? -1 : 1);
    }
    const QDateTime local(day, time, Qt::OffsetFromUTC, offsetSeconds);
    if (!local.isValid())
        return std::nullopt;
    return withinFileYears(local.toUTC());
}

std::optional<QUuid> decodeUuid(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    if (!pattern.match(text).hasMatch())
        return std::nullopt;
    return QUuid::fromString(text);
}

std::optional<CaptureHistoryItem> decodeItem(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue capturedAt = object.value(QLatin1String("capturedAt"));
    const QJsonValue id = object.value(QLatin1String("id"));
    const QJsonValue language = object.value(QLatin1String("languageIdentifier"));
    const QJsonValue text = object.value(QLatin1String("text"));
    if (!capturedAt.isString() || !id.isString() || !language.isString() || !text.isString())
        return std::nullopt;
    const std::optional<QDateTime> date = decodeDate(capturedAt.toString());
    const std::optional<QUuid> uuid = decodeUuid(id.toString());
    if (!date || !uuid)
        return std::nullopt;
    return CaptureHistoryItem { *uuid, text.toString(), *date, language.toString() };
}

} // namespace

QByteArray encodePersistedState(const PersistedGlyphwellState &state)
{
    QByteArray out = "{\n";
    if (state.history.isEmpty()) {
        out += "  \"history\" : [\n\n  ],\n";
    } else {
        out += "  \"history\" : [\n";
        for (qsizetype i = 0; i < state.history.size(); ++i) {
            const CaptureHistoryItem &item = state.history.at(i);
            out += "    {\n";
            appendMember(out, 6, "capturedAt", encodeDate(item.capturedAt), false);
            appendMember(out, 6, "id", item.id.toString(QUuid::WithoutBraces).toUpper(), false);
            appendMember(out, 6, "languageIdentifier", item.languageIdentifier, false);
            appendMember(out, 6, "text", item.text, true);
            out += i + 1 < state.history.size() ? "    },\n" : "    }\n";
        }
        out += "  ],\n";
    }
    appendMember(out, 2, "selectedLanguageIdentifier", state.selectedLanguageIdentifier, true);
    out += "}";
    return out;
}

std::optional<PersistedGlyphwellState> decodePersistedState(const QByteArray &data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject root = document.object();
    const QJsonValue history = root.value(QLatin1String("history"));
    const QJsonValue selected = root.value(QLatin1String("selectedLanguageIdentifier"));
    if (!history.isArray() || !selected.isString())
        return std::nullopt;

    PersistedGlyphwellState state;
    state.selectedLanguageIdentifier = selected.toString();
    const QJsonArray entries = history.toArray();
    state.history.reserve(entries.size());
    // One bad entry makes the whole file unreadable rather than silently dropping captures:
    // the program then keeps the file aside whole before it writes a new one.
    for (const QJsonValue &entry : entries) {
        std::optional<CaptureHistoryItem> item = decodeItem(entry);
        if (!item)
            return std::nullopt;
        state.history.append(std::move(*item));
    }
    return state;
}
