#pragma once

#include "TextLineAssembly.h"

#include <QImage>

#include <vector>

// What the engine reads where there is no text: lines to drop, and whether anything is left.

// A pixel of text rather than of the background it stands on.
inline bool isInk(int grey, int background)
{
    return grey + 48 < background;
}

// For each line, whether it is junk: doubtful words over an icon, a photo, a code or a rule.
std::vector<bool> junkLines(const QImage &grey, int background, const std::vector<RecognizedLine> &lines);

// Whether the lines not dropped hold text: a sure word, or more than a handful of characters.
bool holdsText(const std::vector<RecognizedLine> &lines, const std::vector<bool> &junk);

// Whether ink stands outside the words kept: more than a speck (a dot the engine left out of its
// word, a rule) in all. A code's modules, an icon or a missed line are that much.
bool hasInkOutside(const QImage &grey, int background, const std::vector<RecognizedLine> &lines,
    const std::vector<bool> &junk);
