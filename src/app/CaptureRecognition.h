#pragma once

#include "capture/CaptureMode.h"

#include <QImage>
#include <QString>

#include <optional>

class OCRService;

extern const QString noTextRecognizedMessage;

// Reads a captured image the way a capture does after the grab: recognition in the given
// mode (absent: a re-run of the last image, which always reads text with its line breaks),
// the result trimmed, and when nothing is left the barcode fallback.
// Returns the trimmed text; throws CaptureError with the failure to show.
QString recognizeCapturedImage(const OCRService &service, const QImage &image,
    std::optional<CaptureMode> mode, const std::optional<QString> &languageIdentifier);
