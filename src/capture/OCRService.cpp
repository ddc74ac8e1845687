#include "OCRService.h"

#include <QStringList>

namespace {

bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x000A && u <= 0x000D) || u == 0x0085 || u == 0x2028 || u == 0x2029;
}

// Space separators and the horizontal tab; line breaks are handled before trimming.
bool isBlank(QChar c)
{
    return c.unicode() == 0x0009 || c.category() == QChar::Separator_Space;
}

QString trimmedOfBlanks(QStringView piece)
{
    qsizetype begin = 0;
    qsizetype end = piece.size();
    while (begin < end && isBlank(piece[begin]))
        ++begin;
    while (end > begin && isBlank(piece[end - 1]))
        --end;
    return piece.sliced(begin, end - begin).toString();
}

} // namespace

OCRService::OCRService(
    TextRecognitionEngine &textEngine, BarcodeDetectionEngine &barcodeEngine, ScreenGrabber &grabber)
    : m_textEngine(textEngine)
    , m_barcodeEngine(barcodeEngine)
    , m_grabber(grabber)
{ }

QString OCRService::recognize(const QImage &image, CaptureMode mode,
    const std::optional<QString> &languageIdentifier, ReadingNotes *notes) const
{
    switch (mode) {
    case CaptureMode::text:
        return recognizeText(image, languageIdentifier, notes);
    case CaptureMode::textWithoutLineBreaks:
        return foldLines(recognizeText(image, languageIdentifier, notes));
    case CaptureMode::qrCode:
        return detectBarcodes(image);
    }
    return {};
}

QString OCRService::recognizeText(
    const QImage &image, const std::optional<QString> &languageIdentifier, ReadingNotes *notes) const
{
    const auto observations = m_textEngine.recognizeText(image, languageIdentifier, notes);
    if (!observations)
        throw CaptureError(OCRServiceError::recognitionFailed);

    // The best reading is taken exactly as the engine gave it: an empty best reading still
    // holds its line.
    QStringList lines;
    for (const TextObservation &observation : *observations) {
        if (observation.topCandidates.isEmpty())
            continue;
        lines.append(observation.topCandidates.first());
    }
    return lines.join(QLatin1Char('\n'));
}

QString OCRService::detectBarcodes(const QImage &image) const
{
    const auto observations = m_barcodeEngine.detectBarcodes(image);
    if (!observations)
        throw CaptureError(OCRServiceError::recognitionFailed);

    QStringList payloads;
    for (const BarcodeObservation &observation : *observations) {
        if (observation.payloadString)
            payloads.append(*observation.payloadString);
    }
    QString joined = payloads.join(QLatin1Char('\n'));
    // Codes that hold only blanks would replace the clipboard with nothing once trimmed.
    if (joined.trimmed().isEmpty())
        throw CaptureError(OCRServiceError::noBarcodesFound);
    return joined;
}

std::vector<BarcodeObservation> OCRService::findBarcodes(const QImage &image, bool quickly) const
{
    return (quickly ? m_barcodeEngine.detectBarcodesQuickly(image) : m_barcodeEngine.detectBarcodes(image))
        .value_or(std::vector<BarcodeObservation> {});
}

QCoro::Task<QImage> OCRService::captureRegion(QRectF rect) const
{
    return m_grabber.captureRegion(rect);
}

QString OCRService::foldLines(const QString &text)
{
    QStringList kept;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !isLineBreak(text[i]))
            continue;
        // Each break character ends a piece of its own, so CR LF leaves an empty piece that
        // is dropped like any other.
        QString piece = trimmedOfBlanks(QStringView(text).sliced(start, i - start));
        if (!piece.isEmpty())
            kept.append(std::move(piece));
        start = i + 1;
    }
    return kept.join(QLatin1Char(' '));
}

void OCRService::cancelRecognition() const
{
    m_textEngine.cancelRecognition();
}
