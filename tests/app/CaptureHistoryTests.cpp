#include "app/CaptureHistory.h"
#include "fakes/ScopedEnv.h"

#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

QDateTime utc(int year, int month, int day, int hour, int minute, int second, int ms = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms), Qt::UTC);
}

CaptureHistoryItem item(
    const char *uuid, const QString &text, const QDateTime &at, const char *language = "automatic")
{
    return CaptureHistoryItem { QUuid::fromString(QLatin1String(uuid)), text, at,
        QString::fromLatin1(language) };
}

// A valid document with one entry; tests replace single pieces to break it.
QByteArray documentWithEntry(
    const QByteArray &entry, const QByteArray &tail = R"(, "selectedLanguageIdentifier" : "eng")")
{
    return "{ \"history\" : [ " + entry + " ]" + tail + " }";
}

const QByteArray validEntry =
    R"({ "capturedAt" : "2024-05-01T09:30:12Z", "id" : "0F6E3A52-3C9B-4E0B-9D59-2C7A4B0E6F11",
         "languageIdentifier" : "eng", "text" : "hello" })";

} // namespace

TEST(CaptureHistoryEncoding, WritesSortedPrettyJsonWithEscapedSolidusUpperCaseIdAndWholeSeconds)
{
    PersistedGlyphwellState state;
    state.selectedLanguageIdentifier = QStringLiteral("automatic");
    state.history = {
        item("0f6e3a52-3c9b-4e0b-9d59-2c7a4b0e6f11", QStringLiteral("a/b\nline two \"Größe\" 日本\\x"),
            utc(2024, 5, 1, 9, 30, 12, 987), "automatic"),
        item("{7d444840-9dc0-11d1-b245-5ffdce74fad2}", QStringLiteral("tab\there\r\x01\x1f\b\f"),
            QDateTime(QDate(2024, 1, 2), QTime(1, 0, 59), QTimeZone(2 * 3600)), "deu"),
    };

    const QByteArray expected = "{\n"
                                "  \"history\" : [\n"
                                "    {\n"
                                "      \"capturedAt\" : \"2024-05-01T09:30:12Z\",\n"
                                "      \"id\" : \"0F6E3A52-3C9B-4E0B-9D59-2C7A4B0E6F11\",\n"
                                "      \"languageIdentifier\" : \"automatic\",\n"
                                "      \"text\" : \"a\\/b\\nline two \\\"Gr\xC3\xB6\xC3\x9F"
                                "e\\\" \xE6\x97\xA5\xE6\x9C\xAC\\\\x\"\n"
                                "    },\n"
                                "    {\n"
                                "      \"capturedAt\" : \"2024-01-01T23:00:59Z\",\n"
                                "      \"id\" : \"7D444840-9DC0-11D1-B245-5FFDCE74FAD2\",\n"
                                "      \"languageIdentifier\" : \"deu\",\n"
                                "      \"text\" : \"tab\\there\\r\\u0001\\u001f\\b\\f\"\n"
                                "    }\n"
                                "  ],\n"
                                "  \"selectedLanguageIdentifier\" : \"automatic\"\n"
                                "}";
    EXPECT_EQ(encodePersistedState(state), expected);
}

