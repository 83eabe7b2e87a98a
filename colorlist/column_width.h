// How wide a column is made to fit its contents.
#pragma once

#include <algorithm>
#include <vector>

// Added to every measured text width, in pixels at 96 DPI.
constexpr int kColumnTextMargin = 12;

// The margin at the DPI the list is drawn at, rounded as MulDiv rounds.
inline int ColumnTextMargin(int dpi) { return (kColumnTextMargin * dpi + 48) / 96; }

// The widest of the heading and the texts, each with the margin.
inline int FittingColumnWidth(int headingWidth, const std::vector<int>& textWidths,
                              int margin = kColumnTextMargin) {
    int width = headingWidth;
    for (const int text : textWidths) width = std::max(width, text);
    return width + margin;
}

// The last column takes what the others leave of the client width; zero or less when they
// leave nothing.
inline int RemainingColumnWidth(int clientWidth, const std::vector<int>& otherWidths) {
    int width = clientWidth;
    for (const int other : otherWidths) width -= other;
    return width;
}
