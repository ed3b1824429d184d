#include "cfgman/core/ruler.h"

#include <cmath>

namespace cfgman {

namespace {

int Round(double v) {
    return static_cast<int>(std::lround(v));
}

} // namespace

TMarkers MarkerPositions(const TIndents& indents, int rulerWidth) {
    return {Round(indents.First * 4.0 / 3.0) + 2,
            Round((indents.First + indents.Left) * 4.0 / 3.0) + 2,
            rulerWidth - Round((indents.Right + 6) * 4.0 / 3.0) - 6};
}

int FirstIndentAt(int position, int grip) {
    return Round((position + grip - 6) * 3.0 / 4.0);
}

int LeftIndentAt(int position, int grip, int firstIndent) {
    return Round((position + grip - 6) * 3.0 / 4.0) - firstIndent;
}

int RightIndentAt(int position, int grip, int rulerWidth) {
    return Round((rulerWidth + grip - position - 2) * 3.0 / 4.0) - 12;
}

std::string RulerText() {
    std::string text;
    for (int i = 0; i < 100; ++i)
        text += "\t|";
    return text;
}

} // namespace cfgman
