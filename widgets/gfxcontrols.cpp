#include "widgets/gfxcontrols.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

namespace widgets {

namespace {

// One ring of an edge: top and left in one colour, then right and bottom in
// the other (they own the top-right and bottom-left corners).
void Ring(QPainter& painter, QRect r, unsigned sides, TColor topLeft, TColor bottomRight) {
    const int left = r.x(), top = r.y(), right = r.x() + r.width(), bottom = r.y() + r.height();
    if (sides & BF_LEFT)
        painter.fillRect(Rect(left, top, left + 1, bottom), ToQColor(topLeft));
    if (sides & BF_TOP)
        painter.fillRect(Rect(left, top, right, top + 1), ToQColor(topLeft));
    if (sides & BF_RIGHT)
        painter.fillRect(Rect(right - 1, top, right, bottom), ToQColor(bottomRight));
    if (sides & BF_BOTTOM)
        painter.fillRect(Rect(left, bottom - 1, right, bottom), ToQColor(bottomRight));
}

QRect Shrink(QRect r, unsigned sides) {
    return r.adjusted(sides & BF_LEFT ? 1 : 0, sides & BF_TOP ? 1 : 0, sides & BF_RIGHT ? -1 : 0,
                      sides & BF_BOTTOM ? -1 : 0);
}

struct Frame {
    bool single = false; // a frame rectangle in the window-frame colour
    unsigned edge = 0;
    unsigned sides = 0;
    QMargins inset;
};

Frame FrameOf(TEPBorderStyle style) {
    switch (style) {
    case TEPBorderStyle::epbsNone:
        return {};
    case TEPBorderStyle::epbsSingle:
        return {true, 0, 0, QMargins(1, 1, 1, 1)};
    case TEPBorderStyle::epbsRaised:
        return {false, EDGE_RAISED, BF_RECT, QMargins(2, 2, 2, 2)};
    case TEPBorderStyle::epbsLowered:
        return {false, EDGE_SUNKEN, BF_RECT, QMargins(2, 2, 2, 2)};
    case TEPBorderStyle::epbsStatus:
        return {false, BDR_SUNKENOUTER, BF_RECT, QMargins(1, 1, 1, 1)};
    case TEPBorderStyle::epbsGroup:
        return {false, EDGE_ETCHED, BF_RECT, QMargins(2, 2, 2, 2)};
    case TEPBorderStyle::epbsHorizLine:
        return {false, EDGE_ETCHED, BF_TOP, QMargins(0, 2, 0, 0)};
    case TEPBorderStyle::epbsVertLine:
        return {false, EDGE_ETCHED, BF_LEFT, QMargins(2, 0, 0, 0)};
    case TEPBorderStyle::epbsHorizEdge:
        return {false, EDGE_ETCHED, BF_TOP | BF_BOTTOM, QMargins(0, 2, 0, 2)};
    case TEPBorderStyle::epbsVertEdge:
        return {false, EDGE_ETCHED, BF_LEFT | BF_RIGHT, QMargins(2, 0, 2, 0)};
    }
    return {};
}

void DrawFrame(QPainter& painter, QRect rect, TEPBorderStyle style) {
    const Frame frame = FrameOf(style);
    if (frame.single)
        Ring(painter, rect, BF_RECT, clWindowFrame, clWindowFrame);
    else if (frame.edge)
        DrawEdge(painter, rect, frame.edge, frame.sides);
}

// a * b / c in 64 bits, rounded like MulDiv; 0 when c is 0.
long long MulDiv64(long long a, long long b, long long c) {
    if (c == 0)
        return 0;
    const long long num = a * b;
    long long q = num / c;
    const long long r = num % c;
    if (2 * (r < 0 ? -r : r) >= (c < 0 ? -c : c))
        q += ((num < 0) != (c < 0)) ? -1 : 1;
    return q;
}

} // namespace

void DrawEdge(QPainter& painter, QRect rect, unsigned edge, unsigned sides) {
    if (edge & (BDR_RAISEDOUTER | BDR_SUNKENOUTER)) {
        if (edge & BDR_RAISEDOUTER)
            Ring(painter, rect, sides, cl3DLight, cl3DDkShadow);
        else
            Ring(painter, rect, sides, clBtnShadow, clBtnHighlight);
        rect = Shrink(rect, sides);
    }
    if (edge & BDR_RAISEDINNER)
        Ring(painter, rect, sides, clBtnHighlight, clBtnShadow);
    else if (edge & BDR_SUNKENINNER)
        Ring(painter, rect, sides, cl3DDkShadow, cl3DLight);
}

// ---- TEPGraphicControl ----

TEPGraphicControl::TEPGraphicControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void TEPGraphicControl::SetBorderSpace(unsigned space) {
    if (space == borderSpace_)
        return;
    borderSpace_ = space;
    FrameChanged();
}

void TEPGraphicControl::SetBorderStyle(TEPBorderStyle style) {
    if (style == borderStyle_)
        return;
    borderStyle_ = style;
    FrameChanged();
}

void TEPGraphicControl::SetColor(TColor color) {
    if (color == color_)
        return;
    color_ = color;
    // Without a colour the parent shows through.
    setAttribute(Qt::WA_OpaquePaintEvent, color_ != clNone);
    update();
}

QRect TEPGraphicControl::GetContentRect() const {
    const int space = int(std::min(borderSpace_, 0x7FFFu));
    return rect().marginsRemoved(QMargins(space, space, space, space)) -
           FrameOf(borderStyle_).inset;
}

void TEPGraphicControl::DrawBorder(QPainter& painter, QRect rect) {
    DrawFrame(painter, rect, borderStyle_);
}

void TEPGraphicControl::PaintOn(QPainter& painter, bool fill) {
    if (fill && color_ != clNone)
        painter.fillRect(rect(), ToQColor(color_));
    painter.save();
    DrawBorder(painter, rect());
    painter.restore();
    painter.setClipRect(GetContentRect());
    Paint(painter);
}

void TEPGraphicControl::paintEvent(QPaintEvent*) {
    if (!buffered_) {
        QPainter painter(this);
        PaintOn(painter, true);
        return;
    }
    // All at once: no half-drawn meter is ever seen.
    const qreal ratio = devicePixelRatioF();
    QPixmap buffer(size() * ratio);
    buffer.setDevicePixelRatio(ratio);
    buffer.fill(Qt::transparent);
    {
        QPainter painter(&buffer);
        PaintOn(painter, true);
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

void TEPGraphicControl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        OnClick)
        OnClick(this);
}

void TEPGraphicControl::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && OnDblClick)
        OnDblClick(this);
}

