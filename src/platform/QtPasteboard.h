#pragma once

#include "Pasteboard.h"

#include <QObject>

// The desktop clipboard through QClipboard (the CLIPBOARD selection on X11).
class QtPasteboard : public Pasteboard {
public:
    std::optional<QString> string() const override;
    // Writing replaces the contents in one step, so a clear that a write follows at once is
    // folded into it: giving the clipboard up first would leave it empty for a moment, where
    // a paste gets nothing and a clipboard manager may put the old text back. A clear that no
    // write follows empties the clipboard when the event loop next runs.
    void clearContents() override;
    void setString(const QString &text) override;

private:
    // Ends with the pasteboard, and with it a clear still waiting.
    QObject m_pendingClear;
    bool m_clearPending = false;
};
