#include "RegionCaptureOverlayController.h"

#include <algorithm>

#include "CaptureTiming.h"
#include "RegionCaptureOverlay.h"
#include "ScreenCoordinates.h"
#include "ScreenGrabber.h"
#include "ScreenList.h"

#include <QCoro/QCoroSignal>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcCapture, "glyphwell.capture", QtInfoMsg)
}

RegionCaptureOverlayController::RegionCaptureOverlayController(
    ScreenGrabber &grabber, ScreenList &screens, RegionCaptureOverlay::Placement placement, QObject *parent)
    : QObject(parent)
    , m_grabber(grabber)
    , m_screens(screens)
    , m_placement(placement)
{
    m_grabRetry.setSingleShot(true);
    m_grabRetry.setInterval(grabRetryMs);
    connect(&m_grabRetry, &QTimer::timeout, this, &RegionCaptureOverlayController::grabInput);
    m_holdLimit.setSingleShot(true);
    m_holdLimit.setInterval(holdLimitMs);
    connect(&m_holdLimit, &QTimer::timeout, this, &RegionCaptureOverlayController::dismissSelection);
}

RegionCaptureOverlayController::~RegionCaptureOverlayController()
{
    const std::vector<QPointer<RegionCaptureOverlay>> overlays = m_overlays;
    cleanUp();
    // No event loop may come to run the deferred deletes.
    for (const QPointer<RegionCaptureOverlay> &overlay : overlays)
        delete overlay.data();
}

std::vector<RegionCaptureOverlay *> RegionCaptureOverlayController::overlayWindows() const
{
    std::vector<RegionCaptureOverlay *> windows;
    for (const QPointer<RegionCaptureOverlay> &overlay : m_overlays) {
        if (overlay)
            windows.push_back(overlay.data());
    }
    return windows;
}

