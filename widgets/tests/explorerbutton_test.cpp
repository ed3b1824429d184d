// The explorer-style button: hover, press, group and accelerator states
// from synthesised input, and the pictures, frames and mark they paint.
#include <QCursor>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include "widgets/explorerbutton.h"
#include "widgets/tests/helpers.h"

namespace widgets {
namespace {

using test::Count;
using test::Grab;
using test::Mouse;
using test::Pump;
using test::Q;
using enum TExplorerButtonOption;

void Click(QWidget& w) {
    Mouse(w, QEvent::MouseButtonPress, QPoint(10, 10));
    Mouse(w, QEvent::MouseButtonRelease, QPoint(10, 10));
}

const QColor fuchsia(255, 0, 255), dark(100, 0, 0), green(0, 255, 0), red(255, 0, 0),
    blue(0, 0, 255);

// 16 x 16 of the transparent colour with a 4 x 4 square at (4, 4).
QImage Picture(QColor square) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(fuchsia);
    for (int y = 4; y < 8; ++y)
        for (int x = 4; x < 8; ++x)
            image.setPixelColor(x, y, square);
    return image;
}

// A shown, active form with the button at (10, 10); without a caption the
// picture lies at (17, 12) in the 50 x 40 button, its square at (21, 16).
struct Form {
    QWidget form;
    TExplorerButton* button = new TExplorerButton(&form);
    int clicks = 0;
    Form() {
        form.resize(200, 100);
        button->move(10, 10);
        button->OnClick = [this](QObject* sender) { clicks += sender == button; };
        form.show();
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
        QCursor::setPos(form.mapToGlobal(QPoint(150, 80)));
    }
};

// Runs `check` once the menu is up, then closes it (its exec returns).
void CloseWhenShown(QMenu& menu, std::function<void()> check) {
    QObject::connect(
        &menu, &QMenu::aboutToShow, &menu,
        [&menu, check] {
            QTimer::singleShot(0, &menu, [&menu, check] {
                check();
                menu.close();
            });
        },
        Qt::SingleShotConnection);
}

TEST(ExplorerButton, GrayPictureShades) {
    struct Case {
        TExplorerButtonShadingType type;
        QColor pixel;
        TColor expected;
    };
    using enum TExplorerButtonShadingType;
    const Case cases[] = {
        {stMedium, QColor(0, 0, 0), clBlack},
        {stMedium, QColor(200, 200, 200), clWhite},
        {stMedium, QColor(100, 100, 100), clBtnHighlight},
        {stMedium, QColor(67, 67, 66), clBtnShadow},
        {stMedium, QColor(10, 10, 10), clBlack},
        {stLight, QColor(100, 100, 100), clWhite},
        {stLight, QColor(67, 67, 66), clBtnHighlight},
        {stLight, QColor(33, 33, 34), clBtnShadow},
        {stDark, QColor(200, 200, 200), clWhite},
        {stDark, QColor(100, 100, 100), clBtnHighlight},
        {stDark, QColor(67, 67, 66), clBtnShadow},
        {stDark, QColor(50, 50, 50), clBlack},
    };
    for (const Case& c : cases) {
        TExplorerButton button;
        QImage image(3, 1, QImage::Format_RGB32);
        image.setPixelColor(0, 0, fuchsia);
        image.setPixelColor(1, 0, c.pixel);
        image.setPixelColor(2, 0, fuchsia);
        button.SetShadingType(c.type);
        button.SetBitmap(image);
        const QImage gray = button.GrayBitmap();
        EXPECT_EQ(gray.pixelColor(1, 0), Q(c.expected))
            << int(c.type) << " " << c.pixel.name().toStdString();
        EXPECT_EQ(gray.pixelColor(2, 0), fuchsia) << "transparent pixels stay";
    }
    TExplorerButton button;
    button.SetBitmap(Picture(dark));
    EXPECT_EQ(button.GrayBitmap().pixelColor(5, 5), Q(clBtnShadow));
    button.SetShadingType(TExplorerButtonShadingType::stDark);
    EXPECT_EQ(button.GrayBitmap().pixelColor(5, 5), Q(clBlack));
    button.SetNoFocusBitmap(Picture(green));
    EXPECT_TRUE(button.GrayBitmap().isNull());
}

TEST(ExplorerButton, GreyUntilHoveredRaisedThenPressed) {
    Form f;
    TExplorerButton& b = *f.button;
    b.SetBitmap(Picture(dark));
    QImage image = Grab(b);
    EXPECT_EQ(image.pixelColor(22, 17), Q(clBtnShadow)) << "grey picture at rest";
    EXPECT_NE(image.pixelColor(17, 12), fuchsia) << "transparent colour";
    EXPECT_EQ(image.pixelColor(0, 20), image.pixelColor(3, 20)) << "no frame at rest";

    Mouse(b, QEvent::MouseMove, QPoint(25, 20));
    ASSERT_TRUE(b.Hot());
    image = Grab(b);
    EXPECT_EQ(image.pixelColor(22, 17), dark);
    EXPECT_EQ(image.pixelColor(0, 20), Q(clBtnHighlight));
    EXPECT_EQ(image.pixelColor(49, 20), Q(clBtnShadow));
    EXPECT_EQ(image.pixelColor(0, 39), Q(clBtnHighlight)) << "bottom-left corner";
    EXPECT_EQ(image.pixelColor(49, 0), Q(clBtnShadow)) << "top-right corner";

    Mouse(b, QEvent::MouseButtonPress, QPoint(25, 20));
    EXPECT_TRUE(b.Pressing());
    image = Grab(b);
    EXPECT_EQ(image.pixelColor(0, 20), Q(clBtnShadow));
    EXPECT_EQ(image.pixelColor(49, 20), Q(clBtnHighlight));
    EXPECT_EQ(image.pixelColor(25, 20), dark) << "picture one pixel down and right";
    EXPECT_NE(image.pixelColor(21, 16), dark);

    // Dragged out while held: raised no more, and no click on release.
    Mouse(b, QEvent::MouseMove, QPoint(80, 20));
    EXPECT_FALSE(b.Hot());
    Mouse(b, QEvent::MouseMove, QPoint(50, 40)); // the far edges count as inside
    EXPECT_TRUE(b.Hot());
    Mouse(b, QEvent::MouseMove, QPoint(80, 20));
    Mouse(b, QEvent::MouseButtonRelease, QPoint(80, 20));
    EXPECT_EQ(f.clicks, 0);

    Mouse(b, QEvent::MouseMove, QPoint(25, 20));
    Mouse(b, QEvent::MouseButtonPress, QPoint(25, 20));
    Mouse(b, QEvent::MouseButtonRelease, QPoint(25, 20));
    EXPECT_EQ(f.clicks, 1);
    EXPECT_FALSE(b.Hot());
    EXPECT_FALSE(b.Pressing());

    // A picture of its own while not hovered; none at all without
    // boMonoDisplay.
    b.SetNoFocusBitmap(Picture(green));
    EXPECT_EQ(Grab(b).pixelColor(22, 17), green);
    b.SetOptions(boPopupMark);
    EXPECT_EQ(Grab(b).pixelColor(22, 17), dark);
}

TEST(ExplorerButton, DisabledIsEmbossedAndDead) {
    Form f;
    TExplorerButton& b = *f.button;
    b.SetBitmap(Picture(QColor(0, 0, 0)));
    b.SetEnabled(false);
    const QImage image = Grab(b);
    EXPECT_EQ(image.pixelColor(21, 16), Q(clBtnShadow));
    EXPECT_EQ(image.pixelColor(24, 19), Q(clBtnShadow));
    EXPECT_EQ(image.pixelColor(25, 18), Q(clBtnHighlight));
    EXPECT_EQ(image.pixelColor(22, 20), Q(clBtnHighlight));
    b.SetDisabledBitmap(Picture(green));
    EXPECT_EQ(Grab(b).pixelColor(22, 17), green);

    Mouse(b, QEvent::MouseMove, QPoint(25, 20));
    Mouse(b, QEvent::MouseButtonPress, QPoint(25, 20));
    Mouse(b, QEvent::MouseButtonRelease, QPoint(25, 20));
    EXPECT_FALSE(b.Hot());
    EXPECT_EQ(f.clicks, 0);
    b.SetEnabled(true);
    Click(b);
    EXPECT_EQ(f.clicks, 1);
}

// The mark's four rows at (x, y): 7, 5, 3 and 1 pixels from row y - 1.
void ExpectMark(const QImage& image, QPoint at, QColor color) {
    EXPECT_EQ(Count(image, QRect(at.x(), at.y() - 1, 7, 1), color), 7);
    EXPECT_EQ(Count(image, QRect(at.x() + 1, at.y(), 5, 1), color), 5);
    EXPECT_EQ(Count(image, QRect(at.x() + 2, at.y() + 1, 3, 1), color), 3);
    EXPECT_EQ(image.pixelColor(at.x() + 3, at.y() + 2), color);
    EXPECT_NE(image.pixelColor(at.x() + 2, at.y() + 2), color);
    EXPECT_NE(image.pixelColor(at.x() - 1, at.y() - 1), color);
}

TEST(ExplorerButton, DropDownMenuWithItsMarkNeverClicks) {
    Form f;
    TExplorerButton& b = *f.button;
    b.SetUnselectedFontColor(0x0000FF); // red
    b.SetFontColor(0xFF0000);           // blue
    QMenu menu;
    menu.addAction(QStringLiteral("Forward"));
    EXPECT_EQ(Count(Grab(b), b.rect(), red), 0);
    b.SetDropDownMenu(&menu);
    // No picture, no caption: the mark follows a 0-wide text at (20, 20).
    ExpectMark(Grab(b), QPoint(23, 20), red);

    bool shown = false;
    CloseWhenShown(menu, [&] {
        shown = menu.isVisible();
        EXPECT_EQ(menu.pos(), b.mapToGlobal(QPoint(0, 40)));
        EXPECT_TRUE(b.Pressing() && b.Hot());
        ExpectMark(Grab(b), QPoint(24, 21), blue);
    });
    Mouse(b, QEvent::MouseButtonPress, QPoint(25, 20));
    EXPECT_TRUE(shown);
    EXPECT_FALSE(b.Pressing());
    EXPECT_FALSE(b.Hot()) << "the cursor is not over the button";
    Mouse(b, QEvent::MouseButtonRelease, QPoint(25, 20));
    EXPECT_EQ(f.clicks, 0);

    b.SetOptions(boMonoDisplay);
    EXPECT_EQ(Count(Grab(b), b.rect(), red), 0);
}

TEST(ExplorerButton, PopupMenuOnRightRelease) {
    Form f;
    TExplorerButton& b = *f.button;
    QMenu menu;
    menu.addAction(QStringLiteral("Properties"));
    b.SetPopupMenu(&menu);
    QPoint at;
    CloseWhenShown(menu, [&] { at = menu.pos(); });
    Mouse(b, QEvent::MouseButtonPress, QPoint(30, 5), Qt::RightButton);
    Mouse(b, QEvent::MouseButtonRelease, QPoint(30, 5), Qt::RightButton);
    EXPECT_EQ(at, b.mapToGlobal(QPoint(30, 5)));
    EXPECT_FALSE(b.Hot());
    EXPECT_EQ(f.clicks, 0);
}

TEST(ExplorerButton, GroupButtonsToggle) {
    Form f;
    TExplorerButton& one = *f.button;
    auto* two = new TExplorerButton(&f.form);
    two->show();
    one.SetGroupIndex(1);
    two->SetGroupIndex(1);

    Click(one);
    EXPECT_TRUE(one.Down());
    Click(one);
    EXPECT_TRUE(one.Down()) << "not without AllowAllUp";
    Click(*two);
    EXPECT_TRUE(two->Down());
    EXPECT_FALSE(one.Down());
    EXPECT_EQ(f.clicks, 2);

    one.SetAllowAllUp(true);
    EXPECT_TRUE(two->AllowAllUp());
    Click(*two);
    EXPECT_FALSE(two->Down());

    one.SetDown(true);
    two->SetDown(true);
    EXPECT_FALSE(one.Down());
    EXPECT_TRUE(two->Down());
    // A down button is filled with the checker pattern.
    const QImage image = Grab(*two);
    EXPECT_EQ(image.pixelColor(2, 2), Q(clBtnHighlight));
    EXPECT_EQ(image.pixelColor(3, 2), Q(clBtnFace));
    EXPECT_EQ(image.pixelColor(0, 20), Q(clBtnShadow)) << "pressed frame";
    two->SetShowDownPattern(false);
    EXPECT_NE(Grab(*two).pixelColor(3, 2), Q(clBtnFace));

    two->SetGroupIndex(0);
    EXPECT_FALSE(two->Down());
    two->SetDown(true);
    EXPECT_FALSE(two->Down()) << "a plain button is never down";
}

TEST(ExplorerButton, StripAcceleratorsAndIconOnlyHint) {
    EXPECT_EQ(TExplorerButton::StripAccelerators("&Find"), "Find");
    EXPECT_EQ(TExplorerButton::StripAccelerators("Save && Close"), "Save & Close");
    EXPECT_EQ(TExplorerButton::StripAccelerators("plain"), "plain");
    EXPECT_EQ(TExplorerButton::StripAccelerators("&&&x&"), "&x");

    TExplorerButton b;
    b.SetCaption("&Search");
    b.SetOptions(boIconOnly | boMonoDisplay);
    EXPECT_EQ(b.Hint(), "Search");
    EXPECT_TRUE(b.ShowHint());
    EXPECT_EQ(b.toolTip(), QStringLiteral("Search"));
    b.SetCaption("&Find");
    EXPECT_EQ(b.Hint(), "Find");
    b.SetOptions(boMonoDisplay);
    EXPECT_EQ(b.Hint(), "");
    EXPECT_FALSE(b.ShowHint());
    EXPECT_TRUE(b.toolTip().isEmpty());

    b.SetHint("Other");
    b.SetOptions(boIconOnly);
    EXPECT_EQ(b.Hint(), "Other");
    b.SetOptions({});
    EXPECT_EQ(b.Hint(), "Other") << "a hint of its own stays";
}

TEST(ExplorerButton, AltAcceleratorClicks) {
    Form f;
    TExplorerButton& b = *f.button;
    b.SetCaption("&Find");
    QTest::keyClick(&f.form, Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(f.clicks, 1);
    EXPECT_FALSE(b.Hot());
    QTest::keyClick(&f.form, Qt::Key_X, Qt::AltModifier);
    EXPECT_EQ(f.clicks, 1);

    b.SetEnabled(false);
    QTest::keyClick(&f.form, Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(f.clicks, 1);
    b.SetEnabled(true);

    // With a drop-down menu the accelerator drops it down instead.
    QMenu menu;
    menu.addAction(QStringLiteral("Reply"));
    b.SetDropDownMenu(&menu);
    bool shown = false;
    CloseWhenShown(menu, [&] { shown = menu.isVisible(); });
    QTest::keyClick(&f.form, Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(shown);
    EXPECT_EQ(f.clicks, 1);
}

TEST(ExplorerButton, PictureBesideTheCaption) {
    Form f;
    TExplorerButton& b = *f.button;
    b.resize(120, 40);
    b.SetCaption("Wide");
    b.SetUnselectedFontColor(0xFF0000); // blue
    b.SetOptions({});
    b.SetBitmap(Picture(dark));
    b.SetLayout(TExplorerButtonLayout::blBitmapLeft);
    b.SetAlignment(Qt::AlignLeft);
    // Picture at x = 3, the caption from 3 + 16 + 2.
    QImage image = Grab(b);
    EXPECT_EQ(image.pixelColor(8, 17), dark);
    EXPECT_EQ(Count(image, QRect(0, 0, 21, 40), blue), 0);
    EXPECT_GT(Count(image, QRect(21, 0, 99, 40), blue), 0);

    // Right aligned with the picture right: picture at 120 - 16 - 3, the
    // caption ends a gap before it.
    b.SetLayout(TExplorerButtonLayout::blBitmapRight);
    b.SetAlignment(Qt::AlignRight);
    image = Grab(b);
    EXPECT_EQ(image.pixelColor(106, 17), dark);
    EXPECT_EQ(Count(image, QRect(99, 0, 21, 40), blue), 0);
    EXPECT_GT(Count(image, QRect(0, 0, 99, 40), blue), 0);

    // Icon only, on top and centred: no caption at all.
    b.SetOptions(boIconOnly);
    b.SetLayout(TExplorerButtonLayout::blBitmapTop);
    b.SetAlignment(Qt::AlignHCenter);
    image = Grab(b);
    EXPECT_EQ(Count(image, b.rect(), blue), 0);
    EXPECT_EQ(image.pixelColor(52 + 5, 12 + 5), dark);
}

} // namespace
} // namespace widgets
