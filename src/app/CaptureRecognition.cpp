#include "CaptureRecognition.h"

#include "capture/OCRService.h"

#include <algorithm>
#include <cmath>

const QString noTextRecognizedMessage = QStringLiteral("No text was recognized in the captured image.");

QImage boundedForRecognition(const QImage &image)
{
    const qint64 pixels = qint64(image.width()) * image.height();
    if (pixels <= maximumRecognitionPixels)
        return image;
    const double factor = std::sqrt(double(maximumRecognitionPixels) / double(pixels));
    const int width = std::max(1, int(image.width() * factor));
    const int height = std::max(1, int(image.height() * factor));
    qInfo("An image of %d x %d pixels is read at %d x %d", image.width(), image.height(), width, height);
    return image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QString recognizeCapturedImage(const OCRService &service, const QImage &capturedImage,
    std::optional<CaptureMode> mode, const std::optional<QString> &languageIdentifier)
{
    const QImage image = boundedForRecognition(capturedImage);
    // QString::trimmed() drops exactly the Unicode white space and line breaks at both ends.
    const QString text = mode ? service.recognize(image, *mode, languageIdentifier).trimmed()
                              : service.recognizeText(image, languageIdentifier).trimmed();
    if (!text.isEmpty())
        return text;

    // A code with no text around it still gives a result, in every mode.
    QString payload;
    try {
        payload = service.detectBarcodes(image);
    } catch (const CaptureError &) {
        throw CaptureError(noTextRecognizedMessage);
    }
    return payload.trimmed();
}
