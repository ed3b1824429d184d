#include "widgets/splitter.h"

#include <QChildEvent>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <algorithm>

#include "widgets/gfxcontrols.h"

namespace widgets {

namespace {

// The ghost bar: a child above the panes that inverts whatever lies under
// it, so showing it and hiding it again leaves the picture as it was.
class TDragGhost : public QWidget {
public:
    explicit TDragGhost(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        painter.fillRect(rect(), Qt::black);
    }
};

// A vertical line at x from y1 up to y2 (exclusive), or a horizontal one.
void VLine(QPainter& painter, int x, int y1, int y2, const QColor& color) {
    if (y2 > y1)
        painter.fillRect(QRect(x, y1, 1, y2 - y1), color);
}
void HLine(QPainter& painter, int y, int x1, int x2, const QColor& color) {
    if (x2 > x1)
        painter.fillRect(QRect(x1, y, x2 - x1, 1), color);
}

// `width` rings of a bevel, outside in; returns what is left inside.
QRect Bevel(QPainter& painter, QRect r, TBevelCut bevel, int width) {
    if (bevel == TBevelCut::bvNone)
        return r;
    const unsigned edge = bevel == TBevelCut::bvRaised ? BDR_RAISEDINNER : BDR_SUNKENOUTER;
    for (int i = 0; i < width && !r.isEmpty(); ++i) {
        DrawEdge(painter, r, edge, BF_RECT);
        r.adjust(1, 1, -1, -1);
    }
    return r;
}

} // namespace

TTwoWaySplitter::TTwoWaySplitter(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    resize(100, 100);
    savedCursor_ = cursor().shape();
    ghost_ = new TDragGhost(this);
}

void TTwoWaySplitter::SetSplitDirection(TSplitDirection direction) {
    if (direction == splitDirection_)
        return;
    splitDirection_ = direction;
    if (direction == TSplitDirection::sdVertical && dragCursor_ == Qt::SplitVCursor)
        dragCursor_ = Qt::SplitHCursor;
    else if (direction == TSplitDirection::sdHorizontal && dragCursor_ == Qt::SplitHCursor)
        dragCursor_ = Qt::SplitVCursor;
    ResizePanes();
}

void TTwoWaySplitter::SetBarPosition(int position) {
    position = std::clamp(position, 0, 100);
    if (position == barPosition_)
        return;
    barPosition_ = position;
    ResizePanes();
}

void TTwoWaySplitter::SetBarWidth(int width) {
    width = std::max(width, 1);
    if (width == barWidth_)
        return;
    barWidth_ = width;
    ResizePanes();
}

void TTwoWaySplitter::SetBarColor(TColor color) {
    if (color == barColor_)
        return;
    barColor_ = color;
    update();
}

void TTwoWaySplitter::SetColor(TColor color) {
    if (color == color_)
        return;
    color_ = color;
    update();
}

void TTwoWaySplitter::SetBevelInner(TBevelCut bevel) {
    if (bevel == bevelInner_)
        return;
    bevelInner_ = bevel;
    FrameChanged();
}

void TTwoWaySplitter::SetBevelOuter(TBevelCut bevel) {
    if (bevel == bevelOuter_)
        return;
    bevelOuter_ = bevel;
    FrameChanged();
}

void TTwoWaySplitter::SetBevelWidth(int width) {
    width = std::max(width, 1);
    if (width == bevelWidth_)
        return;
    bevelWidth_ = width;
    FrameChanged();
}

void TTwoWaySplitter::SetBorderStyle(TBorderStyle style) {
    if (style == borderStyle_)
        return;
    borderStyle_ = style;
    FrameChanged();
}

void TTwoWaySplitter::SetBorderWidth(int width) {
    width = std::max(width, 0);
    if (width == borderWidth_)
        return;
    borderWidth_ = width;
    FrameChanged();
}

void TTwoWaySplitter::FrameChanged() {
    // The inner area moved: the panes follow (and the panel repaints).
    ResizePanes();
}

TRect TTwoWaySplitter::CalcInnerRect() const {
    int frame = borderStyle_ == TBorderStyle::bsSingle ? 1 : 0;
    if (bevelInner_ != TBevelCut::bvNone)
        frame += bevelWidth_;
    if (bevelOuter_ != TBevelCut::bvNone)
        frame += bevelWidth_;
    frame += borderWidth_;
    // A panel smaller than its frame has no inner area rather than a
    // negative one.
    const int w = std::max(width() - 2 * frame, 0), h = std::max(height() - 2 * frame, 0);
    return {frame, frame, frame + w, frame + h};
}

TRect TTwoWaySplitter::GetBarRect(int position) const {
    const TRect inner = CalcInnerRect();
    const int half = barWidth_ / 2;
    TRect bar;
    if (splitDirection_ == TSplitDirection::sdVertical) {
        const int offset = MulDiv(position, inner.Width(), 100);
        bar = {inner.Left + offset - half, inner.Top, inner.Left + offset + barWidth_ - half,
               inner.Bottom};
    } else {
        const int offset = MulDiv(position, inner.Height(), 100);
        bar = {inner.Left, inner.Top + offset - half, inner.Right,
               inner.Top + offset + barWidth_ - half};
    }
    return ClipRect(bar, inner);
}

QList<QWidget*> TTwoWaySplitter::Panes() const {
    QList<QWidget*> panes;
    for (QObject* child : children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && widget != ghost_ && !widget->isWindow())
            panes.append(widget);
    }
    return panes;
}

