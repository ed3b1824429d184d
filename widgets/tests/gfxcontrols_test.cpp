// Border, meter and image controls painted at known sizes.
#include <QPainter>
#include <gtest/gtest.h>
#include <memory>

#include "widgets/epimage.h"
#include "widgets/gfxcontrols.h"
#include "widgets/tests/helpers.h"

namespace widgets {
namespace {

using test::Count;
using test::Grab;
using test::Q;

const QColor navy(0, 0, 128), white(255, 255, 255);

TEST(Meter, HalfBarWithTextInBothColours) {
    TEPMeter meter;
    ASSERT_EQ(meter.size(), QSize(100, 21));
    meter.SetValue(50);
    EXPECT_EQ(meter.Percent(), 50u);
    const QImage image = Grab(meter);
    EXPECT_EQ(meter.GetContentRect(), QRect(2, 2, 96, 17));

    // Lowered frame: shadow then dark shadow at the top left, highlight and
    // light at the bottom right.
    EXPECT_EQ(image.pixelColor(0, 0), Q(clBtnShadow));
    EXPECT_EQ(image.pixelColor(1, 1), Q(cl3DDkShadow));
    EXPECT_EQ(image.pixelColor(99, 20), Q(clBtnHighlight));
    EXPECT_EQ(image.pixelColor(98, 19), Q(cl3DLight));

    // Filled part: content columns 2..49 are navy, 50..97 white, but for
    // the text "50%" centred on x = 50.
    EXPECT_EQ(image.pixelColor(3, 3), navy);
    EXPECT_EQ(image.pixelColor(49, 3), navy);
    EXPECT_EQ(image.pixelColor(50, 3), white);
    EXPECT_EQ(image.pixelColor(96, 17), white);
    const QRect left(30, 2, 20, 17), right(50, 2, 20, 17);
    EXPECT_GT(Count(image, left, white), 0) << "white text over the navy half";
    EXPECT_GT(Count(image, right, navy), 0) << "navy text over the white half";

    meter.SetShowText(false);
    const QImage plain = Grab(meter);
    EXPECT_EQ(Count(plain, left, white), 0);
    EXPECT_EQ(Count(plain, right, navy), 0);
}

TEST(Meter, ValueIsKeptWithinMinAndMax) {
    TEPMeter meter;
    meter.SetValue(150);
    EXPECT_EQ(meter.Value(), 100);
    meter.SetValue(-5);
    EXPECT_EQ(meter.Value(), 0);

    meter.SetValue(80);
    meter.SetMaxValue(40); // the value follows the new bound
    EXPECT_EQ(meter.Value(), 40);
    EXPECT_EQ(meter.Percent(), 100u);
    meter.SetMinValue(60);
    EXPECT_EQ(meter.Value(), 60);

    meter.SetMinValue(10);
    meter.SetMaxValue(10);
    EXPECT_EQ(meter.Value(), 10);
    EXPECT_EQ(meter.Percent(), 0u);
    const QImage image = Grab(meter);
    EXPECT_EQ(Count(image, QRect(2, 2, 96, 17), navy), 0) << "0 % is an empty bar";

    meter.SetMinValue(-1000000000);
    meter.SetMaxValue(2000000000);
    meter.SetPercent(50);
    EXPECT_EQ(meter.Percent(), 50u);
    EXPECT_EQ(meter.Value(), 500000000);
}

TEST(Meter, LedCellsAndOwnColours) {
    TEPMeter meter;
    meter.SetMeterStyle(TEPMeterStyle::epmsLED);
    meter.SetValue(100);
    std::vector<unsigned> asked;
    meter.OnSelectColor = [&](TEPMeter*, unsigned percent, TColor& color) {
        asked.push_back(percent);
        if (percent >= 50)
            color = 0x0000FF; // red
    };
    const QImage image = Grab(meter);
    // Inset content: x 3..96, 15 high; cell 11; each lit cell 9 wide.
    EXPECT_EQ(image.pixelColor(3, 10), navy);
    EXPECT_EQ(image.pixelColor(11, 10), navy);
    EXPECT_EQ(image.pixelColor(12, 10), white);
    EXPECT_EQ(image.pixelColor(13, 10), white);
    EXPECT_EQ(image.pixelColor(14, 10), navy);
    EXPECT_EQ(image.pixelColor(2, 10), white) << "the 1-pixel inset";
    EXPECT_EQ(image.pixelColor(95, 10), QColor(Qt::red)) << "the last cell, cut at the limit";
    EXPECT_EQ(image.pixelColor(96, 10), white);
    ASSERT_EQ(asked.size(), 9u);
    EXPECT_EQ(asked[1], 11u); // each cell's own starting percentage

    meter.SetOrientation(TEPOrientation::epoVertical);
    meter.resize(21, 100);
    const QImage vertical = Grab(meter);
    EXPECT_EQ(vertical.pixelColor(10, 96), navy);
}

TEST(Meter, TinyAndEmptySizesPaintWithoutFault) {
    TEPMeter meter;
    meter.SetValue(100);
    for (TEPMeterStyle style : {TEPMeterStyle::epmsLED, TEPMeterStyle::epmsBar})
        for (TEPOrientation o : {TEPOrientation::epoHorizontal, TEPOrientation::epoVertical})
            for (QSize size :
                 {QSize(1, 1), QSize(5, 3), QSize(6, 6), QSize(100, 5), QSize(3, 100)}) {
                meter.SetMeterStyle(style);
                meter.SetOrientation(o);
                meter.resize(size);
                (void)Grab(meter);
            }
    meter.SetBorderSpace(40);
    meter.resize(20, 20);
    meter.SetMeterStyle(TEPMeterStyle::epmsLED);
    (void)Grab(meter);
}

TEST(Border, EtchedLineAndGroupCaption) {
    TEPBorder line;
    line.SetBorderStyle(TEPBorderStyle::epbsHorizLine);
    line.resize(60, 9);
    QImage image = Grab(line);
    EXPECT_EQ(image.pixelColor(30, 0), Q(clBtnShadow));
    EXPECT_EQ(image.pixelColor(30, 1), Q(clBtnHighlight));
    EXPECT_EQ(image.pixelColor(30, 2), Q(clBtnFace));
    EXPECT_EQ(line.GetContentRect(), QRect(0, 2, 60, 7));

    TEPBorder group;
    group.SetBorderStyle(TEPBorderStyle::epbsGroup);
    group.resize(120, 60);
    group.SetCaption("Group");
    const int th = QFontMetrics(group.font()).height();
    const int top = th / 2 - 1;
    image = Grab(group);
    EXPECT_EQ(image.pixelColor(2, top), Q(clBtnShadow));
    EXPECT_EQ(image.pixelColor(2, top + 1), Q(clBtnHighlight));
    EXPECT_EQ(image.pixelColor(2, top - 1), Q(clBtnFace)) << "nothing above the line";
    EXPECT_EQ(image.pixelColor(0, 40), Q(clBtnShadow));
    // The caption interrupts the top line from x = 8 on.
    EXPECT_EQ(image.pixelColor(7, top), Q(clBtnShadow));
    const int textWidth = QFontMetrics(group.font()).horizontalAdvance("Group");
    EXPECT_EQ(Count(image, QRect(8, top, textWidth, 1), Q(clBtnShadow)), 0);
    EXPECT_EQ(image.pixelColor(8 + textWidth + 1, top), Q(clBtnShadow));
}

TEST(Border, FramesAndTheirContent) {
    TEPBorder border;
    border.resize(40, 30);
    struct Row {
        TEPBorderStyle style;
        QRect content;
        QColor corner;
    } rows[] = {
        {TEPBorderStyle::epbsNone, QRect(0, 0, 40, 30), Q(clBtnFace)},
        {TEPBorderStyle::epbsLowered, QRect(2, 2, 36, 26), Q(clBtnShadow)},
        {TEPBorderStyle::epbsSingle, QRect(1, 1, 38, 28), Q(clWindowFrame)},
        {TEPBorderStyle::epbsRaised, QRect(2, 2, 36, 26), Q(cl3DLight)},
        {TEPBorderStyle::epbsStatus, QRect(1, 1, 38, 28), Q(clBtnShadow)},
        {TEPBorderStyle::epbsVertLine, QRect(2, 0, 38, 30), Q(clBtnShadow)},
        {TEPBorderStyle::epbsHorizEdge, QRect(0, 2, 40, 26), Q(clBtnShadow)},
        {TEPBorderStyle::epbsVertEdge, QRect(2, 0, 36, 30), Q(clBtnShadow)},
    };
    for (const Row& row : rows) {
        border.SetBorderStyle(row.style);
        EXPECT_EQ(border.GetContentRect(), row.content) << int(row.style);
        EXPECT_EQ(Grab(border).pixelColor(0, 0), row.corner) << int(row.style);
    }
    border.SetBorderSpace(3);
    EXPECT_EQ(border.GetContentRect(), QRect(5, 3, 30, 24));
}

QImage Checker() {
    // 3 x 3: white corners (transparent colour: bottom-left), red elsewhere.
    QImage image(3, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    for (QPoint p : {QPoint(0, 0), QPoint(2, 0), QPoint(0, 2), QPoint(2, 2)})
        image.setPixelColor(p, Qt::white);
    return image;
}

TEST(Image, SizingFollowsThePicture) {
    QWidget form;
    auto* image = new TEPImage(&form);
    image->SetBorderStyle(TEPBorderStyle::epbsLowered);
    QImage picture(20, 10, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    image->SetPicture(TPicture::FromBitmap(picture));
    EXPECT_EQ(image->size(), QSize(24, 14));

    image->SetStyle(TEPImageStyle::episAspectStretch);
    image->SetBounds(0, 0, 10, 24);
    EXPECT_EQ(image->size(), QSize(44, 24));

    image->SetStyle(TEPImageStyle::episStretch);
    image->SetBounds(0, 0, 10, 24);
    EXPECT_EQ(image->size(), QSize(10, 24));
}

TEST(Image, TileAndTransparency) {
    QWidget form;
    auto* image = new TEPImage(&form);
    image->SetStyle(TEPImageStyle::episTile);
    image->SetPicture(TPicture::FromBitmap(Checker()));
    image->resize(10, 10);
    image->SetColor(0x00FF00); // green as 0x00BBGGRR
    QImage painted = Grab(*image);
    EXPECT_EQ(painted.pixelColor(9, 9), QColor(Qt::white)); // tile (3, 3), corner (0, 0)
    EXPECT_EQ(painted.pixelColor(4, 4), QColor(Qt::red));

    image->SetTransparent(true);
    painted = Grab(*image);
    EXPECT_EQ(painted.pixelColor(9, 9), QColor(Qt::green));
    EXPECT_EQ(painted.pixelColor(4, 4), QColor(Qt::red));

    image->SetAutoColor(true);
    EXPECT_EQ(image->Color(), clWhite);
    image->SetColor(clNavy);
    EXPECT_FALSE(image->AutoColor());

    // A picture with no pixels, or a control with none, ends at once.
    image->SetPicture(TPicture::FromBitmap(QImage(0, 5, QImage::Format_RGB32)));
    (void)Grab(*image);
    image->SetPicture(TPicture::FromBitmap(Checker()));
    image->resize(0, 0);
    (void)image->grab();
}

TEST(Image, CentredAndPictureTakenFromAnotherImage) {
    QWidget form;
    auto* source = new TEPImage(&form);
    auto* follower = new TEPImage(&form);
    auto* third = new TEPImage(&form);
    int painted = 0;
    follower->OnPaint = [&](QObject*) { ++painted; };

    follower->SetPictureControl(source);
    EXPECT_EQ(follower->PictureControl(), source);
    source->SetStyle(TEPImageStyle::episCenter);
    source->SetPicture(TPicture::FromBitmap(Checker()));
    EXPECT_EQ(follower->Picture().Width(), 3) << "the follower copies a new picture";

    // A follower cannot be a source; a plain widget is refused too.
    third->SetPictureControl(follower);
    EXPECT_EQ(third->PictureControl(), nullptr);
    QWidget plain;
    third->SetPictureControl(&plain);
    EXPECT_EQ(third->PictureControl(), nullptr);

    delete source;
    EXPECT_EQ(follower->PictureControl(), nullptr);

    follower->SetStyle(TEPImageStyle::episCenter);
    follower->resize(9, 9);
    const QImage out = Grab(*follower);
    EXPECT_EQ(out.pixelColor(4, 4), QColor(Qt::red));
    EXPECT_EQ(out.pixelColor(3, 3), QColor(Qt::white));
    EXPECT_GT(painted, 0);
}

} // namespace
} // namespace widgets
