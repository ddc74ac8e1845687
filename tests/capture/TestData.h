#pragma once

#include "capture/RecognitionEngine.h"

#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

inline QString testDataPath(const QString &relative)
{
    const QString root = qEnvironmentVariable("GLYPHWELL_TEST_DATA");
    EXPECT_FALSE(root.isEmpty()) << "GLYPHWELL_TEST_DATA is not set";
    return root + QLatin1Char('/') + relative;
}

inline QImage loadTestImage(const QString &relative)
{
    QImage image(testDataPath(relative));
    EXPECT_FALSE(image.isNull()) << "cannot load " << relative.toStdString();
    return image;
}

// Expected files are compared byte for byte, so they are read without any conversion.
inline QString loadTestText(const QString &relative)
{
    QFile file(testDataPath(relative));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << "cannot open " << relative.toStdString();
    return QString::fromUtf8(file.readAll());
}

// The engine's lines, each its best candidate; nothing for a reading that failed.
inline QString joined(const std::optional<std::vector<TextObservation>> &observations)
{
    QStringList lines;
    for (const TextObservation &observation : observations.value_or(std::vector<TextObservation> {}))
        lines.append(observation.topCandidates.value(0));
    return lines.join(QLatin1Char('\n'));
}

// A snippet as it looks on screen: small antialiased text without any margin to spare.
inline QImage renderSnippet(const QStringList &lines, int pixelSize, QColor foreground, QColor background,
    const QString &family = QStringLiteral("DejaVu Sans"))
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    const int lineHeight = pixelSize * 3 / 2;
    QImage image(pixelSize * 30, lineHeight * int(lines.size()) + pixelSize,
        background.alpha() < 255 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    image.fill(background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(foreground);
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(QPoint(pixelSize / 2, pixelSize + i * lineHeight), lines[i]);
    return image;
}
