#pragma once

#include <QImage>
#include <QRect>

// A desktop whose every pixel tells where it is: red and green are the low bytes of x and y,
// blue holds their high nibbles. Unique for desktops up to 4096 × 4096 pixels.
inline QRgb desktopPatternAt(int x, int y)
{
    return qRgb(x & 0xff, y & 0xff, ((x >> 8) & 0xf) | (((y >> 8) & 0xf) << 4));
}

// The pattern over the given device pixels of the desktop.
inline QImage desktopPattern(const QRect &pixels)
{
    QImage image(pixels.size(), QImage::Format_RGB32);
    for (int y = 0; y < pixels.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < pixels.width(); ++x)
            line[x] = desktopPatternAt(pixels.x() + x, pixels.y() + y);
    }
    return image;
}

// How many pixels of the image differ from the pattern of the device pixels it should show.
inline int pixelsOffPattern(const QImage &image, const QRect &pixels)
{
    if (image.size() != pixels.size())
        return pixels.width() * pixels.height() + 1;
    int wrong = 0;
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            wrong += (image.pixel(x, y) & 0xffffff)
                    == (desktopPatternAt(pixels.x() + x, pixels.y() + y) & 0xffffff)
                ? 0
                : 1;
    return wrong;
}
