#pragma once

#include "CaptureMode.h"
#include "OCRServiceError.h"
#include "RecognitionEngine.h"
#include "ScreenGrabber.h"

#include <QCoro/QCoroTask>
#include <QImage>
#include <QRectF>
#include <QString>

#include <optional>

// Turns a captured image into one string and captures screen rectangles. It keeps nothing
// between calls: the warm recognition engines belong to the back-ends it is given.
// Every operation throws CaptureError.
class OCRService {
public:
    OCRService(
        TextRecognitionEngine &textEngine, BarcodeDetectionEngine &barcodeEngine, ScreenGrabber &grabber);

    // text: recognizeText; textWithoutLineBreaks: recognizeText folded; qrCode: detectBarcodes.
    // notes, when given, are the text reading's (untouched for qrCode).
    QString recognize(const QImage &image, CaptureMode mode, const std::optional<QString> &languageIdentifier,
        ReadingNotes *notes = nullptr) const;
    // Best candidate of each line joined by "\n"; "" when nothing was read. Throws recognitionFailed.
    QString recognizeText(const QImage &image, const std::optional<QString> &languageIdentifier,
        ReadingNotes *notes = nullptr) const;
    // Text payloads joined by "\n". Throws recognitionFailed or noBarcodesFound.
    QString detectBarcodes(const QImage &image) const;
    // Every code found, with where it stands; none when the engine failed. Never throws: a
    // text capture looks for codes on the side. `quickly`: the engine's cheap passes only.
    std::vector<BarcodeObservation> findBarcodes(const QImage &image, bool quickly) const;

    QCoro::Task<QImage> captureRegion(QRectF rect) const;
    // Stops the text reading under way (from any thread); it throws captureCancelled.
    void cancelRecognition() const;

    // Splits at every newline character (LF, VT, FF, CR, NEL, LS, PS), trims each piece of
    // spaces and tabs, drops empty pieces and joins the rest with one space.
    static QString foldLines(const QString &text);

private:
    TextRecognitionEngine &m_textEngine;
    BarcodeDetectionEngine &m_barcodeEngine;
    ScreenGrabber &m_grabber;
};
