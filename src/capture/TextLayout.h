#pragma once

#include <QImage>
#include <QRect>

#include <utility>
#include <vector>

// One part of a selection that is read on its own: a flow of text (a column, a sidebar, a
// paragraph) read whole, top to bottom, or a table read row by row.
struct TextBlock {
    QRect rect;
    // A table's gutters between its columns, [left, right) in x, left to right; empty for a
    // flow.
    std::vector<std::pair<int, int>> gutters;
    // A table's rules, across and along: painted over before reading.
    std::vector<QRect> rules;
    bool isTable() const { return !gutters.empty(); }
};

// The blocks of a grey, dark-on-light image in reading order. Flows side by side (columns
// with a gutter, a sidebar beside the content) come one after the other, left to right (right
// to left when `rightToLeft`); cells that stand in rows across the gutters make a table.
// Found from the ink alone, before anything is read: runs of blank columns that cross every
// line of a region are its gutters, and the region is cut across, between two lines, where
// the gutters begin or end. A selection of one flow is one block holding all its ink.
std::vector<TextBlock> textBlocks(const QImage &grey, bool rightToLeft = false);
