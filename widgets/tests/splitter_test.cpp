// The two-pane splitter: where the panes go, dragging the bar with
// synthesised mouse events, and what the panel paints.
#include <gtest/gtest.h>
#include <vector>

#include "widgets/splitter.h"
#include "widgets/tests/helpers.h"

namespace widgets {
namespace {

using test::Grab;
using test::Mouse;
using test::Pump;
using test::Q;

QWidget* Pane(QWidget* parent, QColor color) {
    auto* pane = new QWidget(parent);
    pane->setAutoFillBackground(true);
    QPalette palette = pane->palette();
    palette.setColor(QPalette::Window, color);
    pane->setPalette(palette);
    return pane;
}

const QColor red(255, 0, 0), blue(0, 0, 255);

// 200 x 100 with the default raised outer bevel: the inner area is
// (1, 1) .. (199, 99).
struct Split {
    TTwoWaySplitter splitter;
    QWidget* first = Pane(&splitter, red);
    QWidget* second = Pane(&splitter, blue);
    Split() {
        splitter.resize(200, 100);
        splitter.show();
        Pump();
    }
};

TEST(Rects, NormalizeClipAndPointIn) {
    EXPECT_EQ(NormalizeRect({10, 20, 0, 5}), (TRect{0, 5, 10, 20}));
    EXPECT_EQ(ClipRect({0, 0, 10, 10}, {5, 5, 20, 20}), (TRect{5, 5, 10, 10}));
    EXPECT_EQ(ClipRect({10, 10, 0, 0}, {5, 5, 20, 20}), (TRect{5, 5, 10, 10}));
    EXPECT_EQ(ClipRect({0, 0, 5, 5}, {5, 0, 9, 5}), TRect{}) << "touching is empty";
    EXPECT_EQ(ClipRect({50, 50, 60, 60}, {0, 0, 10, 10}), TRect{});
    const TRect r{2, 3, 8, 9};
    EXPECT_TRUE(PointInRect({2, 3}, r));
    EXPECT_TRUE(PointInRect({8, 9}, r)) << "right and bottom edges are inside";
    EXPECT_FALSE(PointInRect({9, 5}, r));
    EXPECT_FALSE(PointInRect({5, 2}, r));
}

TEST(Splitter, PanesBesideTheBarInBothDirections) {
    Split s;
    EXPECT_EQ(s.splitter.BarPosition(), 50);
    EXPECT_EQ(s.splitter.BarWidth(), 5);
    EXPECT_EQ(s.splitter.CalcInnerRect(), (TRect{1, 1, 199, 99}));
    EXPECT_EQ(s.splitter.GetBarRect(50), (TRect{98, 1, 103, 99}));
    // Each pane reaches one pixel over its edge of the bar.
    EXPECT_EQ(s.first->geometry(), QRect(1, 1, 98, 98));
    EXPECT_EQ(s.second->geometry(), QRect(103, 1, 97, 98));

    s.splitter.SetBarPosition(0);
    EXPECT_EQ(s.first->geometry(), QRect(1, 1, 1, 98));
    EXPECT_EQ(s.second->geometry(), QRect(4, 1, 196, 98));

    // Stacked at 100: the bar clips to the bottom, the lower pane is one
    // pixel high at the bottom edge.
    s.splitter.SetSplitDirection(TSplitDirection::sdHorizontal);
    s.splitter.SetBarPosition(100);
    EXPECT_EQ(s.splitter.GetBarRect(100), (TRect{1, 97, 199, 99}));
    EXPECT_EQ(s.first->geometry(), QRect(1, 1, 198, 97));
    EXPECT_EQ(s.second->geometry(), QRect(1, 99, 198, 1));
    s.splitter.SetBarPosition(70);
    EXPECT_EQ(s.first->geometry(), QRect(1, 1, 198, 68));
    EXPECT_EQ(s.second->geometry(), QRect(1, 73, 198, 27));

    // The division keeps its proportion when the panel grows.
    s.splitter.resize(200, 200);
    EXPECT_EQ(s.first->geometry().height(), MulDiv(70, 198, 100) - 2 + 1);

    // Out-of-range values are brought into range.
    s.splitter.SetBarPosition(250);
    EXPECT_EQ(s.splitter.BarPosition(), 100);
    s.splitter.SetBarWidth(0);
    EXPECT_EQ(s.splitter.BarWidth(), 1);
}

TEST(Splitter, OneChildOnlyAndAThirdNeverPlaced) {
    TTwoWaySplitter splitter;
    QWidget* only = Pane(&splitter, red);
    Pump();
    EXPECT_EQ(only->geometry(), QRect(1, 1, 48, 98)); // 100 x 100, bar at 48..52

    QWidget* second = Pane(&splitter, blue);
    QWidget* third = Pane(&splitter, blue);
    third->setGeometry(5, 6, 7, 8);
    Pump();
    EXPECT_EQ(second->geometry(), QRect(53, 1, 47, 98));
    EXPECT_EQ(third->geometry(), QRect(5, 6, 7, 8));

    // The frame counts: a single border and an inner bevel take two more.
    splitter.SetBorderStyle(TBorderStyle::bsSingle);
    splitter.SetBevelInner(TBevelCut::bvLowered);
    splitter.SetBorderWidth(2);
    EXPECT_EQ(splitter.CalcInnerRect(), (TRect{5, 5, 95, 95}));
    EXPECT_EQ(only->geometry().topLeft(), QPoint(5, 5));
}

TEST(Splitter, OnePixelBarAtTheFarEdgeLeavesTheFirstPaneWhole) {
    Split s;
    s.splitter.SetBarWidth(1);
    s.splitter.SetBarPosition(100);
    EXPECT_EQ(s.splitter.GetBarRect(100), TRect{}) << "the bar itself falls outside";
    EXPECT_EQ(s.first->geometry(), QRect(1, 1, 199, 98));
    EXPECT_EQ(s.second->geometry(), QRect(199, 1, 1, 98));
}

TEST(Splitter, DragMovesAGhostThenThePanes) {
    Split s;
    std::vector<int> moves;
    int ends = 0;
    s.splitter.OnSplitMove = [&](QObject* sender, int position) {
        EXPECT_EQ(sender, &s.splitter);
        moves.push_back(position);
    };
    s.splitter.OnBarPosition = [&](QObject* sender) {
        EXPECT_EQ(sender, &s.splitter);
        ++ends;
    };

    // Right button and presses off the bar start nothing.
    Mouse(s.splitter, QEvent::MouseButtonPress, QPoint(100, 50), Qt::RightButton);
    EXPECT_FALSE(s.splitter.Dragging());
    Mouse(s.splitter, QEvent::MouseButtonRelease, QPoint(100, 50), Qt::RightButton);
    Mouse(s.splitter, QEvent::MouseButtonPress, QPoint(0, 50));
    EXPECT_FALSE(s.splitter.Dragging());
    Mouse(s.splitter, QEvent::MouseButtonRelease, QPoint(0, 50));
    EXPECT_EQ(ends, 0);

    Mouse(s.splitter, QEvent::MouseButtonPress, QPoint(103, 50)); // right edge counts
    ASSERT_TRUE(s.splitter.Dragging());
    EXPECT_EQ(s.splitter.cursor().shape(), Qt::SplitHCursor);

    Mouse(s.splitter, QEvent::MouseMove, QPoint(150, 50));
    EXPECT_EQ(s.splitter.BarPosition(), 75); // 150 * 100 / 199
    // Only the ghost moved: inverted blue over the second pane.
    Pump();
    const QImage ghost = Grab(s.splitter);
    EXPECT_EQ(ghost.pixelColor(150, 50), QColor(255, 255, 0));
    EXPECT_EQ(ghost.pixelColor(160, 50), blue);
    EXPECT_EQ(s.first->geometry(), QRect(1, 1, 98, 98));

    // The same position again fires nothing; beyond the ends the position
    // stops at MulDiv(half, 100, 199) and MulDiv(199 - half, 100, 199).
    Mouse(s.splitter, QEvent::MouseMove, QPoint(150, 20));
    Mouse(s.splitter, QEvent::MouseMove, QPoint(-50, 50));
    Mouse(s.splitter, QEvent::MouseMove, QPoint(500, 50));
    EXPECT_EQ(moves, (std::vector<int>{75, 1, 99}));
    EXPECT_EQ(ends, 0);

    Mouse(s.splitter, QEvent::MouseButtonRelease, QPoint(500, 50));
    EXPECT_FALSE(s.splitter.Dragging());
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(s.splitter.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(s.first->geometry(), QRect(1, 1, 195, 98));
    EXPECT_EQ(s.second->geometry(), QRect(199, 1, 1, 98));
    Pump();
    EXPECT_EQ(Grab(s.splitter).pixelColor(150, 50), red) << "the ghost is gone";
}

TEST(Splitter, StackedDragAndCursors) {
    TTwoWaySplitter splitter;
    QWidget* first = Pane(&splitter, red);
    Pane(&splitter, blue);
    splitter.resize(100, 200);
    splitter.SetSplitDirection(TSplitDirection::sdHorizontal);
    EXPECT_EQ(splitter.DragCursor(), Qt::SplitVCursor);
    Pump();

    // Hovering the bar shows the drag cursor; leaving it puts the old back.
    Mouse(splitter, QEvent::MouseMove, QPoint(50, 100));
    EXPECT_EQ(splitter.cursor().shape(), Qt::SplitVCursor);
    Mouse(splitter, QEvent::MouseMove, QPoint(50, 0));
    EXPECT_EQ(splitter.cursor().shape(), Qt::ArrowCursor);

    int last = -1;
    splitter.OnSplitMove = [&](QObject*, int position) { last = position; };
    Mouse(splitter, QEvent::MouseButtonPress, QPoint(50, 100));
    Mouse(splitter, QEvent::MouseMove, QPoint(80, 50));
    EXPECT_EQ(last, 25);
    Mouse(splitter, QEvent::MouseButtonRelease, QPoint(80, 50));
    EXPECT_EQ(first->geometry(), QRect(1, 1, 98, 49));

    // Only a split cursor of the other direction is swapped.
    splitter.SetDragCursor(Qt::PointingHandCursor);
    splitter.SetSplitDirection(TSplitDirection::sdVertical);
    EXPECT_EQ(splitter.DragCursor(), Qt::PointingHandCursor);
}

TEST(Splitter, BarWiderThanTheInnerAreaStaysInRange) {
    TTwoWaySplitter splitter;
    splitter.resize(4, 50); // inner width 2
    splitter.SetBarWidth(10);
    int last = -1;
    splitter.OnSplitMove = [&](QObject*, int position) { last = position; };
    Mouse(splitter, QEvent::MouseButtonPress, QPoint(2, 20));
    ASSERT_TRUE(splitter.Dragging());
    Mouse(splitter, QEvent::MouseMove, QPoint(0, 20));
    EXPECT_EQ(last, 100);
    EXPECT_EQ(splitter.BarPosition(), 100);
    Mouse(splitter, QEvent::MouseButtonRelease, QPoint(0, 20));

    // Smaller than its frame: no inner area, and no bar to grab at (0, 0).
    splitter.resize(1, 1);
    EXPECT_EQ(splitter.CalcInnerRect(), (TRect{1, 1, 1, 1}));
    Mouse(splitter, QEvent::MouseButtonPress, QPoint(0, 0));
    EXPECT_FALSE(splitter.Dragging());
}

TEST(Splitter, PaintsFrameAndBar) {
    TTwoWaySplitter splitter;
    splitter.resize(200, 100);
    splitter.SetBarColor(0x0000FF);
    QImage image = Grab(splitter);
    EXPECT_EQ(image.pixelColor(0, 0), Q(clBtnHighlight));
    EXPECT_EQ(image.pixelColor(199, 99), Q(clBtnShadow));
    EXPECT_EQ(image.pixelColor(50, 50), Q(clBtnFace));
    EXPECT_EQ(image.pixelColor(98, 50), red);
    EXPECT_EQ(image.pixelColor(102, 50), red);
    EXPECT_EQ(image.pixelColor(103, 50), Q(clBtnFace));

    // In a lowered panel the bar is raised: highlight left, shadow right,
    // its face reaching over the inner area by the bevel.
    splitter.SetBevelInner(TBevelCut::bvLowered);
    splitter.SetBorderStyle(TBorderStyle::bsSingle);
    image = Grab(splitter);
    EXPECT_EQ(image.pixelColor(0, 0), Q(clWindowFrame));
    EXPECT_EQ(image.pixelColor(2, 2), Q(clBtnShadow));
    EXPECT_EQ(splitter.GetBarRect(50), (TRect{98, 3, 103, 97}));
    EXPECT_EQ(image.pixelColor(98, 50), Q(clBtnHighlight));
    EXPECT_EQ(image.pixelColor(100, 50), red);
    EXPECT_EQ(image.pixelColor(100, 2), red);
    EXPECT_EQ(image.pixelColor(102, 50), Q(clBtnShadow));
}

} // namespace
} // namespace widgets
