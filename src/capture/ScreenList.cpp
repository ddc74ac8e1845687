#include "ScreenList.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <cmath>
#include <limits>

QRect ScreenInfo::nativeRect() const
{
    return QRect(
        nativeOrigin, QSize(pixelLength(geometry.width(), scale), pixelLength(geometry.height(), scale)));
}

std::vector<ScreenInfo> QtScreenList::displays() const
{
    std::vector<ScreenInfo> result;
    for (QScreen *screen : QGuiApplication::screens()) {
        const QRect geometry = screen->geometry();
        result.push_back(ScreenInfo { QRectF(geometry), screen->devicePixelRatio(), geometry.topLeft() });
    }
    return result;
}

std::optional<std::size_t> chooseDisplay(const QRectF &rect, const std::vector<ScreenInfo> &displays)
{
    if (displays.empty())
        return std::nullopt;
    for (std::size_t i = 0; i < displays.size(); ++i) {
        const QRectF &frame = displays[i].geometry;
        // QRectF::contains is false for an empty rectangle and intersects() ignores rectangles
        // that only share an edge, so a rectangle of no size inside a frame needs its own check.
        const bool inside = frame.contains(rect.topLeft()) && frame.contains(rect.bottomRight());
        if (inside || frame.contains(rect) || frame.intersects(rect))
            return i;
    }
    return 0;
}

qreal scaleForDisplay(const ScreenInfo &display, const std::vector<ScreenInfo> &screens)
{
    for (const ScreenInfo &screen : screens) {
        const QRectF &a = screen.geometry;
        const QRectF &b = display.geometry;
        if (std::abs(a.x() - b.x()) < 1.0 && std::abs(a.y() - b.y()) < 1.0
            && std::abs(a.width() - b.width()) < 1.0 && std::abs(a.height() - b.height()) < 1.0)
            return screen.scale;
    }
    return 2.0;
}

int pixelLength(qreal points, qreal scale)
{
    const double pixels = std::trunc(scale * points);
    // The overlay never delivers more than a few thousand points; clamp rather than overflow.
    if (!(pixels >= 1.0))
        return 1;
    return pixels >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : int(pixels);
}

std::optional<CapturePlan> planCapture(
    const QRectF &rect, const std::vector<ScreenInfo> &displays, const std::vector<ScreenInfo> &screens)
{
    const std::optional<std::size_t> index = chooseDisplay(rect, displays);
    if (!index)
        return std::nullopt;
    const ScreenInfo &display = displays[*index];
    CapturePlan plan;
    plan.displayIndex = *index;
    plan.sourceRect = QRectF(
        rect.x() - display.geometry.x(), rect.y() - display.geometry.y(), rect.width(), rect.height());
    plan.scale = scaleForDisplay(display, screens);
    plan.pixelSize = QSize(pixelLength(rect.width(), plan.scale), pixelLength(rect.height(), plan.scale));
    plan.pixelRect = QRect(QPoint(int(std::floor(plan.sourceRect.x() * plan.scale)),
                               int(std::floor(plan.sourceRect.y() * plan.scale))),
        plan.pixelSize);
    return plan;
}

QImage cropFrozenFrame(const FrozenFrame &frame, const QRectF &rect)
{
    std::vector<ScreenInfo> displays;
    for (const FrozenScreen &screen : frame.screens)
        displays.push_back(ScreenInfo { screen.geometry, screen.scale, screen.nativeOrigin });
    const std::optional<CapturePlan> plan = planCapture(rect, displays, displays);
    if (!plan)
        return QImage();
    const QImage &source = frame.screens[plan->displayIndex].image;
    // copy() fills whatever lies outside the source with zeros; make that opaque black.
    QImage result(plan->pixelSize, QImage::Format_RGB32);
    result.fill(Qt::black);
    const QRect available = plan->pixelRect.intersected(source.rect());
    if (!available.isEmpty()) {
        QPainter painter(&result);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(available.topLeft() - plan->pixelRect.topLeft(), source, available);
    }
    return result;
}
