#include "widgets/colors.h"

#include <cstdlib>

namespace widgets {

namespace {

// Classic scheme, as 0x00BBGGRR.
TColor SystemColor(unsigned index) {
    switch (index) {
    case 5: // window
        return 0xFFFFFF;
    case 6: // window frame
    case 8: // window text
        return 0x000000;
    case 15: // button face
    case 22: // 3D light
        return 0xC8D0D4;
    case 16: // button shadow
        return 0x808080;
    case 20: // button highlight
        return 0xFFFFFF;
    case 21: // 3D dark shadow
        return 0x404040;
    default:
        return 0x000000;
    }
}

} // namespace

QColor ToQColor(TColor color) {
    if (color == clNone)
        return {};
    if (color & 0x80000000u)
        color = SystemColor(color & 0xFFu);
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

TColor FromQColor(const QColor& color) {
    if (!color.isValid())
        return clNone;
    return TColor(color.red()) | (TColor(color.green()) << 8) | (TColor(color.blue()) << 16);
}

int MulDiv(int a, int b, int c) {
    if (c == 0)
        return -1;
    const long long num = static_cast<long long>(a) * b;
    long long q = num / c;
    const long long r = num % c;
    // Round half away from zero.
    if (2 * std::llabs(r) >= std::llabs(static_cast<long long>(c)))
        q += ((num < 0) != (c < 0)) ? -1 : 1;
    return static_cast<int>(q);
}

} // namespace widgets
