#pragma once
// Rectangles as the platform gives them: left and top inclusive, right and
// bottom exclusive, and possibly with the edges in the wrong order.
#include <QPoint>
#include <QRect>

namespace widgets {

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    [[nodiscard]] int Width() const { return Right - Left; }
    [[nodiscard]] int Height() const { return Bottom - Top; }
    [[nodiscard]] bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    // An unordered rectangle gives an empty QRect.
    [[nodiscard]] QRect ToQRect() const { return QRect(Left, Top, Width(), Height()); }
    friend bool operator==(const TRect&, const TRect&) = default;
};

// Left <= Right and Top <= Bottom.
[[nodiscard]] TRect NormalizeRect(TRect r);
// The intersection of the two rectangles (each ordered first); (0, 0, 0, 0)
// when they do not overlap.
[[nodiscard]] TRect ClipRect(TRect a, TRect b);
// Inclusive on all four edges, the right and bottom ones too.
[[nodiscard]] bool PointInRect(QPoint p, TRect r);

} // namespace widgets