TEST(CaptureHistoryEncoding, RoundTripKeepsEverythingInOrderAndDatesToTheSecond)
{
    // An empty history read back: AppStateTest.History_SelectClearAndLanguageWrites.
    PersistedGlyphwellState state { {}, QStringLiteral("eng/fra") };
    state.history = {
        item("0f6e3a52-3c9b-4e0b-9d59-2c7a4b0e6f11",
            QStringLiteral("x/y\\z \"q\" \u00e9\u4e2d \U0001F600\n\t\x02"),
            utc(2030, 12, 31, 23, 59, 59, 999), "jpn"),
        item("7D444840-9DC0-11D1-B245-5FFDCE74FAD2", QString(), utc(1999, 1, 1, 0, 0, 0), ""),
        // Found by fuzzing: a lone surrogate (from a hand-edited file) and a fraction before 1970.
        item("1A2B3C4D-0000-4E0B-9D59-2C7A4B0E6F11",
            QStringLiteral("a") + QChar(0xDDDD) + QStringLiteral("b") + QChar(0xD83D),
            utc(1012, 4, 30, 21, 59, 59, 123), "ja-JP"),
    };
    // The fraction is dropped, not rounded. Dates out of order and a text repeated: the reader must not
    // reorder or de-duplicate.
    for (int i = 0; i < 30; ++i)
        state.history.append(CaptureHistoryItem { QUuid::createUuid(),
            i % 10 == 0 ? QStringLiteral("same") : QString::number(i),
            utc(2024, 1, 1, 0, 0, 0).addSecs((i * 7919) % 30), QStringLiteral("eng") });

    const auto decoded = decodePersistedState(encodePersistedState(state));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->selectedLanguageIdentifier, state.selectedLanguageIdentifier);
    ASSERT_EQ(decoded->history.size(), state.history.size());
    for (qsizetype i = 0; i < state.history.size(); ++i) {
        SCOPED_TRACE(i);
        const CaptureHistoryItem &in = state.history.at(i);
        const CaptureHistoryItem &out = decoded->history.at(i);
        EXPECT_EQ(out.id, in.id);
        EXPECT_EQ(out.text, in.text);
        EXPECT_EQ(out.languageIdentifier, in.languageIdentifier);
        EXPECT_EQ(out.capturedAt, in.capturedAt.addMSecs(-in.capturedAt.time().msec()));
    }
}

// Zone offsets and fractions are read; a zone offset can carry a date past year 9999 or before
// year 1 in UTC, which is kept at the nearest end, or the file written from it would not load.
TEST(CaptureHistoryDecoding, DatesWithZonesAndFractionsReadAndWriteBackSoThatTheyReadAgain)
{
    const struct {
        const char *written;
        QDateTime read;
    } cases[] = {
        { "2024-05-01T11:30:12+02:00", utc(2024, 5, 1, 9, 30, 12) },
        { "2024-05-01T09:30:12.250Z", utc(2024, 5, 1, 9, 30, 12, 250) },
        { "2024-05-01T04:00:00-05:30", utc(2024, 5, 1, 9, 30, 0) },
        { "9999-12-31T23:00:00-05:00", utc(9999, 12, 31, 23, 59, 59, 999) },
        { "9999-12-31T23:59:59.500Z", utc(9999, 12, 31, 23, 59, 59, 500) },
        { "0001-01-01T00:00:00+01:00", utc(1, 1, 1, 0, 0, 0) },
        { "0001-01-01T00:30:00+00:30", utc(1, 1, 1, 0, 0, 0) },
        { "0001-01-01T01:00:00+00:30", utc(1, 1, 1, 0, 30, 0) },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.written);
        QByteArray entry = validEntry;
        entry.replace("2024-05-01T09:30:12Z", c.written);
        const auto first = decodePersistedState(documentWithEntry(entry));
        ASSERT_TRUE(first);
        EXPECT_EQ(first->history.first().capturedAt, c.read);
        const auto again = decodePersistedState(encodePersistedState(*first));
        ASSERT_TRUE(again) << encodePersistedState(*first).toStdString();
        EXPECT_EQ(again->history.first().capturedAt.toSecsSinceEpoch(), c.read.toSecsSinceEpoch());
    }
    // Lower-case ids, an escaped solidus and members of a later version are read too.
    const auto later
        = decodePersistedState(R"({ "version" : 3, "history" : [ { "capturedAt" : "2024-05-01T09:30:12Z",
        "id" : "0f6e3a52-3c9b-4e0b-9d59-2c7a4b0e6f11", "languageIdentifier" : "eng", "text" : "a\/b",
        "pinned" : true } ], "selectedLanguageIdentifier" : "eng", "window" : { "x" : 1 } })");
    ASSERT_TRUE(later);
    EXPECT_EQ(
        later->history.first().id, QUuid::fromString(QLatin1String("0F6E3A52-3C9B-4E0B-9D59-2C7A4B0E6F11")));
    EXPECT_EQ(later->history.first().text, QStringLiteral("a/b"));
}

