#pragma once

#include "CaptureHistory.h"
#include "platform/UnreadableFile.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>

// The history file, shared by the user's Glyphwells (another session, another display): read
// at start, written under a lock after merging in what another one added meanwhile.
class HistoryStore {
public:
    static constexpr int limit = 25;

    explicit HistoryStore(QString path);

    // The file's content; nothing when it is missing or unreadable. An unreadable file stays
    // as it is: the next save keeps it aside before replacing it.
    std::optional<PersistedGlyphwellState> load();
    // An entry made here: should it go from memory, it was cleared or cut here, and the file's
    // copy of it is not another Glyphwell's addition.
    void remember(const QUuid &id);
    // Under the lock: reads the file, adds the entries another Glyphwell wrote that this one
    // has never seen, and writes the result when it differs from the file. Returns the history
    // as merged. A failing save is logged once (and its recovery); the caller goes on.
    QList<CaptureHistoryItem> save(const PersistedGlyphwellState &state);
    // Keeps the newest `limit` entries; logs when more than the `added` ones fall away.
    static void cutToLimit(QList<CaptureHistoryItem> &history, qsizetype added);

private:
    QList<CaptureHistoryItem> merged(
        const QList<CaptureHistoryItem> &history, const QList<CaptureHistoryItem> &onDisk);

    QString m_path;
    // Every entry this Glyphwell has held or read.
    QSet<QUuid> m_known;
    SaveFailureLog m_saveLog { QStringLiteral("capture history") };
};
