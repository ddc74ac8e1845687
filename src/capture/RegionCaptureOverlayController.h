#pragma once

#include "OCRServiceError.h"
#include "RegionCaptureOverlay.h"
#include "RegionSelector.h"
#include "ScreenGrabber.h"
#include "SelectionModel.h"

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QTimer>

#include <optional>
#include <variant>

class ScreenGrabber;
class ScreenList;

// Lets the user drag a rectangle over all screens. selectRegion() freezes a frame of every
// screen, shows the overlay over it with a crosshair cursor, grabs the pointer and keyboard
// (a global shortcut starts us while another application is active) and waits. Release with a
// rectangle of at least 5 × 5 points delivers it; a smaller one or Escape cancels. Everything
// is put away (window, grabs, cursor) before the caller resumes.
class RegionCaptureOverlayController : public QObject, public RegionSelector {
    Q_OBJECT
public:
    RegionCaptureOverlayController(ScreenGrabber &grabber, ScreenList &screens, QObject *parent = nullptr);
    ~RegionCaptureOverlayController() override;

    QCoro::Task<QRectF> selectRegion() override;

    bool isSelecting() const { return m_pending; }
    RegionCaptureOverlay *overlayWindow() const { return m_overlay; }
    const SelectionModel &selection() const { return m_selection; }
    bool hasInputGrab() const { return m_pointerGrabbed && m_keyboardGrabbed; }

    // Another client (a hot-key daemon, a menu) may hold a grab for a moment.
    static constexpr int grabAttempts = 50;
    static constexpr int grabRetryMs = 20;

Q_SIGNALS:
    // The overlay has painted its first picture.
    void overlayShown();
    // Both grabs are ours (or the attempts ran out: see hasInputGrab()).
    void inputGrabFinished();
    void selectionEnded();

private:
    void createOverlayWindow(FrozenFrame frame);
    void updateSelectionPath();
    void grabInput();
    void onPressed(QPointF point);
    void onDragged(QPointF point);
    void onReleased(QPointF point);
    void cancel();
    void finish(std::variant<QRectF, CaptureError> outcome);
    void cleanUp();

    ScreenGrabber &m_grabber;
    ScreenList &m_screens;
    bool m_pending = false;
    std::optional<std::variant<QRectF, CaptureError>> m_outcome;
    QPointer<RegionCaptureOverlay> m_overlay;
    SelectionModel m_selection;
    bool m_cursorPushed = false;
    bool m_pointerGrabbed = false;
    bool m_keyboardGrabbed = false;
    int m_grabAttemptsLeft = 0;
    QTimer m_grabRetry;
};