// ---- TEPBorder ----

TEPBorder::TEPBorder(QWidget* parent) : TEPGraphicControl(parent) {
    SetBuffered(false);
    resize(50, 50);
}

void TEPBorder::SetAlignment(Qt::Alignment alignment) {
    if (alignment == alignment_)
        return;
    alignment_ = alignment;
    update();
}

void TEPBorder::SetCaption(const std::string& caption) {
    if (caption == caption_)
        return;
    caption_ = caption;
    update();
}

void TEPBorder::DrawBorder(QPainter& painter, QRect rect) {
    const QString caption = QString::fromStdString(caption_);
    painter.setFont(font());
    const QFontMetrics metrics(font());
    if (BorderStyle() == TEPBorderStyle::epbsGroup && !caption.isEmpty()) {
        const int th = metrics.height(); // of "0"
        QRect frame = rect;
        frame.setTop(rect.top() + th / 2 - 1);
        DrawEdge(painter, frame, EDGE_ETCHED, BF_RECT);
        const QRect box(rect.left() + 8, rect.top(), metrics.horizontalAdvance(caption), th);
        painter.fillRect(box, ToQColor(Color()));
        painter.setPen(ToQColor(clWindowText));
        painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, caption);
        return;
    }
    DrawFrame(painter, rect, BorderStyle());
    if (caption.isEmpty())
        return;
    const QRect box =
        Rect(rect.left() + metrics.horizontalAdvance(QLatin1Char('M')) / 2, rect.top() + 1,
             rect.x() + rect.width() - 5, rect.y() + rect.height() - 1);
    const QColor back = ToQColor(Color());
    if (back.isValid()) {
        painter.setBackgroundMode(Qt::OpaqueMode);
        painter.setBackground(back);
    }
    painter.setPen(ToQColor(clWindowText));
    painter.setClipRect(box);
    painter.drawText(box, int(alignment_ | Qt::AlignVCenter) | Qt::TextSingleLine, caption);
}

// ---- TEPMeter ----

TEPMeter::TEPMeter(QWidget* parent) : TEPGraphicControl(parent) {
    resize(100, 21);
    SetColor(clWhite);
}

void TEPMeter::SetMeterColor(TColor color) {
    if (color == meterColor_)
        return;
    meterColor_ = color;
    update();
}

void TEPMeter::SetMeterStyle(TEPMeterStyle style) {
    if (style == meterStyle_)
        return;
    meterStyle_ = style;
    update();
}

void TEPMeter::SetMaxValue(int value) {
    if (value == maxValue_)
        return;
    maxValue_ = value;
    Clamp();
    update();
}

void TEPMeter::SetMinValue(int value) {
    if (value == minValue_)
        return;
    minValue_ = value;
    Clamp();
    update();
}

void TEPMeter::Clamp() {
    value_ = std::max(std::min(value_, maxValue_), minValue_);
}

void TEPMeter::SetOrientation(TEPOrientation orientation) {
    if (orientation == orientation_)
        return;
    orientation_ = orientation;
    update();
}

void TEPMeter::SetShowText(bool value) {
    if (value == showText_)
        return;
    showText_ = value;
    update();
}

void TEPMeter::SetUseFontColor(bool value) {
    if (value == useFontColor_)
        return;
    useFontColor_ = value;
    update();
}

