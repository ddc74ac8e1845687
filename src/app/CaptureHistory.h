#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include "platform/AtomicFile.h"

#include <optional>

// One successful recognition, as kept in the history and its file.
struct CaptureHistoryItem {
    QUuid id;
    QString text; // trimmed at both ends
    QDateTime capturedAt;
    QString languageIdentifier;

    bool operator==(const CaptureHistoryItem &) const = default;
};

// The content of the history file.
struct PersistedGlyphwellState {
    QList<CaptureHistoryItem> history; // newest first
    QString selectedLanguageIdentifier;
};

// The history file: $XDG_DATA_HOME/Glyphwell/capture-history.json (~/.local/share when unset).
QString historyFilePath();
// Far above 25 entries of any text a screen can hold; a larger file is not ours to load whole.
inline constexpr qint64 maximumHistoryFileBytes = 256 * 1024 * 1024;

// Pretty-printed JSON with sorted keys, dates as ISO 8601 UTC with whole seconds and "Z",
// upper-case UUIDs, and every "/" in strings written as "\/".
QByteArray encodePersistedState(const PersistedGlyphwellState &state);

// Absent when the data is not such a document: invalid JSON, a required member missing or
// of the wrong type, a bad date or UUID. Members we do not know are ignored.
std::optional<PersistedGlyphwellState> decodePersistedState(const QByteArray &data);
