#pragma once

#include <QString>

#include <exception>
#include <optional>
#include <string>

// The capture path's own failures; each carries the message the status line shows.
enum class OCRServiceError {
    captureCancelled,
    noCapturedImage,
    imageConversionFailed,
    recognitionFailed,
    noBarcodesFound,
};

QString errorDescription(OCRServiceError error);

// What every step of the capture path throws: one of our own errors, or a platform error
// passed on with its own description.
class CaptureError : public std::exception {
public:
    explicit CaptureError(OCRServiceError code);
    explicit CaptureError(QString platformDescription);
    // The desktop refused to let us read the screen (a portal request refused, cancelled or
    // unanswered); the workflow shows its screen-access guidance instead of the description.
    static CaptureError screenAccessRefused(QString description);

    bool isScreenAccessRefusal() const { return m_screenAccessRefused; }

    std::optional<OCRServiceError> code() const { return m_code; }
    const QString &localizedDescription() const { return m_description; }
    const char *what() const noexcept override { return m_utf8.c_str(); }

private:
    std::optional<OCRServiceError> m_code;
    QString m_description;
    std::string m_utf8;
    bool m_screenAccessRefused = false;
};