void TTwoWaySplitter::ResizePanes() {
    const TRect inner = CalcInnerRect();
    TRect bar = GetBarRect(barPosition_);
    panesPosition_ = barPosition_;
    if (bar.IsEmpty()) {
        // A one-pixel bar at 100 % falls just outside the inner area: the
        // panes divide at the edge as for a thicker bar, instead of the
        // second pane taking the whole panel.
        if (splitDirection_ == TSplitDirection::sdVertical) {
            const int x = std::clamp(inner.Left + MulDiv(barPosition_, inner.Width(), 100),
                                     inner.Left, inner.Right);
            bar = {x, inner.Top, x, inner.Bottom};
        } else {
            const int y = std::clamp(inner.Top + MulDiv(barPosition_, inner.Height(), 100),
                                     inner.Top, inner.Bottom);
            bar = {inner.Left, y, inner.Right, y};
        }
    }
    const QList<QWidget*> panes = Panes();
    const auto place = [](QWidget* pane, int left, int top, int width, int height) {
        pane->setGeometry(left, top, std::max(width, 0), std::max(height, 0));
    };
    if (splitDirection_ == TSplitDirection::sdVertical) {
        if (!panes.empty())
            place(panes[0], inner.Left, inner.Top, bar.Left - inner.Left + 1, inner.Height());
        if (panes.size() > 1)
            place(panes[1], bar.Right, inner.Top, inner.Right - bar.Right + 1, inner.Height());
    } else {
        if (!panes.empty())
            place(panes[0], inner.Left, inner.Top, inner.Width(), bar.Top - inner.Top + 1);
        if (panes.size() > 1)
            place(panes[1], inner.Left, bar.Bottom, inner.Width(), inner.Bottom - bar.Bottom + 1);
    }
    update();
}

void TTwoWaySplitter::DrawBar(QPainter& painter, TColor color, int position) {
    const TRect r = GetBarRect(position);
    if (r.IsEmpty())
        return;
    const QColor c = ToQColor(color);
    if (bevelInner_ != TBevelCut::bvLowered) {
        painter.fillRect(r.ToQRect(), c);
        return;
    }
    // In a lowered panel the bar stands out raised.
    const int bevel = barWidth_ < 2 * bevelWidth_ ? barWidth_ / 2 : bevelWidth_;
    const bool vertical = splitDirection_ == TSplitDirection::sdVertical;
    const QColor light = ToQColor(clBtnHighlight), shadow = ToQColor(clBtnShadow);
    for (int i = 0; i < bevel; ++i) {
        if (vertical)
            VLine(painter, r.Left + i, r.Top - i, r.Bottom + i, light);
        else
            HLine(painter, r.Top + i, r.Left - i, r.Right + i, light);
    }
    if (barWidth_ - 2 * bevel > 0) {
        const TRect face =
            vertical ? TRect{r.Left + bevel, r.Top - bevel, r.Right - bevel, r.Bottom + bevel}
                     : TRect{r.Left - bevel, r.Top + bevel, r.Right + bevel, r.Bottom - bevel};
        painter.fillRect(NormalizeRect(face).ToQRect(), c);
    }
    for (int i = 0; i < bevel; ++i) {
        if (vertical)
            VLine(painter, r.Right - i - 1, r.Top - i, r.Bottom + i, shadow);
        else
            HLine(painter, r.Bottom - i - 1, r.Left - i, r.Right + i, shadow);
    }
}

