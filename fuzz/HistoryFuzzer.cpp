// The history file as read at start: any bytes. Whatever decodes must write back to a file
// that decodes to the same state, or the next start would lose it.
#include "app/CaptureHistory.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<PersistedGlyphwellState> state = decodePersistedState(bytes);
    if (!state)
        return 0;
    const std::optional<PersistedGlyphwellState> again = decodePersistedState(encodePersistedState(*state));
    if (!again || again->history.size() != state->history.size()
        || again->selectedLanguageIdentifier != state->selectedLanguageIdentifier)
        std::abort();
    for (qsizetype i = 0; i < state->history.size(); ++i) {
        const CaptureHistoryItem &before = state->history.at(i);
        const CaptureHistoryItem &after = again->history.at(i);
        // Dates are stored to the second, the fraction dropped: floored, also before 1970
        // (where toSecsSinceEpoch() would round toward zero).
        const qint64 ms = before.capturedAt.toMSecsSinceEpoch();
        const qint64 flooredMs = (ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000)) * 1000;
        if (after.id != before.id || after.text != before.text
            || after.languageIdentifier != before.languageIdentifier
            || after.capturedAt.toMSecsSinceEpoch() != flooredMs)
            std::abort();
    }
    return 0;
}
