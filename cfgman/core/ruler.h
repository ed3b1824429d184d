#pragma once
// The indent ruler of the message editors: where its three markers stand for
// a paragraph's indents (points) and which indents a released marker means.
// Pixels are 4/3 of a point; the ruler's text starts 6 pixels in.
#include <string>

namespace cfgman {

struct TIndents {
    // First line from the margin; the other lines from the first; right.
    int First = 0, Left = 0, Right = 0;
};

struct TMarkers {
    int First = 0, Left = 0, Right = 0;
};

[[nodiscard]] TMarkers MarkerPositions(const TIndents& indents, int rulerWidth);

// A marker released at position (its left edge), grabbed grip pixels in.
[[nodiscard]] int FirstIndentAt(int position, int grip);
[[nodiscard]] int LeftIndentAt(int position, int grip, int firstIndent);
[[nodiscard]] int RightIndentAt(int position, int grip, int rulerWidth);

// 100 repetitions of a tab and "|".
[[nodiscard]] std::string RulerText();

} // namespace cfgman
