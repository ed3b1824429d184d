#include "widgets/rects.h"

#include <algorithm>
#include <utility>

namespace widgets {

TRect NormalizeRect(TRect r) {
    if (r.Left > r.Right)
        std::swap(r.Left, r.Right);
    if (r.Top > r.Bottom)
        std::swap(r.Top, r.Bottom);
    return r;
}

TRect ClipRect(TRect a, TRect b) {
    a = NormalizeRect(a);
    b = NormalizeRect(b);
    const TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
                  std::min(a.Bottom, b.Bottom)};
    return r.IsEmpty() ? TRect{} : r;
}

bool PointInRect(QPoint p, TRect r) {
    return p.x() >= r.Left && p.x() <= r.Right && p.y() >= r.Top && p.y() <= r.Bottom;
}

} // namespace widgets
