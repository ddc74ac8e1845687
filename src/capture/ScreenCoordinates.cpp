#include "ScreenCoordinates.h"

ScreenCoordinates::ScreenCoordinates(std::vector<ScreenInfo> screens)
    : m_screens(std::move(screens))
{ }

QPointF ScreenCoordinates::toDevice(std::size_t screen, QPointF logical) const
{
    const ScreenInfo &info = m_screens.at(screen);
    return QPointF(info.nativeRect.topLeft()) + (logical - info.geometry.topLeft()) * info.scale;
}

QPointF ScreenCoordinates::toLogical(std::size_t screen, QPointF device) const
{
    const ScreenInfo &info = m_screens.at(screen);
    return info.geometry.topLeft() + (device - QPointF(info.nativeRect.topLeft())) / info.scale;
}

std::optional<std::size_t> ScreenCoordinates::screenAt(QPointF device) const
{
    for (std::size_t i = 0; i < m_screens.size(); ++i) {
        // A QRect's right edge is the last pixel inside; a point's pixel is its floor.
        const QRect &pixels = m_screens[i].nativeRect;
        if (device.x() >= pixels.left() && device.x() < pixels.left() + pixels.width()
            && device.y() >= pixels.top() && device.y() < pixels.top() + pixels.height())
            return i;
    }
    return std::nullopt;
}

qreal ScreenCoordinates::scaleAt(QPointF device) const
{
    const std::optional<std::size_t> screen = screenAt(device);
    return screen ? m_screens[*screen].scale : 1.0;
}
