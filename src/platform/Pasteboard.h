#pragma once

#include <QString>

#include <optional>

// The desktop clipboard, plain text only.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    // The current plain string, or absent when the clipboard holds no text (an image, say).
    virtual std::optional<QString> string() const = 0;
    virtual void clearContents() = 0;
    virtual void setString(const QString &text) = 0;
};
