#pragma once

#include "capture/OCRServiceError.h"
#include "capture/RegionCaptureOverlay.h"
#include "capture/RegionSelector.h"

#include <QCoro/QCoroTask>
#include <QGuiApplication>
#include <QWindow>

#include <exception>
#include <optional>

// One selection, run detached: what it delivered and what the caller found when it resumed.
struct SelectionRun {
    bool done = false;
    std::optional<QRectF> rect;
    std::optional<QString> error;
    bool overlayVisibleAtDelivery = true;
    bool cursorOverriddenAtDelivery = true;
};

// A plain function, not a capturing lambda: the detached coroutine must not refer to a
// closure that is gone.
inline QCoro::Task<> runSelection(RegionSelector *selector, SelectionRun *run)
{
    try {
        auto selection = selector->selectRegion();
        run->rect = co_await selection;
    } catch (const CaptureError &error) {
        run->error = error.localizedDescription();
    } catch (const std::exception &error) {
        run->error = QString::fromUtf8(error.what());
    }
    run->overlayVisibleAtDelivery = false;
    for (QWindow *window : QGuiApplication::topLevelWindows())
        run->overlayVisibleAtDelivery |= qobject_cast<RegionCaptureOverlay *>(window) && window->isVisible();
    run->cursorOverriddenAtDelivery = QGuiApplication::overrideCursor() != nullptr;
    run->done = true;
}
