#include "CaptureRecognition.h"

#include "capture/OCRService.h"

const QString noTextRecognizedMessage = QStringLiteral("No text was recognized in the captured image.");

QString recognizeCapturedImage(const OCRService &service, const QImage &image,
    std::optional<CaptureMode> mode, const std::optional<QString> &languageIdentifier)
{
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
