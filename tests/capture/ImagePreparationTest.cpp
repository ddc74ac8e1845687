#include "capture/ImagePreparation.h"
#include "capture/TestData.h"

#include <QFont>
#include <QPainter>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

int meanGrey(const QImage &grey)
{
    qint64 sum = 0;
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            sum += grey.constScanLine(y)[x];
    return int(sum / (qint64(grey.width()) * grey.height()));
}

} // namespace

// The image the engine reads: grey, dark text on light, small text scaled up (unless turned
// off) keeping its proportions, with the resolution raised to match.
TEST(ImagePreparation, GreyDarkOnLight_SmallTextScaledUp)
{
    const struct {
        const char *name;
        int pixelSize;
        QColor foreground, background;
        PreparationOptions options;
        double minimumScale, maximumScale;
    } rows[] = {
        { "small text", 11, Qt::black, Qt::white, {}, 2, 3 },
        { "large text stays at its size", 40, Qt::black, Qt::white, {}, 1, 1 },
        { "scaling turned off", 11, Qt::black, Qt::white, { .targetLineHeight = 0 }, 1, 1 },
        { "a dark background is inverted", 14, Qt::white, QColor(20, 20, 40), {}, 1, 3 },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const QImage source = renderSnippet({ u"Typing lines of text"_s, u"Second line, yes"_s },
            row.pixelSize, row.foreground, row.background);
        const QImage prepared = prepareForRecognition(source, row.options);
        EXPECT_EQ(prepared.format(), QImage::Format_Grayscale8);
        EXPECT_GT(meanGrey(prepared), 180);
        EXPECT_FALSE(hasDarkBackground(prepared));
        const double scale = double(prepared.width()) / source.width();
        EXPECT_GE(scale, row.minimumScale);
        EXPECT_LE(scale, row.maximumScale);
        EXPECT_NEAR(scale, double(prepared.height()) / source.height(), 0.02);
        if (row.maximumScale == 1)
            EXPECT_EQ(prepared.size(), source.size());
        else if (scale > 1)
            EXPECT_GT(prepared.dotsPerMeterX(), source.dotsPerMeterX());
    }
}

// Three 12-pixel bands of ink are lines 12 pixels high; a blank image has none, and is left
// at its size.
TEST(ImagePreparation, LineHeightFromInkBands)
{
    QImage grey(300, 100, QImage::Format_Grayscale8);
    grey.fill(255);
    EXPECT_EQ(estimateLineHeight(grey), 0);
    EXPECT_EQ(prepareForRecognition(grey).size(), grey.size());
    QPainter painter(&grey);
    for (int top : { 10, 40, 70 })
        painter.fillRect(20, top, 200, 12, Qt::black);
    painter.end();
    EXPECT_EQ(estimateLineHeight(grey), 12);
}

// Thin solid edges and a window's border inside a blank margin are frames; a deep band and a
// rule under text are content.
TEST(ImagePreparation, ClearsThinSolidFramesOnly)
{
    const struct {
        const char *name;
        int fill; // the image's grey; the rectangles are drawn in the other (0 or 250)
        std::vector<QRect> drawn;
        std::vector<std::pair<QPoint, int>> greyAt;
    } rows[] = {
        { "one pixel all round", 0, { { 1, 1, 198, 158 } }, { { { 0, 0 }, 250 } } },
        { "six pixels all round", 0, { { 6, 6, 188, 148 } }, { { { 199, 5 }, 250 } } },
        { "a band a quarter deep", 0, { { 0, 45, 200, 115 } }, { { { 100, 20 }, 0 } } },
        { "frame inside a margin", 250, { { 4, 10, 192, 2 }, { 4, 10, 2, 146 } }, { { { 100, 10 }, 250 } } },
        { "rule under text", 250, { { 4, 10, 192, 2 }, { 20, 2, 30, 6 } },
            { { { 100, 10 }, 0 }, { { 30, 5 }, 0 } } },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QImage grey(200, 160, QImage::Format_Grayscale8);
        grey.fill(row.fill);
        QPainter painter(&grey);
        for (const QRect &rect : row.drawn)
            painter.fillRect(rect, QColor(250 - row.fill, 250 - row.fill, 250 - row.fill));
        painter.fillRect(70, 95, 20, 10, Qt::black); // a glyph
        painter.end();
        clearSolidEdges(grey);
        for (const auto &[point, value] : row.greyAt)
            EXPECT_EQ(grey.pixelColor(point).red(), value) << point.x() << "," << point.y();
        EXPECT_EQ(grey.pixelColor(80, 100).red(), 0) << "the glyph stays";
    }
}

// A box holding text is repainted as the background with dark text, whichever is the lighter;
// a bold glyph's counters, a shape without text and words blurred by zooming are left as they are.
TEST(ImagePreparation, FlattensBoxesHoldingTextOnly)
{
    struct Case {
        const char *name;
        QColor box, text;
        QString words;
        int pixelSize;
        bool bold;
        bool flattened;
    };
    const Case cases[] = {
        { "white on blue", QColor(10, 132, 255), Qt::white, QStringLiteral("Great, see you there"), 14, false,
            true },
        { "dark on grey", QColor(61, 111, 168), QColor(20, 20, 20), QStringLiteral("Installation"), 13, false,
            true },
        { "bold glyphs run together", Qt::black, Qt::black, QStringLiteral("BOB"), 60, true, false },
        { "no text", QColor(40, 40, 40), QColor(40, 40, 40), QString(), 14, false, false },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QImage image(400, 120, QImage::Format_RGB32);
        image.fill(QColor(250, 250, 250));
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(c.pixelSize);
        font.setBold(c.bold);
        if (c.bold)
            font.setLetterSpacing(QFont::AbsoluteSpacing, -12);
        painter.setFont(font);
        const QRect box(20, 20, 300, 80);
        if (c.box != c.text) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(c.box);
            painter.drawRoundedRect(box, 14, 14);
        }
        painter.setPen(c.text);
        if (c.words.isEmpty())
            painter.fillRect(box.adjusted(0, 0, -120, -20), c.box);
        else
            painter.drawText(box, Qt::AlignCenter, c.words);
        painter.end();
        QImage grey = greyscaleOnWhite(image);
        const QImage before = grey;
        flattenFilledBoxes(grey);
        if (!c.flattened) {
            EXPECT_EQ(grey, before);
            continue;
        }
        // The box is now background, and the text is the darkest thing in it.
        EXPECT_GE(grey.pixelColor(box.left() + 6, box.center().y()).red(), 245);
        int darkest = 255;
        for (int y = box.top(); y <= box.bottom(); ++y)
            for (int x = box.left(); x <= box.right(); ++x)
                darkest = std::min(darkest, grey.pixelColor(x, y).red());
        EXPECT_LE(darkest, 40);
    }
    {
        // Small text zoomed in an image viewer: its words are blurred into shapes, not boxes.
        SCOPED_TRACE("zoomed small text");
        const QImage small(QStringLiteral(GLYPHWELL_KINDS_DATA "/small_08.png"));
        ASSERT_FALSE(small.isNull());
        QImage grey = greyscaleOnWhite(
            small.scaled(small.size() * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        const QImage before = grey;
        flattenFilledBoxes(grey);
        EXPECT_EQ(grey, before);
    }
}
