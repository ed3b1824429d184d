#pragma once
// What reader and writer agree on: lengths (RTF counts twips, the document
// pixels at 96 per inch) and the kinds of list paragraphs.
#include <QTextListFormat>
#include <QtGlobal>

namespace rtf::detail {

inline constexpr int kTwipsPerPixel = 15;
// Indents and spacing beyond 22 inches are cut to it.
inline constexpr int kMaxTwips = 31680;

[[nodiscard]] inline qreal TwipsToPixels(int twips) {
    return static_cast<qreal>(twips) / kTwipsPerPixel;
}

[[nodiscard]] inline int PixelsToTwips(qreal pixels) {
    const qreal twips = pixels * kTwipsPerPixel;
    return qRound(qBound<qreal>(-kMaxTwips, twips, kMaxTwips));
}

enum class ListKind { None, Bullet, Decimal, LowerAlpha, UpperAlpha, LowerRoman, UpperRoman };

[[nodiscard]] inline QTextListFormat::Style ToListStyle(ListKind kind) {
    switch (kind) {
    case ListKind::Decimal:
        return QTextListFormat::ListDecimal;
    case ListKind::LowerAlpha:
        return QTextListFormat::ListLowerAlpha;
    case ListKind::UpperAlpha:
        return QTextListFormat::ListUpperAlpha;
    case ListKind::LowerRoman:
        return QTextListFormat::ListLowerRoman;
    case ListKind::UpperRoman:
        return QTextListFormat::ListUpperRoman;
    default:
        return QTextListFormat::ListDisc;
    }
}

// Circles and squares are bullets too: RTF has one kind of bullet.
[[nodiscard]] inline ListKind FromListStyle(QTextListFormat::Style style) {
    switch (style) {
    case QTextListFormat::ListDecimal:
        return ListKind::Decimal;
    case QTextListFormat::ListLowerAlpha:
        return ListKind::LowerAlpha;
    case QTextListFormat::ListUpperAlpha:
        return ListKind::UpperAlpha;
    case QTextListFormat::ListLowerRoman:
        return ListKind::LowerRoman;
    case QTextListFormat::ListUpperRoman:
        return ListKind::UpperRoman;
    default:
        return ListKind::Bullet;
    }
}

} // namespace rtf::detail
