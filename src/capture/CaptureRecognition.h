#pragma once

#include "capture/CaptureMode.h"

#include <QImage>
#include <QString>

#include <optional>

class OCRService;

extern const QString noTextRecognizedMessage;

// The most pixels recognition reads: one 8K screen (7680 x 4320 is 33.2 million) fits whole.
// A larger image, a selection over several big screens, is scaled down to this area first:
// recognition time and memory grow with the area, and at 8K scale text stays large enough to
// read after the reduction.
constexpr qint64 maximumRecognitionPixels = 40'000'000;
// The most pixels an image file may have for --recognize to decode it (about 256 MB as 32-bit
// pixels, Qt's own allocation limit); a larger file is refused before decoding.
constexpr qint64 maximumImageFilePixels = 64'000'000;

// The image itself when it is within maximumRecognitionPixels, else a smooth reduction to it.
QImage boundedForRecognition(const QImage &image);

// Reads a captured image the way a capture does after the grab: recognition in the given
// mode (absent: a re-run of the last image, which always reads text with its line breaks).
// In the text modes the codes in the image are read too and their areas left out of the
// text: the result is the text, then each code's payload on a line of its own, trimmed; with
// neither, noTextRecognizedMessage. The qrCode mode reads codes alone.
// Larger images are first reduced with boundedForRecognition(). Throws CaptureError with the
// failure to show.
QString recognizeCapturedImage(const OCRService &service, const QImage &image,
    std::optional<CaptureMode> mode, const std::optional<QString> &languageIdentifier);
