// The office button's states from synthesised mouse events, and what they
// paint.
#include <QEnterEvent>
#include <gtest/gtest.h>

#include "widgets/officebutton.h"
#include "widgets/tests/helpers.h"

namespace widgets {
namespace {

using test::Grab;
using test::Mouse;
using test::Q;

void Enter(QWidget& w) {
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), w.mapToGlobal(QPointF(5, 5)));
    QCoreApplication::sendEvent(&w, &event);
}

void Leave(QWidget& w) {
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(&w, &event);
}

// The ball's centre for a given offset: image at (o + 7, 7 + o), 11 x 11.
QColor BallCentre(QWidget& w, int o) {
    return Grab(w).pixelColor(12 + o, 12 + o);
}
QColor BallBody(QWidget& w, int o) {
    return Grab(w).pixelColor(15 + o, 12 + o);
}

const QColor teal(0, 128, 128), cyan(0, 255, 255);

TEST(OfficeButton, HoverPressLeaveAndReenterWhileHeld) {
    TOfficeButton button;
    EXPECT_EQ(button.width(), 100);
    EXPECT_EQ(button.height(), 25);
    EXPECT_EQ(button.Caption(), "OfficeButton");
    EXPECT_STREQ(button.IndicatorName(), "OFF");
    EXPECT_EQ(BallCentre(button, 0), teal);

    Enter(button);
    EXPECT_STREQ(button.IndicatorName(), "ON");
    EXPECT_EQ(BallCentre(button, 0), cyan);
    EXPECT_EQ(BallBody(button, 0), teal);

    Mouse(button, QEvent::MouseButtonPress, QPoint(50, 12));
    EXPECT_TRUE(button.Pressed());
    EXPECT_EQ(button.Offset(), 1);
    EXPECT_STREQ(button.IndicatorName(), "DOWN");
    EXPECT_EQ(BallBody(button, 1), cyan);

    // Held and dragged out: the move alone counts as leaving.
    Mouse(button, QEvent::MouseMove, QPoint(150, 12));
    EXPECT_FALSE(button.MouseIn());
    EXPECT_EQ(button.Offset(), 0);
    EXPECT_EQ(BallCentre(button, 0), teal);
    // ...and back in: shifted by one pixel, showing DOWN.
    Mouse(button, QEvent::MouseMove, QPoint(50, 12));
    EXPECT_TRUE(button.MouseIn());
    EXPECT_EQ(button.Offset(), 1);
    EXPECT_EQ(BallBody(button, 1), cyan);

    // The same through leave and enter notifications.
    Leave(button);
    EXPECT_EQ(button.Offset(), 0);
    Enter(button);
    EXPECT_EQ(button.Offset(), 1);
    EXPECT_STREQ(button.IndicatorName(), "DOWN");
}

TEST(OfficeButton, ClickFiresOnlyOnReleaseInside) {
    TOfficeButton button;
    int clicks = 0, downs = 0, ups = 0;
    button.OnClick = [&](QObject* sender) { clicks += sender == &button; };
    button.OnMouseDown = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
        downs += x == 40 && y == 10;
    };
    button.OnMouseUp = [&](QObject*, Qt::MouseButton, Qt::KeyboardModifiers, int, int) { ++ups; };

    Mouse(button, QEvent::MouseButtonPress, QPoint(40, 10));
    Mouse(button, QEvent::MouseButtonRelease, QPoint(40, 10));
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(button.Pressed());
    EXPECT_EQ(button.Offset(), 0);

    Mouse(button, QEvent::MouseButtonPress, QPoint(40, 10));
    Mouse(button, QEvent::MouseButtonRelease, QPoint(140, 10));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(downs, 2);
    EXPECT_EQ(ups, 2);

    // Any button presses the button; only the left one clicks.
    Mouse(button, QEvent::MouseButtonPress, QPoint(40, 10), Qt::RightButton);
    EXPECT_TRUE(button.Pressed());
    Mouse(button, QEvent::MouseButtonRelease, QPoint(40, 10), Qt::RightButton);
    EXPECT_EQ(clicks, 1);
}

TEST(OfficeButton, OutlinesAtRestAndOnHover) {
    TOfficeButton button;
    button.SetCaption(""); // keep text off the pixels looked at
    button.SetBorderWidth(3);
    button.SetBorderColor(0x0000FF); // red as 0x00BBGGRR
    // At rest: a 3-pixel silver pen centred on x = 2.
    QImage rest = Grab(button);
    EXPECT_EQ(rest.pixelColor(2, 12), Q(clSilver));
    EXPECT_EQ(rest.pixelColor(50, 2), Q(clSilver));

    // Hovered: a 4-pixel pen centred on (3, 3) .. (Width - 2, Height - 2)
    // and a white line along the top.
    Enter(button);
    QImage hover = Grab(button);
    EXPECT_EQ(hover.pixelColor(3, 12), QColor(Qt::red));
    EXPECT_EQ(hover.pixelColor(button.width() - 3, 12), QColor(Qt::red));
    EXPECT_EQ(hover.pixelColor(50, button.height() - 3), QColor(Qt::red));
    EXPECT_EQ(hover.pixelColor(50, 5), QColor(Qt::white));

    button.SetBorderWidth(9);
    EXPECT_EQ(button.BorderWidth(), 3);
    button.SetBorderWidth(0);
    EXPECT_EQ(button.BorderWidth(), 1);
}

} // namespace
} // namespace widgets