// The whole file is refused for any fault: not the state object, a top-level member missing
// or mistyped, one bad entry among good ones, an entry's member missing or mistyped, a date
// that is no internet date-time with a zone, an id that is no canonical UUID string.
TEST(CaptureHistoryDecoding, OneFaultAnywhereRejectsTheWholeFile)
{
    ASSERT_TRUE(decodePersistedState(documentWithEntry(validEntry)).has_value()) << "the base the rows break";
    const auto replaced = [](const QByteArray &from, const QByteArray &to) {
        QByteArray entry = validEntry;
        EXPECT_TRUE(entry.contains(from)) << from.constData();
        return documentWithEntry(entry.replace(from, to));
    };
    const QByteArray bad = R"({ "capturedAt" : "yesterday", "id" : "7D444840-9DC0-11D1-B245-5FFDCE74FAD2",
                               "languageIdentifier" : "eng", "text" : "x" })";
    QList<QByteArray> documents { "", "not json", R"({ "history" : [], "selectedLanguageIdentifier" : "eng")",
        R"([ { "history" : [], "selectedLanguageIdentifier" : "eng" } ])", documentWithEntry(validEntry, ""),
        R"({ "selectedLanguageIdentifier" : "eng" })",
        R"({ "history" : {}, "selectedLanguageIdentifier" : "eng" })",
        R"({ "history" : null, "selectedLanguageIdentifier" : "eng" })",
        documentWithEntry(validEntry, R"(, "selectedLanguageIdentifier" : 1)"),
        documentWithEntry(validEntry, R"(, "selectedLanguageIdentifier" : null)"),
        documentWithEntry(validEntry + ", " + bad), documentWithEntry(bad + ", " + validEntry),
        documentWithEntry(validEntry + ", 42"), replaced(R"("capturedAt" : "2024-05-01T09:30:12Z", )", ""),
        replaced(R"("id" : "0F6E3A52-3C9B-4E0B-9D59-2C7A4B0E6F11",)", ""),
        replaced(R"("languageIdentifier" : "eng", )", ""), replaced(R"(, "text" : "hello")", ""),
        replaced(R"("text" : "hello")", R"("text" : 5)"), replaced(R"("text" : "hello")", R"("text" : null)"),
        replaced(R"("languageIdentifier" : "eng")", R"("languageIdentifier" : ["eng"])"),
        replaced(R"("capturedAt" : "2024-05-01T09:30:12Z")", R"("capturedAt" : 736248612)"),
        replaced(R"("id" : "0F6E3A52-3C9B-4E0B-9D59-2C7A4B0E6F11")", R"("id" : 7)") };
    for (const char *date :
        { "2024-05-01T09:30:12", "2024-05-01 09:30:12Z", "2024-05-01", "2024-13-01T09:30:12Z",
            "2024-02-30T09:30:12Z", "2024-05-01T25:30:12Z", "2024-05-01T09:30:12+0200",
            "2024-05-01T09:30:12.Z", "2024-05-01T09:30:12+02", " 2024-05-01T09:30:12Z", "" })
        documents.append(replaced("2024-05-01T09:30:12Z", date));
    for (const char *id : { "{0F6E3A52-3C9B-4E0B-9D59-2C7A4B0E6F11}", "0F6E3A523C9B4E0B9D592C7A4B0E6F11",
             "0F6E3A52-3C9B-4E0B-9D59-2C7A4B0E6F1", "0F6E3A52-3C9B-4E0B-9D59-2C7A4B0E6F1G",
             "0F6E3A52-3C9B-4E0B-9D59-2C7A4B0E6F111", "not-a-uuid", "" })
        documents.append(replaced("0F6E3A52-3C9B-4E0B-9D59-2C7A4B0E6F11", id));
    for (const QByteArray &document : documents)
        EXPECT_FALSE(decodePersistedState(document).has_value()) << document.constData();
}

TEST(CaptureHistoryFile, PathFollowsXdgDataHome)
{
    ScopedEnv home("HOME", QByteArray("/tmp/gw-home"));
    const QString fallback = QStringLiteral("/tmp/gw-home/.local/share/Glyphwell/capture-history.json");
    const struct {
        std::optional<QByteArray> dataHome;
        QString path;
    } rows[] = {
        { QByteArray("/tmp/gw-data"), QStringLiteral("/tmp/gw-data/Glyphwell/capture-history.json") },
        { std::nullopt, fallback }, { QByteArray(""), fallback },
        { QByteArray("relative/data"), fallback }, // only an absolute path counts
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.dataHome.value_or("(unset)").constData());
        ScopedEnv data("XDG_DATA_HOME", row.dataHome);
        EXPECT_EQ(historyFilePath(), row.path);
    }
}
