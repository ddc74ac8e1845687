#include "OCRServiceError.h"

QString errorDescription(OCRServiceError error)
{
    switch (error) {
    case OCRServiceError::captureCancelled:
        return QStringLiteral("Screen capture was cancelled before an image was produced.");
    case OCRServiceError::noCapturedImage:
        return QStringLiteral("The screen capture completed, but no image file was created.");
    case OCRServiceError::imageConversionFailed:
        return QStringLiteral("The captured image could not be converted for OCR.");
    case OCRServiceError::recognitionFailed:
        return QStringLiteral("Vision text recognition failed.");
    case OCRServiceError::noBarcodesFound:
        return QStringLiteral("No QR code or barcode was found in the captured image.");
    }
    return {};
}

CaptureError::CaptureError(OCRServiceError code)
    : m_code(code)
    , m_description(errorDescription(code))
    , m_utf8(m_description.toStdString())
{ }

CaptureError::CaptureError(QString platformDescription)
    : m_description(std::move(platformDescription))
    , m_utf8(m_description.toStdString())
{ }

CaptureError CaptureError::screenAccessRefused(QString description)
{
    CaptureError error(std::move(description));
    error.m_screenAccessRefused = true;
    return error;
}
