#include "FakeServices.h"

#include <stdexcept>

#include <QCoro/QCoroFuture>
#include <QtConcurrent/QtConcurrentRun>

QCoro::Task<QRectF> FakeRegionSelector::selectRegion()
{
    ++calls;
    m_pending = true;
    auto answered = qCoro(this, &FakeRegionSelector::answered);
    co_await answered;
    m_pending = false;
    if (auto *error = std::get_if<CaptureError>(&m_answer))
        throw *error;
    co_return std::get<QRectF>(m_answer);
}

void FakeRegionSelector::dismissSelection()
{
    if (onDismiss)
        onDismiss();
}

void FakeRegionSelector::finish(QRectF rect)
{
    m_answer = rect;
    Q_EMIT answered();
}

void FakeRegionSelector::cancel()
{
    m_answer = CaptureError(OCRServiceError::captureCancelled);
    Q_EMIT answered();
}

QCoro::Task<QImage> FakeScreenGrabber::captureRegion(QRectF rect)
{
    requests.append(rect);
    holdsFrame = false;
    // Real grabs run on the thread pool and resume the caller from the event loop.
    auto onThreadPool = QtConcurrent::run([] {});
    co_await onThreadPool;
    if (unexpectedFault)
        throw std::runtime_error(*unexpectedFault);
    if (auto *error = std::get_if<CaptureError>(&result))
        throw *error;
    // A copy in a local: clang 14 was seen moving out of a member named in co_return.
    QImage image = std::get<QImage>(result);
    co_return image;
}

QCoro::Task<FrozenFrame> FakeScreenGrabber::freezeFrame()
{
    ++freezeCalls;
    auto onThreadPool = QtConcurrent::run([] {});
    co_await onThreadPool;
    holdsFrame = true;
    co_return frame;
}

void FakeScreenGrabber::releaseFrame()
{
    ++releaseCalls;
    holdsFrame = false;
}

std::optional<std::vector<TextObservation>> FakeTextEngine::recognizeText(
    const QImage &image, const std::optional<QString> &languageIdentifier, ReadingNotes *)
{
    languages.append(languageIdentifier);
    ++calls;
    if (!answer)
        return std::vector<TextObservation> {};
    return answer(image);
}

std::optional<std::vector<BarcodeObservation>> FakeBarcodeEngine::detectBarcodes(const QImage &image)
{
    ++calls;
    if (!answer)
        return std::vector<BarcodeObservation> {};
    return answer(image);
}

QImage solidImage(QColor colour, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

std::vector<TextObservation> lines(const QStringList &texts)
{
    std::vector<TextObservation> result;
    for (const auto &text : texts)
        result.push_back(TextObservation { QStringList { text }, {} });
    return result;
}
