#pragma once

#include <QString>

// Where the capture workflow stands; a failure carries the text the status line shows.
class CaptureState {
public:
    enum class Kind { idle, capturing, success, failure };

    static CaptureState idle() { return CaptureState(Kind::idle); }
    static CaptureState capturing() { return CaptureState(Kind::capturing); }
    static CaptureState success() { return CaptureState(Kind::success); }
    static CaptureState failure(QString message) { return CaptureState(Kind::failure, std::move(message)); }

    Kind kind() const { return m_kind; }
    // The failure's text; empty for the other cases.
    const QString &message() const { return m_message; }

    bool operator==(const CaptureState &) const = default;

private:
    explicit CaptureState(Kind kind, QString message = {})
        : m_kind(kind)
        , m_message(std::move(message))
    { }
    Kind m_kind;
    QString m_message;
};
