#pragma once
// Colours as the components store them: 0x00BBGGRR values, system colours
// with the high bit set and an index below, and the "no colour" value.
// System colours resolve to the classic Windows scheme so that drawings are
// the same on every desktop.
#include <QColor>
#include <cstdint>

namespace widgets {

using TColor = std::uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clNavy = 0x800000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;

constexpr TColor clWindow = 0x80000005;
constexpr TColor clWindowFrame = 0x80000006;
constexpr TColor clWindowText = 0x80000008;
constexpr TColor clBtnFace = 0x8000000F;
constexpr TColor clBtnShadow = 0x80000010;
constexpr TColor clBtnHighlight = 0x80000014;
constexpr TColor cl3DDkShadow = 0x80000015;
constexpr TColor cl3DLight = 0x80000016;

// clNone gives an invalid QColor.
[[nodiscard]] QColor ToQColor(TColor color);
[[nodiscard]] TColor FromQColor(const QColor& color);

// a * b / c rounded half away from zero, -1 when c is 0 (the platform's MulDiv).
[[nodiscard]] int MulDiv(int a, int b, int c);

} // namespace widgets
