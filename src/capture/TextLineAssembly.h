#pragma once

#include "RecognitionEngine.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <optional>
#include <vector>

// What the engine read of one word: its text, its box and its characters' boxes, in pixels
// of one image, with the engine's confidence (0-1).
struct RecognizedWord {
    QString text;
    QRect box;
    std::vector<QRect> symbols;
    float confidence = 0;
};

struct RecognizedLine {
    std::vector<RecognizedWord> words;
};

// Han, kana, Hangul and the full-width forms: characters a square wide, set without spaces
// between them (Korean sets them between words).
bool isEastAsian(QChar c);

// The cells of a monospaced block: cell k spans [origin + k * pitch, origin + (k + 1) * pitch).
struct CharacterGrid {
    double pitch = 0;
    double origin = 0;
    int inkThreshold = 0; // grey values at or below it are the ink the cells were found in
};

// The character grid of the lines' text in the grey, dark-on-light image they were read
// from; absent for proportional text.
std::optional<CharacterGrid> findCharacterGrid(const QImage &grey, const std::vector<RecognizedLine> &lines);

// The lines as text, with the white space between the words restored from where the words
// stand rather than from the engine's guess: in monospaced text every empty character cell
// is one space, inside a word the engine ran together too, and the indentation of a line
// against the leftmost one of its block is kept, so code, terminals and columns paste as they look; in
// proportional text a gap wide enough for a space is one space, and a narrower one (after the dot of a domain
// name) none. Lines without words are left out. `gutters` are a table's gaps between its columns, [left,
// right) in x: in proportional text each one between two words (or before the first) is a tab, so the rows
// paste into a spreadsheet as its cells; monospaced tables keep their spaces, as a terminal shows them.
// `indentFrom` is where indentation is counted from, when the lines are a block cut from
// a taller one (by default the leftmost line of these).
std::vector<TextObservation> assembleLines(const std::vector<RecognizedLine> &lines, const QImage &grey,
    const std::vector<std::pair<int, int>> &gutters = {}, std::optional<int> indentFrom = std::nullopt);
