#pragma once
// A panel holding two child controls with a bar between them. The bar's
// place is a percentage of the inner extent, so the division keeps its
// proportion when the panel is resized; the user drags the bar (only an
// inverted ghost moves until the button is released) and code sets the
// percentage directly. The first two child widgets are the panes, in the
// order of the panel's children; further ones are never placed.
#include <QWidget>
#include <functional>

#include "widgets/colors.h"
#include "widgets/rects.h"

class QPainter;

namespace widgets {

// sdVertical: panes side by side with a vertical bar; sdHorizontal: panes
// stacked with a horizontal bar.
enum class TSplitDirection { sdHorizontal, sdVertical };
enum class TBevelCut { bvNone, bvLowered, bvRaised };
enum class TBorderStyle { bsNone, bsSingle };

class TTwoWaySplitter : public QWidget {
    Q_OBJECT
public:
    using TSplitPosition = std::function<void(QObject* sender)>;
    using TSplitMove = std::function<void(QObject* sender, int position)>;

    explicit TTwoWaySplitter(QWidget* parent = nullptr);

    [[nodiscard]] TSplitDirection SplitDirection() const { return splitDirection_; }
    // Also turns a split cursor of the other direction into this one's.
    void SetSplitDirection(TSplitDirection direction);
    // The bar centre in percent of the inner extent, 0..100.
    [[nodiscard]] int BarPosition() const { return barPosition_; }
    void SetBarPosition(int position);
    // Thickness in pixels, at least 1.
    [[nodiscard]] int BarWidth() const { return barWidth_; }
    void SetBarWidth(int width);
    [[nodiscard]] TColor BarColor() const { return barColor_; }
    void SetBarColor(TColor color);

    // The panel's own look: colour, bevels and border.
    [[nodiscard]] TColor Color() const { return color_; }
    void SetColor(TColor color);
    [[nodiscard]] TBevelCut BevelInner() const { return bevelInner_; }
    void SetBevelInner(TBevelCut bevel);
    [[nodiscard]] TBevelCut BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TBevelCut bevel);
    // At least 1.
    [[nodiscard]] int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int width);
    [[nodiscard]] TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);
    // At least 0.
    [[nodiscard]] int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int width);
    // The cursor over the bar and during a drag.
    [[nodiscard]] Qt::CursorShape DragCursor() const { return dragCursor_; }
    void SetDragCursor(Qt::CursorShape cursor) { dragCursor_ = cursor; }

    [[nodiscard]] bool Dragging() const { return dragging_; }

    // The client area less the frame (border, bevels and border width).
    [[nodiscard]] TRect CalcInnerRect() const;
    // The bar at a position, clipped to the inner area; (0, 0, 0, 0) when it
    // falls outside.
    [[nodiscard]] TRect GetBarRect(int position) const;
    // Places the panes beside the bar at BarPosition and repaints.
    void ResizePanes();

    // Once, when a drag ends.
    TSplitPosition OnBarPosition;
    // At each change of position during a drag.
    TSplitMove OnSplitMove;

protected:
    void DrawBar(QPainter& painter, TColor color, int position);
    // Shows the ghost bar at BarPosition, or takes it away again.
    void DrawDragBar();

    bool event(QEvent* event) override;
    void childEvent(QChildEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The child widgets that are panes, first one first.
    [[nodiscard]] QList<QWidget*> Panes() const;
    void FrameChanged();

    TSplitDirection splitDirection_ = TSplitDirection::sdVertical;
    int barPosition_ = 50;
    // The position the panes were last placed for; the painted bar keeps
    // to them while a drag moves only the ghost.
    int panesPosition_ = 50;
    TColor barColor_ = clBtnFace;
    int barWidth_ = 5;
    TColor color_ = clBtnFace;
    TBevelCut bevelInner_ = TBevelCut::bvNone;
    TBevelCut bevelOuter_ = TBevelCut::bvRaised;
    int bevelWidth_ = 1;
    TBorderStyle borderStyle_ = TBorderStyle::bsNone;
    int borderWidth_ = 0;
    Qt::CursorShape dragCursor_ = Qt::SplitHCursor;
    Qt::CursorShape savedCursor_ = Qt::ArrowCursor;
    bool dragging_ = false;
    QWidget* ghost_ = nullptr;
};

} // namespace widgets
