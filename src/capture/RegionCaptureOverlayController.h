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
#include <vector>

class ScreenList;

// Lets the user drag a rectangle over all screens. selectRegion() freezes a frame of every
// screen (a frame that cannot be taken ends the selection with its reason before anything
// shows), puts one overlay window over each screen with a crosshair cursor, grabs the pointer
// and keyboard (a global shortcut starts us while another application is active) and waits.
// The focus stays where it was, so the result can be pasted there. A drag may cross screens;
// the selection is held in device pixels of the whole desktop. Release with a rectangle of at
// least 5 × 5 points delivers it; a smaller one or Escape cancels. Everything is put away
// (windows, grabs, cursor) before the caller resumes, except with full-screen placement:
// there a delivered selection leaves the windows up, frozen and busy, until
// dismissSelection() (or Escape, or holdLimitMs), because a Wayland compositor takes the
// clipboard only from the client that holds the keyboard focus.
class RegionCaptureOverlayController : public QObject, public RegionSelector {
    Q_OBJECT
public:
    RegionCaptureOverlayController(ScreenGrabber &grabber, ScreenList &screens,
        RegionCaptureOverlay::Placement placement = RegionCaptureOverlay::Placement::positioned,
        QObject *parent = nullptr);
    ~RegionCaptureOverlayController() override;

    QCoro::Task<QRectF> selectRegion() override;
    void dismissSelection() override;

    bool isSelecting() const { return m_pending; }
    // One per screen, in the order of the screen list, while the overlay is up.
    std::vector<RegionCaptureOverlay *> overlayWindows() const;
    const SelectionModel &selection() const { return m_selection; }
    bool hasInputGrab() const { return m_pointerGrabbed && m_keyboardGrabbed; }
    // The windows stay up after a delivered selection, waiting for dismissSelection().
    bool isHolding() const { return m_holding; }

    // Another client (a hot-key daemon, a menu) may hold a grab for a moment.
    static constexpr int grabAttempts = 50;
    static constexpr int grabRetryMs = 20;
    // A held overlay never outlives this, whatever becomes of the capture.
    static constexpr int holdLimitMs = 60000;

Q_SIGNALS:
    // Every overlay window has painted its first picture.
    void overlayShown();
    // Both grabs are ours (or the attempts ran out: see hasInputGrab()).
    void inputGrabFinished();
    void selectionEnded();

protected:
    // Escape reaches whichever of our windows Qt thinks has the focus; the filter sees it
    // wherever it goes.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createOverlayWindows(const FrozenFrame &frame);
    void updateSelectionPath(std::optional<QPointF> pointer = std::nullopt);
    void grabInput();
    void onPressed(QPointF point, qreal scale);
    void onDragged(QPointF point);
    void onReleased(QPointF point);
    void onPainted();
    void cancel();
    void finish(std::variant<QRectF, CaptureError> outcome);
    void hold(const QRectF &selection);
    void cleanUp();

    ScreenGrabber &m_grabber;
    ScreenList &m_screens;
    RegionCaptureOverlay::Placement m_placement;
    bool m_pending = false;
    std::optional<std::variant<QRectF, CaptureError>> m_outcome;
    std::vector<QPointer<RegionCaptureOverlay>> m_overlays;
    std::size_t m_unpainted = 0;
    SelectionModel m_selection;
    bool m_cursorPushed = false;
    bool m_filterInstalled = false;
    bool m_pointerGrabbed = false;
    bool m_keyboardGrabbed = false;
    int m_grabAttemptsLeft = 0;
    QTimer m_grabRetry;
    bool m_holding = false;
    QTimer m_holdLimit;
};