QCoro::Task<QRectF> RegionCaptureOverlayController::selectRegion()
{
    // AppState never starts a second capture while one runs; anything else gets a refusal
    // rather than a second overlay.
    if (m_pending)
        throw CaptureError(OCRServiceError::captureCancelled);
    dismissSelection();
    m_pending = true;
    m_outcome.reset();
    m_selection.reset();

    QPointer<RegionCaptureOverlayController> self(this);
    FrozenFrame frame;
    try {
        auto freezing = m_grabber.freezeFrame();
        frame = co_await freezing;
        markCaptureStep("frame");
    } catch (...) {
        // Selecting over a picture that is not the screen would be blind; the reason is the
        // capture's failure, whatever was thrown.
        if (self)
            m_pending = false;
        throw;
    }
    if (!self)
        throw CaptureError(OCRServiceError::captureCancelled);

    QGuiApplication::setOverrideCursor(Qt::CrossCursor);
    m_cursorPushed = true;
    qApp->installEventFilter(this);
    m_filterInstalled = true;
    createOverlayWindows(frame);
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

void RegionCaptureOverlayController::createOverlayWindows(const FrozenFrame &frame)
{
    const ScreenCoordinates coordinates(m_screens.displays());
    m_unpainted = coordinates.screens().size();
    for (std::size_t i = 0; i < coordinates.screens().size(); ++i) {
        QImage frozen;
        for (const FrozenScreen &screen : frame.screens) {
            if (screen.screen.nativeRect == coordinates.screens()[i].nativeRect)
                frozen = screen.image;
        }
        auto *overlay = new RegionCaptureOverlay(coordinates, i, std::move(frozen), m_placement);
        m_overlays.emplace_back(overlay);
        connect(overlay, &RegionCaptureOverlay::pressed, this, &RegionCaptureOverlayController::onPressed);
        connect(overlay, &RegionCaptureOverlay::dragged, this, &RegionCaptureOverlayController::onDragged);
        connect(overlay, &RegionCaptureOverlay::released, this, &RegionCaptureOverlayController::onReleased);
        connect(overlay, &RegionCaptureOverlay::painted, this, &RegionCaptureOverlayController::onPainted,
            Qt::SingleShotConnection);
        overlay->present();
    }
}

void RegionCaptureOverlayController::onPainted()
{
    if (m_unpainted > 0 && --m_unpainted == 0) {
        markCaptureStep("overlay");
        Q_EMIT overlayShown();
    }
}

void RegionCaptureOverlayController::updateSelectionPath(std::optional<QPointF> pointer)
{
    for (RegionCaptureOverlay *overlay : overlayWindows())
        overlay->setSelection(m_selection.selectionRect(), pointer);
}

void RegionCaptureOverlayController::grabInput()
{
    if (!m_pending || m_overlays.empty() || !m_overlays.front())
        return;
    if (m_placement == RegionCaptureOverlay::Placement::fullScreen) {
        // No client may grab there; the focused full-screen window gets the keys, and a drag
        // keeps the pointer on the window it started in.
        Q_EMIT inputGrabFinished();
        return;
    }
    // One window takes the X server's grabs, and with them the events of every screen; they
    // may be refused while another client holds one.
    RegionCaptureOverlay *window = m_overlays.front();
    if (!m_pointerGrabbed)
        m_pointerGrabbed = window->setMouseGrabEnabled(true);
    if (!m_keyboardGrabbed)
        m_keyboardGrabbed = window->setKeyboardGrabEnabled(true);
    if (hasInputGrab() || --m_grabAttemptsLeft <= 0) {
        if (!hasInputGrab())
            qCWarning(lcCapture) << "Could not grab the pointer and keyboard for the selection overlay";
        Q_EMIT inputGrabFinished();
        return;
    }
    m_grabRetry.start();
}

bool RegionCaptureOverlayController::eventFilter(QObject *watched, QEvent *event)
{
    // The window manager or compositor closed an overlay (Alt+F4, swaymsg kill): the
    // selection is over, as with Escape.
    if ((m_pending || m_holding) && event->type() == QEvent::Close
        && std::any_of(m_overlays.begin(), m_overlays.end(),
            [&](const QPointer<RegionCaptureOverlay> &overlay) { return overlay == watched; })) {
        event->ignore();
        if (m_holding)
            dismissSelection();
        else
            cancel();
        return true;
    }
    if (m_holding && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        // The picture over the screen goes, and the reading under way stops.
        dismissSelection();
        if (onCancelWhileHeld)
            onCancelWhileHeld();
        return true;
    }
    if (m_pending && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        // Claimed as a key press, so no Escape shortcut of a window fires as well.
        event->accept();
        if (event->type() == QEvent::KeyPress)
            cancel();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void RegionCaptureOverlayController::onPressed(QPointF point, qreal scale)
{
    if (!m_pending)
        return;
    m_selection.press(point, scale);
    updateSelectionPath(point);
}

void RegionCaptureOverlayController::onDragged(QPointF point)
{
    if (!m_pending)
        return;
    m_selection.drag(point);
    updateSelectionPath(point);
}

void RegionCaptureOverlayController::onReleased(QPointF point)
{
    if (!m_pending)
        return;
    switch (m_selection.release(point)) {
    case SelectionModel::Release::ignored:
        return;
    case SelectionModel::Release::selected:
        markCaptureStep("release");
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
    if (m_placement == RegionCaptureOverlay::Placement::fullScreen && std::holds_alternative<QRectF>(outcome))
        hold(std::get<QRectF>(outcome));
    else
        cleanUp();
    // Nothing will be captured from the frame after a cancellation.
    if (std::holds_alternative<CaptureError>(outcome))
        m_grabber.releaseFrame();
    m_outcome = std::move(outcome);
    // The waiting selectRegion() resumes on the next turn of the event loop, out of this
    // window's event handler.
    Q_EMIT selectionEnded();
}

void RegionCaptureOverlayController::hold(const QRectF &selection)
{
    m_holding = true;
    m_grabRetry.stop();
    if (m_cursorPushed)
        QGuiApplication::changeOverrideCursor(Qt::BusyCursor);
    // What is being read stays clear (a release may come without a last move).
    for (RegionCaptureOverlay *overlay : overlayWindows()) {
        overlay->setSelection(selection);
        overlay->setBusy(true);
    }
    m_holdLimit.start();
}

void RegionCaptureOverlayController::dismissSelection()
{
    if (!m_holding)
        return;
    cleanUp();
}

void RegionCaptureOverlayController::cleanUp()
{
    m_holding = false;
    m_holdLimit.stop();
    m_grabRetry.stop();
    if (m_filterInstalled) {
        qApp->removeEventFilter(this);
        m_filterInstalled = false;
    }
    if (!m_overlays.empty() && m_overlays.front()) {
        if (m_pointerGrabbed)
            m_overlays.front()->setMouseGrabEnabled(false);
        if (m_keyboardGrabbed)
            m_overlays.front()->setKeyboardGrabEnabled(false);
    }
    for (const QPointer<RegionCaptureOverlay> &overlay : m_overlays) {
        if (!overlay)
            continue;
        overlay->hide();
        // We may be inside one of its event handlers.
        overlay->deleteLater();
    }
    m_overlays.clear();
    m_unpainted = 0;
    m_pointerGrabbed = false;
    m_keyboardGrabbed = false;
    m_selection.reset();
    if (m_cursorPushed) {
        QGuiApplication::restoreOverrideCursor();
        m_cursorPushed = false;
    }
}
