#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// How sure the engine is of one word of a line's best reading: the word is
// topCandidates.first().mid(start, length); confidence runs from 0 to 1.
struct WordConfidence {
    qsizetype start = 0;
    qsizetype length = 0;
    float confidence = 0;
};

// One recognised text line with its candidate readings, best first. The list may be empty.
// wordConfidences covers the words of the best reading, in order (empty when unknown).
struct TextObservation {
    QStringList topCandidates;
    std::vector<WordConfidence> wordConfidences;
};

// One decoded code; payloadString is absent when the code carries no text payload. box is
// where the code stands in the image, in its pixels (empty when unknown).
struct BarcodeObservation {
    std::optional<QString> payloadString;
    QRect box {};
};

// What a reading saw besides its text.
struct ReadingNotes {
    // Ink outside every word read: a code's modules, an icon, a photo, a line the engine
    // missed. True as well where the engine cannot tell.
    bool inkLeftUnread = true;
};

// The engine behind text recognition. Returns the lines in reading order, or nothing when
// the engine itself failed (missing language data, a refused image).
// languageIdentifier is one of the application's language identifiers ("de-DE"), or absent
// for automatic detection.
class TextRecognitionEngine {
public:
    virtual ~TextRecognitionEngine() = default;
    // notes, when given, are filled in for this reading.
    virtual std::optional<std::vector<TextObservation>> recognizeText(
        const QImage &image, const std::optional<QString> &languageIdentifier, ReadingNotes *notes = nullptr)
        = 0;
    // Stops the reading under way, from any thread: it ends soon after with
    // CaptureError(captureCancelled). Readings started later are not affected.
    virtual void cancelRecognition() { }
};

// The engine behind barcode detection. Returns every code found, in the engine's order, or
// nothing when the engine failed.
class BarcodeDetectionEngine {
public:
    virtual ~BarcodeDetectionEngine() = default;
    virtual std::optional<std::vector<BarcodeObservation>> detectBarcodes(const QImage &image) = 0;
    // A quick look for codes in a capture read for its text: the engine's cheap passes only
    // (a code drawn on a screen with its quiet zone), as it runs on every capture.
    virtual std::optional<std::vector<BarcodeObservation>> detectBarcodesQuickly(const QImage &image)
    {
        return detectBarcodes(image);
    }
};
