#include "CaptureRecognition.h"

#include "RecognitionLogging.h"
#include "capture/OCRService.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <map>

const QString noTextRecognizedMessage = QStringLiteral("No text was recognized in the captured image.");

namespace {

// The commonest colour along a rectangle's outline, and its share of the outline.
std::pair<QRgb, double> outlineColour(const QImage &image, const QRect &box)
{
    std::map<QRgb, int> counts;
    int total = 0;
    const QRect outline = box.intersected(image.rect());
    const auto count = [&](int x, int y) {
        ++counts[image.pixel(x, y)];
        ++total;
    };
    for (int x = outline.left(); x <= outline.right(); ++x) {
        count(x, outline.top());
        count(x, outline.bottom());
    }
    for (int y = outline.top(); y <= outline.bottom(); ++y) {
        count(outline.left(), y);
        count(outline.right(), y);
    }
    if (total == 0)
        return { qRgb(255, 255, 255), 1.0 };
    const auto commonest = std::max_element(
        counts.begin(), counts.end(), [](const auto &a, const auto &b) { return a.second < b.second; });
    return { commonest->first, double(commonest->second) / total };
}

// The image with the codes painted over in their background: a code's modules read as text
// give junk ("回 ・ ロ J"), and its payload comes out anyway. The area grows from the code's
// outline until it stands on one colour, so that the light card a code is printed on (tilted
// in a dark page, or with a linear code's digits below) goes with it; a code on a plain page
// takes only its quiet zone.
QImage withoutCodes(const QImage &image, const std::vector<BarcodeObservation> &codes)
{
    QImage cleared = image.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&cleared);
    for (const BarcodeObservation &code : codes) {
        if (code.box.isEmpty())
            continue;
        const int limit = std::max(8, std::max(code.box.width(), code.box.height()) / 3);
        int pad = std::max(2, std::min(code.box.width(), code.box.height()) / 16);
        std::pair<QRgb, double> colour = outlineColour(image, code.box.adjusted(-pad, -pad, pad, pad));
        while (colour.second < 0.9 && pad < limit) {
            pad += 2;
            colour = outlineColour(image, code.box.adjusted(-pad, -pad, pad, pad));
        }
        painter.fillRect(
            code.box.adjusted(-pad, -pad, pad, pad).intersected(cleared.rect()), QColor(colour.first));
    }
    painter.end();
    return cleared;
}

} // namespace

QImage boundedForRecognition(const QImage &image)
{
    const qint64 pixels = qint64(image.width()) * image.height();
    if (pixels <= maximumRecognitionPixels)
        return image;
    const double factor = std::sqrt(double(maximumRecognitionPixels) / double(pixels));
    const int width = std::max(1, int(image.width() * factor));
    const int height = std::max(1, int(image.height() * factor));
    qCInfo(lcRecognition, "An image of %d x %d pixels is read at %d x %d", image.width(), image.height(),
        width, height);
    return image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QString recognizeCapturedImage(const OCRService &service, const QImage &capturedImage,
    std::optional<CaptureMode> mode, const std::optional<QString> &languageIdentifier)
{
    const QImage image = boundedForRecognition(capturedImage);
    // QString::trimmed() drops exactly the Unicode white space and line breaks at both ends.
    if (mode == CaptureMode::qrCode)
        return service.recognize(image, *mode, languageIdentifier).trimmed();

    // Codes are looked for in every capture: their payloads follow the text, each on a line of
    // its own, and a selection of codes alone gives just their payloads. The quick look finds
    // a code drawn on a screen with its margin; the engine's slower retries (a code cut tight
    // by the selection, or of a pixel a module) run when it finds none and the text reading
    // left ink unread.
    std::vector<BarcodeObservation> codes = service.findBarcodes(image, true);
    const auto payloadsOf = [](const std::vector<BarcodeObservation> &found) {
        QStringList payloads;
        for (const BarcodeObservation &code : found) {
            // A code that holds only blanks would add nothing but an empty line.
            if (code.payloadString && !code.payloadString->trimmed().isEmpty())
                payloads.append(*code.payloadString);
        }
        return payloads;
    };
    const auto readText = [&](const QImage &textImage, ReadingNotes *notes) {
        return mode ? service.recognize(textImage, *mode, languageIdentifier, notes).trimmed()
                    : service.recognizeText(textImage, languageIdentifier, notes).trimmed();
    };
    QStringList payloads = payloadsOf(codes);
    QString text;
    bool retriesRan = false;
    try {
        ReadingNotes notes;
        text = readText(codes.empty() ? image : withoutCodes(image, codes), &notes);
        // The retries look where the reading left ink unread: a code's modules read as nothing
        // or dropped as junk. Where every mark is in a word read (a paragraph, code) they are
        // skipped, and the text goes out without waiting for them. On a selection of a million
        // pixels or less they cost little (12 ms median on the screen snippets); should they
        // find a code, the text is read again without it. On larger ones they take up to
        // seconds, and run only where no text was found.
        if (codes.empty() && notes.inkLeftUnread && qint64(image.width()) * image.height() <= 1'000'000) {
            retriesRan = true;
            codes = service.findBarcodes(image, false);
            payloads = payloadsOf(codes);
            if (!codes.empty())
                text = readText(withoutCodes(image, codes), nullptr);
        }
    } catch (const CaptureError &) {
        // The codes were read all the same; the text engine's failure is news only without them.
        if (payloads.isEmpty())
            throw;
    }
    if (text.isEmpty() && payloads.isEmpty() && !retriesRan)
        payloads = payloadsOf(service.findBarcodes(image, false));
    QStringList parts = payloads;
    if (!text.isEmpty())
        parts.prepend(text);
    const QString result = parts.join(QLatin1Char('\n')).trimmed();
    if (result.isEmpty())
        throw CaptureError(noTextRecognizedMessage);
    return result;
}
