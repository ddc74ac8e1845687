#pragma once

#include <QImage>
#include <QRect>

#include <vector>

// How a captured image is turned into what Tesseract reads best. Screen text is small
// (10-14 px) and often light on dark; Tesseract wants dark text of roughly 20-30 px on a
// light background.
struct PreparationOptions {
    bool invertDarkBackground = true;
    // Scale so that a text line is about this many pixels high; 0 disables scaling.
    int targetLineHeight = 32;
    // Beyond 2x, gaps in tables grow wide enough for the layout analysis to read them
    // column by column instead of row by row.
    double maximumScale = 2.0;
    // Scaling is skipped when the result would exceed this many pixels (large pages are
    // already at print resolution).
    qint64 maximumPixels = 12'000'000;
};

// An 8-bit grey image with dark text on a light background, scaled up when its lines are
// small. Its dots-per-metre are scaled along with it.
QImage prepareForRecognition(const QImage &image, const PreparationOptions &options = {});

// The image as 8-bit grey, transparent parts shown on white.
QImage greyscaleOnWhite(const QImage &image);

// Paints over rows and columns at the edges that are solid ink, in the background's grey: a
// selection drawn a little past a window takes in its frame or the desktop around it, which
// would otherwise read as a character or make the text look like another script.
// `grey` is dark-on-light.
void clearSolidEdges(QImage &grey);

// Repaints the filled boxes that hold text (a chat bubble, a selected row, a button, a
// table's head) as the background with dark text, whatever their colour and the text's:
// white text on a blue bubble is a hole in a dark shape to the engine, which it skips. Only
// a shape larger than its text, with text along it, counts: a bold glyph's counters do not.
// `grey` is dark-on-light.
void flattenFilledBoxes(QImage &grey);

// True when most of the image is dark, i.e. the text is presumably light.
bool hasDarkBackground(const QImage &grey);

// The commonest grey value of an image: its background.
int backgroundGrey(const QImage &grey);

// Otsu's threshold of a grey image: values at or below it count as ink.
int inkThreshold(const QImage &grey);

// A band of rows [top, bottom) that holds ink, i.e. a text line or part of one.
struct InkBand {
    int top = 0;
    int bottom = 0;
    int height() const { return bottom - top; }
};

// The bands of rows with ink in a grey, dark-on-light image, top to bottom. Rows that are
// almost entirely ink (rules, filled boxes) separate bands like blank rows.
std::vector<InkBand> inkBands(const QImage &grey, int threshold);

// Splits a grey, dark-on-light image into at most `count` full-width parts of whole text
// lines, cut in the blank rows between lines, so each part can be read on its own at the
// same time. Parts hold about the same number of lines; one part when there is one line.
std::vector<QRect> readingParts(const QImage &grey, int count);

// Median height in pixels of the bands of rows that contain ink (dark pixels) in a grey,
// dark-on-light image; 0 when there is no text-like band.
int estimateLineHeight(const QImage &grey);
