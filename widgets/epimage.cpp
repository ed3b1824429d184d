#include "widgets/epimage.h"

#include <QLabel>
#include <QPainter>

namespace widgets {

TPicture TPicture::FromBitmap(const QImage& bitmap) {
    TPicture picture;
    picture.image_ = bitmap;
    picture.bitmap_ = true;
    return picture;
}

TPicture TPicture::FromIcon(const QIcon& icon, QSize size) {
    TPicture picture;
    if (!icon.isNull())
        picture.image_ = icon.pixmap(size).toImage();
    return picture;
}

TColor TPicture::TransparentColor() const {
    if (image_.isNull())
        return clNone;
    return FromQColor(image_.pixelColor(0, image_.height() - 1));
}

void DrawTransparentBitmap(QPainter& canvas, QRect rect, const QImage& bitmap, TColor transparent) {
    if (bitmap.isNull() || rect.isEmpty())
        return;
    QImage masked = bitmap.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = ToQColor(transparent).rgb() & 0xFFFFFF;
    for (int y = 0; y < masked.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
        for (int x = 0; x < masked.width(); ++x)
            if ((line[x] & 0xFFFFFF) == key)
                line[x] = 0;
    }
    canvas.drawImage(rect, masked);
}

TEPImage::TEPImage(QWidget* parent) : TEPGraphicControl(parent) {
    SetBuffered(false);
    TEPGraphicControl::SetColor(clNone);
    TEPGraphicControl::SetBorderStyle(TEPBorderStyle::epbsNone);
    resize(105, 105);
}

void TEPImage::SetAutoColor(bool value) {
    if (value == autoColor_)
        return;
    autoColor_ = value;
    if (value)
        PictureChanged();
}

void TEPImage::SetPictureControl(QWidget* control) {
    if (control == pictureControl_ || control == this)
        return;
    if (auto* label = qobject_cast<QLabel*>(control)) {
        const QPixmap pixmap = label->pixmap();
        if (pixmap.isNull())
            return;
        SetPicture(TPicture::FromBitmap(pixmap.toImage()));
    } else if (auto* image = qobject_cast<TEPImage*>(control)) {
        if (image->PictureControl())
            return;
        SetPicture(image->Picture());
    } else if (control) {
        return;
    }
    pictureControl_ = control;
}

void TEPImage::SetPicture(const TPicture& picture) {
    picture_ = picture;
    PictureChanged();
}

void TEPImage::SetStyle(TEPImageStyle style) {
    if (style == style_)
        return;
    style_ = style;
    PictureChanged();
}

void TEPImage::SetTransparent(bool value) {
    if (value == transparent_)
        return;
    transparent_ = value;
    update();
}

void TEPImage::SetColor(TColor color) {
    autoColor_ = false;
    TEPGraphicControl::SetColor(color);
}

void TEPImage::SetBounds(int left, int top, int width, int height) {
    const int pw = picture_.Width(), ph = picture_.Height();
    if (pw > 0 && ph > 0) {
        const QRect content = GetContentRect();
        const int fh = this->width() - content.width(), fv = this->height() - content.height();
        if (style_ == TEPImageStyle::episAutoSize) {
            width = pw + fh;
            height = ph + fv;
        } else if (style_ == TEPImageStyle::episAspectStretch) {
            const long long scale = (static_cast<long long>(height) - fv) * 100 / ph;
            width = int(scale * pw / 100) + fh;
        }
    }
    setGeometry(left, top, std::max(width, 0), std::max(height, 0));
}

void TEPImage::PictureChanged() {
    if (style_ == TEPImageStyle::episAutoSize || style_ == TEPImageStyle::episAspectStretch)
        SetBounds(x(), y(), width(), height());
    if (QWidget* form = window(); form && form != this)
        for (TEPImage* other : form->findChildren<TEPImage*>(Qt::FindDirectChildrenOnly))
            if (other != this && other->pictureControl_ == this)
                other->SetPicture(picture_);
    if (autoColor_ && picture_.IsBitmap())
        TEPGraphicControl::SetColor(picture_.TransparentColor());
    update();
}

void TEPImage::Paint(QPainter& painter) {
    const QRect r = GetContentRect();
    const int w = r.width(), h = r.height();
    const int gw = picture_.Width(), gh = picture_.Height();
    const QImage& image = picture_.Image();
    const bool masked = transparent_ && picture_.IsBitmap();
    if (!picture_.Empty() && gw > 0 && gh > 0) {
        if (style_ == TEPImageStyle::episTile) {
            const QColor back = ToQColor(Color());
            int a = 0;
            do {
                int b = 0;
                do {
                    const QRect tile(r.left() + b * gw, r.top() + a * gh, gw, gh);
                    if (masked) {
                        if (back.isValid())
                            painter.fillRect(tile, back);
                        DrawTransparentBitmap(painter, tile, image, picture_.TransparentColor());
                    } else {
                        painter.drawImage(tile.topLeft(), image);
                    }
                    ++b;
                } while (b * gw < w);
                ++a;
            } while (a * gh < h);
        } else {
            QRect dest = r;
            if (style_ == TEPImageStyle::episTopLeft)
                dest = QRect(r.left(), r.top(), gw, gh);
            else if (style_ == TEPImageStyle::episCenter)
                dest = QRect(r.left() + (w - gw) / 2, r.top() + (h - gh) / 2, gw, gh);
            if (masked)
                DrawTransparentBitmap(painter, dest, image, picture_.TransparentColor());
            else if (!dest.isEmpty())
                painter.drawImage(dest, image);
        }
    }
    if (OnPaint)
        OnPaint(this);
}

} // namespace widgets
