#include "HistoryStore.h"

#include "platform/AtomicFile.h"

#include <QFileInfo>
#include <QLoggingCategory>

#include <algorithm>

namespace {

Q_LOGGING_CATEGORY(lcHistory, "glyphwell.history", QtInfoMsg)

// Another Glyphwell holds the lock only while it reads, merges and writes the file.
constexpr int lockTimeoutMs = 3000;

} // namespace

HistoryStore::HistoryStore(QString path)
    : m_path(std::move(path))
{ }

std::optional<PersistedGlyphwellState> HistoryStore::load()
{
    // Files of older versions were made readable by every local user.
    tightenPrivateFolder(QFileInfo(m_path).absolutePath());
    tightenPrivateFile(m_path);
    const FileContent file = readRegularFile(m_path, maximumHistoryFileBytes);
    if (!file.exists || !file.read)
        return std::nullopt;
    std::optional<PersistedGlyphwellState> state = decodePersistedState(file.data);
    if (state) {
        for (const CaptureHistoryItem &item : state->history)
            m_known.insert(item.id);
    }
    return state;
}

void HistoryStore::remember(const QUuid &id)
{
    m_known.insert(id);
}

void HistoryStore::cutToLimit(QList<CaptureHistoryItem> &history, qsizetype added)
{
    if (history.size() <= limit)
        return;
    const qsizetype dropped = history.size() - limit;
    history.resize(limit);
    // The oldest entry making way for a new one is the normal course; more is worth a line.
    if (dropped > added)
        qCInfo(lcHistory,
            "The capture history held %lld entries; the %lld oldest were dropped to keep the newest %d",
            qlonglong(history.size() + dropped - added), qlonglong(dropped), limit);
}

QList<CaptureHistoryItem> HistoryStore::merged(
    const QList<CaptureHistoryItem> &history, const QList<CaptureHistoryItem> &onDisk)
{
    // Entries this Glyphwell has never seen are another one's captures: they join ours at their
    // time. Entries it has seen and no longer holds were cleared or cut here and stay out.
    QList<CaptureHistoryItem> result = history;
    QSet<QUuid> present;
    for (const CaptureHistoryItem &item : history)
        present.insert(item.id);
    qsizetype added = 0;
    for (const CaptureHistoryItem &item : onDisk) {
        if (present.contains(item.id) || m_known.contains(item.id))
            continue;
        const auto at = std::find_if(result.begin(), result.end(),
            [&item](const CaptureHistoryItem &mine) { return mine.capturedAt < item.capturedAt; });
        result.insert(at, item);
        present.insert(item.id);
        ++added;
    }
    for (const CaptureHistoryItem &item : onDisk)
        m_known.insert(item.id);
    if (added > 0)
        cutToLimit(result, added);
    return result;
}

QList<CaptureHistoryItem> HistoryStore::save(const PersistedGlyphwellState &state)
{
    // A failed save leaves the old file whole; the history in memory stays authoritative and
    // is written again at the next change.
    const QFileInfo file(m_path);
    const FileLock lock(
        file.absolutePath() + QStringLiteral("/.") + file.fileName() + QStringLiteral(".lock"),
        lockTimeoutMs);
    if (!lock.locked()) {
        m_saveLog.note(false, m_path, lock.error());
        return state.history;
    }
    const FileContent content = readRegularFile(m_path, maximumHistoryFileBytes);
    const std::optional<PersistedGlyphwellState> onDisk
        = content.read ? decodePersistedState(content.data) : std::nullopt;
    PersistedGlyphwellState written = state;
    if (onDisk) {
        written.history = merged(state.history, onDisk->history);
    } else if (content.exists && keepUnreadableFileAside(m_path).isEmpty()) {
        // Replacing it would lose every capture it holds.
        m_saveLog.note(false, m_path, QStringLiteral("the unreadable file there cannot be moved aside"));
        return state.history;
    }
    const QByteArray data = encodePersistedState(written);
    // Nothing changed: the file stays as it is, in whatever layout it was written.
    if (onDisk && data == encodePersistedState(*onDisk)) {
        m_saveLog.note(true, m_path);
        return written.history;
    }
    QString error;
    const bool saved = writeFileAtomically(m_path, data, FileAccess::privateToUser, &error);
    m_saveLog.note(saved, m_path, error);
    return written.history;
}
