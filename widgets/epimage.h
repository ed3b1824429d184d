#pragma once
// A picture control with six layouts, transparency, and a picture that may
// follow another control's.
#include <QIcon>
#include <QImage>
#include <QPointer>

#include "widgets/gfxcontrols.h"

namespace widgets {

// A bitmap or an icon, or nothing.
class TPicture {
public:
    [[nodiscard]] static TPicture FromBitmap(const QImage& bitmap);
    [[nodiscard]] static TPicture FromIcon(const QIcon& icon, QSize size = QSize(32, 32));

    [[nodiscard]] bool Empty() const { return image_.isNull(); }
    [[nodiscard]] bool IsBitmap() const { return bitmap_ && !image_.isNull(); }
    [[nodiscard]] int Width() const { return image_.width(); }
    [[nodiscard]] int Height() const { return image_.height(); }
    [[nodiscard]] const QImage& Image() const { return image_; }
    // A bitmap's transparent colour: its bottom-left pixel.
    [[nodiscard]] TColor TransparentColor() const;

private:
    QImage image_;
    bool bitmap_ = false;
};

// Stretches the bitmap into the rectangle; pixels of the transparent colour
// leave what is under them.
void DrawTransparentBitmap(QPainter& canvas, QRect rect, const QImage& bitmap, TColor transparent);

enum class TEPImageStyle {
    episTopLeft,
    episCenter,
    episAutoSize,
    episTile,
    episAspectStretch,
    episStretch
};

class TEPImage : public TEPGraphicControl {
    Q_OBJECT
public:
    explicit TEPImage(QWidget* parent = nullptr);

    [[nodiscard]] bool AutoColor() const { return autoColor_; }
    void SetAutoColor(bool value);
    [[nodiscard]] QWidget* PictureControl() const { return pictureControl_; }
    // A TEPImage without a picture control of its own, or a QLabel with a
    // pixmap; anything else is refused.
    void SetPictureControl(QWidget* control);
    [[nodiscard]] const TPicture& Picture() const { return picture_; }
    void SetPicture(const TPicture& picture);
    [[nodiscard]] TEPImageStyle Style() const { return style_; }
    void SetStyle(TEPImageStyle style);
    [[nodiscard]] bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    // Switches AutoColor off.
    void SetColor(TColor color) override;

    // Places the control; auto-size and aspect-stretch styles fit the
    // picture.
    void SetBounds(int left, int top, int width, int height);

    TNotifyEvent OnPaint;

protected:
    void Paint(QPainter& painter) override;
    void FrameChanged() override { PictureChanged(); }

private:
    void PictureChanged();

    bool autoColor_ = false;
    QPointer<QWidget> pictureControl_;
    TPicture picture_;
    TEPImageStyle style_ = TEPImageStyle::episAutoSize;
    bool transparent_ = false;
};

} // namespace widgets
