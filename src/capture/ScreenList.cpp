#include "ScreenList.h"

#include "ScreenGrabber.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <cmath>
#include <limits>

std::vector<ScreenInfo> QtScreenList::displays() const
{
    std::vector<ScreenInfo> result;
    for (QScreen *screen : QGuiApplication::screens()) {
        const QRect geometry = screen->geometry();
        const qreal scale = screen->devicePixelRatio();
        // Qt keeps the device top-left as the logical one and divides the size, rounding; its
        // own windows multiply back the same way, so this is the area a full-screen window
        // covers.
        const QSize pixels(qRound(geometry.width() * scale), qRound(geometry.height() * scale));
        result.push_back(ScreenInfo { QRectF(geometry), scale, QRect(geometry.topLeft(), pixels) });
    }
    return result;
}

std::optional<std::size_t> chooseDisplay(const QRectF &rect, const std::vector<ScreenInfo> &displays)
{
    if (displays.empty())
        return std::nullopt;
    for (std::size_t i = 0; i < displays.size(); ++i) {
        const QRectF frame(displays[i].nativeRect);
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
    CapturePlan plan;
    plan.displayIndex = *index;
    plan.scale = scaleForDisplay(displays[*index], screens);
    // The selection is already in device pixels, so scale × points, counted in the chosen
    // display's points, is its own size: the rule without a round trip through a division.
    plan.pixelRect = QRect(QPoint(int(std::floor(rect.x())), int(std::floor(rect.y()))),
        QSize(pixelLength(rect.width(), 1.0), pixelLength(rect.height(), 1.0)));
    return plan;
}

QImage cropFrozenFrame(const FrozenFrame &frame, const QRectF &rect)
{
    std::vector<ScreenInfo> displays;
    for (const FrozenScreen &screen : frame.screens)
        displays.push_back(screen.screen);
    const std::optional<CapturePlan> plan = planCapture(rect, displays, displays);
    if (!plan)
        return QImage();
    QImage result(plan->pixelRect.size(), QImage::Format_RGB32);
    result.fill(Qt::black);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const FrozenScreen &screen : frame.screens) {
        const QRect imageRect(screen.screen.nativeRect.topLeft(), screen.image.size());
        const QRect available = plan->pixelRect.intersected(imageRect);
        if (!available.isEmpty())
            painter.drawImage(available.topLeft() - plan->pixelRect.topLeft(), screen.image,
                available.translated(-imageRect.topLeft()));
    }
    painter.end();
    result.setDevicePixelRatio(plan->scale);
    return result;
}
