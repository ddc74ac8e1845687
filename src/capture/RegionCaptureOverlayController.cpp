#include "RegionCaptureOverlayController.h"

#include "RegionCaptureOverlay.h"
#include "ScreenGrabber.h"
#include "ScreenList.h"

#include <QCoro/QCoroSignal>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QWindow>

RegionCaptureOverlayController::RegionCaptureOverlayController(
    ScreenGrabber &grabber, ScreenList &screens, QObject *parent)
    : QObject(parent)
    , m_grabber(grabber)
    , m_screens(screens)
{
    m_grabRetry.setSingleShot(true);
    m_grabRetry.setInterval(grabRetryMs);
    connect(&m_grabRetry, &QTimer::timeout, this, &RegionCaptureOverlayController::grabInput);
}

RegionCaptureOverlayController::~RegionCaptureOverlayController()
{
    RegionCaptureOverlay *overlay = m_overlay;
    cleanUp();
    // No event loop may come to run the deferred delete.
    delete overlay;
}

QCoro::Task<QRectF> RegionCaptureOverlayController::selectRegion()
{
    // AppState never starts a second capture while one runs; anything else gets a refusal
    // rather than a second overlay.
    if (m_pending)
        throw CaptureError(OCRServiceError::captureCancelled);
    m_pending = true;
    m_outcome.reset();
    m_selection.reset();

    QPointer<RegionCaptureOverlayController> self(this);
    FrozenFrame frame;
    try {
        auto freezing = m_grabber.freezeFrame();
        frame = co_await freezing;
    } catch (const CaptureError &error) {
        // Still let the user select; the capture then reads the screen live.
        qWarning().noquote() << "Could not freeze the screens:" << error.localizedDescription();
    }
    if (!self)
        throw CaptureError(OCRServiceError::captureCancelled);

    QGuiApplication::setOverrideCursor(Qt::CrossCursor);
    m_cursorPushed = true;
    createOverlayWindow(std::move(frame));
    updateSelectionPath();
    m_grabAttemptsLeft = grabAttempts;
    grabInput();

    if (!m_outcome) {
        auto ended = qCoro(this, &RegionCaptureOverlayController::selectionEnded);
        co_await ended;
    }
    if (!self || !m_outcome)
        throw CaptureError(OCRServiceError::captureCancelled);
    std::variant<QRectF, CaptureError> outcome = std::move(*m_outcome);
    m_outcome.reset();
    if (auto *error = std::get_if<CaptureError>(&outcome))
        throw *error;
    co_return std::get<QRectF>(outcome);
}

void RegionCaptureOverlayController::createOverlayWindow(FrozenFrame frame)
{
    std::vector<QRectF> screens;
    for (const ScreenInfo &screen : m_screens.displays())
        screens.push_back(screen.geometry);
    auto *overlay = new RegionCaptureOverlay(std::move(frame), std::move(screens));
    m_overlay = overlay;
    connect(overlay, &RegionCaptureOverlay::pressed, this, &RegionCaptureOverlayController::onPressed);
    connect(overlay, &RegionCaptureOverlay::dragged, this, &RegionCaptureOverlayController::onDragged);
    connect(overlay, &RegionCaptureOverlay::released, this, &RegionCaptureOverlayController::onReleased);
    connect(overlay, &RegionCaptureOverlay::escapePressed, this, &RegionCaptureOverlayController::cancel);
    connect(overlay, &RegionCaptureOverlay::painted, this, &RegionCaptureOverlayController::overlayShown,
        Qt::SingleShotConnection);
    overlay->show();
    overlay->raise();
    overlay->activateWindow();
    overlay->setFocus(Qt::OtherFocusReason);
    // Routes every mouse and key event of this process to the overlay, whatever has the focus.
    overlay->grabMouse();
    overlay->grabKeyboard();
}

void RegionCaptureOverlayController::updateSelectionPath()
{
    if (m_overlay)
        m_overlay->setSelection(m_selection.selectionRect());
}

void RegionCaptureOverlayController::grabInput()
{
    if (!m_pending || !m_overlay)
        return;
    // The X server grabs; they may be refused while another client holds one.
    QWindow *window = m_overlay->windowHandle();
    if (window && !m_pointerGrabbed)
        m_pointerGrabbed = window->setMouseGrabEnabled(true);
    if (window && !m_keyboardGrabbed)
        m_keyboardGrabbed = window->setKeyboardGrabEnabled(true);
    if (hasInputGrab() || --m_grabAttemptsLeft <= 0) {
        if (!hasInputGrab())
            qWarning() << "Could not grab the pointer and keyboard for the selection overlay";
        Q_EMIT inputGrabFinished();
        return;
    }
    m_grabRetry.start();
}

void RegionCaptureOverlayController::onPressed(QPointF point)
{
    m_selection.press(point);
    updateSelectionPath();
}

void RegionCaptureOverlayController::onDragged(QPointF point)
{
    m_selection.drag(point);
    updateSelectionPath();
}

void RegionCaptureOverlayController::onReleased(QPointF point)
{
    switch (m_selection.release(point)) {
    case SelectionModel::Release::ignored:
        return;
    case SelectionModel::Release::selected:
        finish(m_selection.finishedRect());
        return;
    case SelectionModel::Release::cancelled:
        cancel();
        return;
    }
}

void RegionCaptureOverlayController::cancel()
{
    finish(CaptureError(OCRServiceError::captureCancelled));
}

void RegionCaptureOverlayController::finish(std::variant<QRectF, CaptureError> outcome)
{
    // Taken once: Escape and a release arriving back to back resume the caller only once.
    if (!m_pending)
        return;
    m_pending = false;
    cleanUp();
    // Nothing will be captured from the frame after a cancellation.
    if (std::holds_alternative<CaptureError>(outcome))
        m_grabber.releaseFrame();
    m_outcome = std::move(outcome);
    // The waiting selectRegion() resumes on the next turn of the event loop, out of this
    // window's event handler.
    Q_EMIT selectionEnded();
}

void RegionCaptureOverlayController::cleanUp()
{
    m_grabRetry.stop();
    if (m_overlay) {
        if (QWindow *window = m_overlay->windowHandle()) {
            if (m_pointerGrabbed)
                window->setMouseGrabEnabled(false);
            if (m_keyboardGrabbed)
                window->setKeyboardGrabEnabled(false);
        }
        m_overlay->releaseMouse();
        m_overlay->releaseKeyboard();
        m_overlay->hide();
        // We may be inside one of its event handlers.
        m_overlay->deleteLater();
        m_overlay.clear();
    }
    m_pointerGrabbed = false;
    m_keyboardGrabbed = false;
    m_selection.reset();
    if (m_cursorPushed) {
        QGuiApplication::restoreOverrideCursor();
        m_cursorPushed = false;
    }
}