void TTwoWaySplitter::DrawDragBar() {
    if (!dragging_)
        return;
    if (ghost_->isVisible()) {
        ghost_->hide();
        return;
    }
    ghost_->setGeometry(GetBarRect(barPosition_).ToQRect());
    ghost_->raise();
    ghost_->show();
}

bool TTwoWaySplitter::event(QEvent* event) {
    // Showing the ghost asks for a layout too; the panes stay put until
    // the drag ends.
    if (event->type() == QEvent::LayoutRequest && !dragging_)
        ResizePanes();
    return QWidget::event(event);
}

void TTwoWaySplitter::childEvent(QChildEvent* event) {
    QWidget::childEvent(event);
    // A child being added is not built yet: place the panes once control
    // is back in the event loop.
    if (event->added() || event->removed())
        QCoreApplication::postEvent(this, new QEvent(QEvent::LayoutRequest));
}

void TTwoWaySplitter::resizeEvent(QResizeEvent*) {
    ResizePanes();
}

void TTwoWaySplitter::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor color = ToQColor(color_);
    painter.fillRect(rect(), color);
    QRect r = rect();
    if (borderStyle_ == TBorderStyle::bsSingle && !r.isEmpty()) {
        painter.setPen(ToQColor(clWindowFrame));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    r = Bevel(painter, r, bevelOuter_, bevelWidth_);
    r.adjust(borderWidth_, borderWidth_, -borderWidth_, -borderWidth_);
    Bevel(painter, r, bevelInner_, bevelWidth_);
    DrawBar(painter, barColor_, panesPosition_);
}

void TTwoWaySplitter::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    const QPoint p = event->position().toPoint();
    const TRect bar = GetBarRect(barPosition_);
    // A bar clipped away (0, 0, 0, 0) cannot be grabbed at the corner.
    if (event->button() != Qt::LeftButton || dragging_ || bar.IsEmpty() || !PointInRect(p, bar))
        return;
    dragging_ = true;
    if (cursor().shape() != dragCursor_) {
        savedCursor_ = cursor().shape();
        setCursor(dragCursor_);
    }
    DrawDragBar();
}

void TTwoWaySplitter::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    const QPoint p = event->position().toPoint();
    if (!dragging_) {
        const TRect bar = GetBarRect(barPosition_);
        const bool over = !bar.IsEmpty() && PointInRect(p, bar);
        if (over && cursor().shape() != dragCursor_) {
            savedCursor_ = cursor().shape();
            setCursor(dragCursor_);
        } else if (!over && cursor().shape() != savedCursor_) {
            setCursor(savedCursor_);
        }
        return;
    }
    const TRect inner = CalcInnerRect();
    const bool vertical = splitDirection_ == TSplitDirection::sdVertical;
    int v = vertical ? p.x() : p.y();
    const int lo = vertical ? inner.Left : inner.Top;
    const int hi = vertical ? inner.Right : inner.Bottom;
    const int half = barWidth_ / 2;
    if (v < lo + half - 1)
        v = lo + half - 1;
    else if (v > hi - half)
        v = hi - half;
    // A bar thicker than the inner area would land beyond 100 %.
    const int position = std::clamp(MulDiv(v - lo + 1, 100, hi - lo + 1), 0, 100);
    if (position == barPosition_)
        return;
    DrawDragBar();
    barPosition_ = position;
    DrawDragBar();
    if (OnSplitMove)
        OnSplitMove(this, position);
}

void TTwoWaySplitter::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    setCursor(savedCursor_);
    if (!dragging_)
        return;
    DrawDragBar();
    ResizePanes();
    const QPointer<TTwoWaySplitter> self(this);
    if (OnBarPosition)
        OnBarPosition(this);
    if (self)
        dragging_ = false;
}

} // namespace widgets
