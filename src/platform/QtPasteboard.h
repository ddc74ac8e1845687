#pragma once

#include "Pasteboard.h"

// The desktop clipboard through QClipboard (the CLIPBOARD selection on X11).
class QtPasteboard : public Pasteboard {
public:
    std::optional<QString> string() const override;
    void clearContents() override;
    void setString(const QString &text) override;
};
