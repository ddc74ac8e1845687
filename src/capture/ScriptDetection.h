#pragma once

#include <QImage>

// Whether a prepared image (grey, dark text on light) shows Latin letters or East Asian
// characters, told from the shapes of its ink alone: no model is loaded and no reading is
// needed, so a doubtful reading cannot mislead it.
struct ScriptFeatures {
    int glyphs = 0; // ink runs measured (letters, characters or parts of them)
    double fullHeightShare = 0; // share of glyph width whose ink spans most of the line's height
    double crossings = 0; // mean number of strokes a vertical line through a glyph meets
    double squareShare = 0; // share of glyph width in runs about as wide as the line is high
    double density = 0; // ink over the glyphs' boxes
    double baseline = 0; // share of inked columns whose lowest ink is on the line's baseline
    double meanline = 0; // share of inked columns whose topmost ink is on the commonest top row
    double stacked = 0; // share of large ink components with another one above or below them
    double core = 0; // share of ink in the middle half of the line's rows
};

ScriptFeatures scriptFeatures(const QImage &grey);

enum class WritingScript { latin, eastAsian };

// Above 0 for East Asian text; the further from 0, the clearer.
double eastAsianScore(const ScriptFeatures &features);
WritingScript detectScript(const ScriptFeatures &features);