void TEPMeter::SetFontColor(TColor color) {
    if (color == fontColor_)
        return;
    fontColor_ = color;
    update();
}

void TEPMeter::SetValue(int value) {
    if (value == value_)
        return;
    value_ = std::max(std::min(value, maxValue_), minValue_);
    update();
}

unsigned TEPMeter::Percent() const {
    if (maxValue_ == minValue_)
        return 0;
    const long long p = MulDiv64(static_cast<long long>(value_) - minValue_, 100,
                                 static_cast<long long>(maxValue_) - minValue_);
    return unsigned(std::clamp(p, 0LL, 100LL));
}

void TEPMeter::SetPercent(unsigned percent) {
    const long long value =
        MulDiv64(static_cast<long long>(maxValue_) - minValue_, percent, 100) + minValue_;
    SetValue(int(std::clamp<long long>(value, INT32_MIN, INT32_MAX)));
}

TColor TEPMeter::SelectColor(unsigned percent) {
    TColor color = meterColor_;
    if (OnSelectColor)
        OnSelectColor(this, percent, color);
    return color;
}

void TEPMeter::Paint(QPainter& painter) {
    const QRect rect = GetContentRect();
    const unsigned p = Percent();
    switch (meterStyle_) {
    case TEPMeterStyle::epmsBar:
        DrawMeterBar(painter, rect, showText_, p);
        break;
    case TEPMeterStyle::epmsLED:
        DrawMeterLED(painter, rect, p);
        break;
    case TEPMeterStyle::epmsOwnerDraw:
        painter.setFont(font());
        painter.setPen(ToQColor(useFontColor_ ? fontColor_ : Color()));
        painter.setBrush(ToQColor(SelectColor(p)));
        if (OnDrawMeter)
            OnDrawMeter(this, painter, rect);
        break;
    }
}

void TEPMeter::DrawMeterBar(QPainter& canvas, QRect rect, bool showText, unsigned percent) {
    const int L = rect.x(), T = rect.y(), R = rect.x() + rect.width(), B = rect.y() + rect.height();
    const int p = int(std::min(percent, 100u));
    const QString text = showText ? QStringLiteral("%1%").arg(p) : QString();
    canvas.setFont(font());
    const int h = QFontMetrics(font()).height(); // of "%"
    const int x = L + (R - L) / 2, y = T + (B - T - h) / 2;

    auto write = [&](QRect part, TColor back, TColor fore) {
        if (part.isEmpty())
            return;
        canvas.save();
        canvas.setClipRect(part, Qt::IntersectClip);
        const QColor color = ToQColor(back);
        if (color.isValid())
            canvas.fillRect(part, color);
        if (!text.isEmpty()) {
            canvas.setPen(ToQColor(fore));
            canvas.drawText(QRect(x - 0x4000, y, 0x8000, h),
                            Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, text);
        }
        canvas.restore();
    };

    const TColor meter = SelectColor(percent);
    const bool horizontal = orientation_ == TEPOrientation::epoHorizontal;
    const int along = horizontal ? MulDiv(R - L, p, 100) : MulDiv(B - T, p, 100);
    // Over the filled part the text takes the background colour...
    write(horizontal ? Rect(L, T, L + along, B) : Rect(L, B - along, R, B), meter,
          useFontColor_ ? fontColor_ : Color());
    // ...and over the empty part the meter colour.
    write(horizontal ? Rect(L + along, T, R, B) : Rect(L, T, R, B - along), Color(),
          useFontColor_ ? fontColor_ : meter);
}

void TEPMeter::DrawMeterLED(QPainter& canvas, QRect rect, unsigned percent) {
    int L = rect.x() + 1, T = rect.y() + 1, R = rect.x() + rect.width() - 1,
        B = rect.y() + rect.height() - 1;
    const int p = int(std::min(percent, 100u));
    const bool horizontal = orientation_ == TEPOrientation::epoHorizontal;
    // Cells have no room below 3 pixels across: nothing to light, and no
    // division by a zero cell.
    const int cell = ((horizontal ? B - T : R - L) - 2) * 100 / 110;
    if (cell <= 0)
        return;
    const int count = horizontal ? (R - L - 2 + cell) / cell : (B - T + 2 + cell) / cell;
    if (count <= 0)
        return;
    const int n = count * p / 100;
    for (int i = 0; i < n; ++i) {
        const QColor color = ToQColor(SelectColor(unsigned(i * 100 / count)));
        if (horizontal) {
            const QRect part = Rect(L, T, std::min(R - 1, L + cell - 2), B);
            if (color.isValid() && !part.isEmpty())
                canvas.fillRect(part, color);
            L += cell;
        } else {
            const QRect part = Rect(L, std::max(T + 1, B - cell + 2), R, B);
            if (color.isValid() && !part.isEmpty())
                canvas.fillRect(part, color);
            B -= cell;
        }
    }
}

} // namespace widgets
