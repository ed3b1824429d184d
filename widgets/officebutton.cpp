#include "widgets/officebutton.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "widgets/epimage.h"
#include "widgets/resources.h"

namespace widgets {

TOfficeButton::TOfficeButton(QWidget* parent) : QWidget(parent) {
    resize(100, 25);
    setMouseTracking(true);
}

void TOfficeButton::SetCaption(const std::string& caption) {
    if (caption == caption_)
        return;
    caption_ = caption;
    update();
}

void TOfficeButton::SetBorderWidth(int width) {
    width = std::clamp(width, 1, 3);
    if (width == borderWidth_)
        return;
    borderWidth_ = width;
    update();
}

void TOfficeButton::SetFont(const QFont& font) {
    if (&font == &font_)
        return;
    font_ = font;
    update();
}

void TOfficeButton::SetRoundSize(int size) {
    if (size == roundSize_)
        return;
    roundSize_ = size;
    update();
}

const char* TOfficeButton::IndicatorName() const {
    if (mouseIn_ && pressed_)
        return "DOWN";
    return mouseIn_ ? "ON" : "OFF";
}

namespace {

// The platform's RoundRect: right and bottom are exclusive, the pen is
// centred on the outline, the corner ellipse is w x h.
void RoundRect(QPainter& painter, int left, int top, int right, int bottom, int w, int h) {
    painter.drawRoundedRect(QRectF(left, top, right - left - 1, bottom - top - 1), w / 2.0, h / 2.0,
                            Qt::AbsoluteSize);
}

} // namespace

void TOfficeButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int o = offset_, bw = borderWidth_, r = roundSize_;
    const int w = width(), h = height();
    const QImage image = LoadBitmapResource(IndicatorName());
    const QRect imageRect(o + 7, (h - image.height()) / 2 + o, image.width(), image.height());

    painter.setBrush(Qt::NoBrush);
    painter.setFont(font_);
    if (mouseIn_) {
        painter.setPen(QPen(ToQColor(borderColor_), bw + 1));
        RoundRect(painter, bw, bw, w - bw + 1, h - bw + 1, r, r);
        painter.setPen(QPen(Qt::white, 2));
        painter.drawLine(r / 2, bw + 2, w - r / 2 - 1, bw + 2);
    } else {
        painter.setPen(QPen(ToQColor(clSilver), bw));
        RoundRect(painter, bw - 1, bw - 1, w - bw + 1, h - bw + 1, r, r);
    }
    if (!image.isNull())
        DrawTransparentBitmap(painter, imageRect, image, clWhite);

    const QString text = QString::fromStdString(caption_);
    const QFontMetrics metrics(font_);
    const int tw = metrics.horizontalAdvance(text), th = metrics.height();
    painter.setPen(ToQColor(clWindowText));
    painter.drawText(QRect((w - tw) / 2 + o + 7, (h - th) / 2 + o, tw, th),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

void TOfficeButton::MouseEnter() {
    mouseIn_ = true;
    offset_ = pressed_ ? 1 : 0;
    update();
}

void TOfficeButton::MouseLeave() {
    mouseIn_ = false;
    offset_ = 0;
    update();
}

void TOfficeButton::enterEvent(QEnterEvent*) {
    MouseEnter();
}

void TOfficeButton::leaveEvent(QEvent*) {
    MouseLeave();
}

void TOfficeButton::mousePressEvent(QMouseEvent* event) {
    mouseIn_ = true;
    pressed_ = true;
    offset_ = 1;
    update();
    if (OnMouseDown) {
        const QPoint p = event->position().toPoint();
        OnMouseDown(this, event->button(), event->modifiers(), p.x(), p.y());
    }
}

void TOfficeButton::mouseReleaseEvent(QMouseEvent* event) {
    pressed_ = false;
    offset_ = 0;
    update();
    const QPoint p = event->position().toPoint();
    if (OnMouseUp)
        OnMouseUp(this, event->button(), event->modifiers(), p.x(), p.y());
    if (event->button() == Qt::LeftButton && rect().contains(p) && OnClick)
        OnClick(this);
}

void TOfficeButton::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    // While held, the mouse belongs to the button: crossing its edge is a
    // leave or an enter even where no such event arrives.
    if (pressed_) {
        const bool inside = rect().contains(p);
        if (inside && !mouseIn_)
            MouseEnter();
        else if (!inside && mouseIn_)
            MouseLeave();
    }
    if (OnMouseMove)
        OnMouseMove(this, event->modifiers(), p.x(), p.y());
}

void TOfficeButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is a press too.
    mousePressEvent(event);
    if (OnDblClick)
        OnDblClick(this);
}

} // namespace widgets
