#include "widgets/explorerbutton.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QKeySequence>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "widgets/epimage.h"

namespace widgets {

namespace {

using enum TExplorerButtonOption;

// 8 x 8, button face with highlight where x and y are both even or both
// odd; fills a down button.
const QImage& CheckerPattern() {
    static const QImage pattern = [] {
        QImage image(8, 8, QImage::Format_RGB32);
        const QRgb face = ToQColor(clBtnFace).rgb(), light = ToQColor(clBtnHighlight).rgb();
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                image.setPixel(x, y, (x + y) % 2 == 0 ? light : face);
        return image;
    }();
    return pattern;
}

// The picture at (x, y) without the pixels of its top-left colour.
void DrawPicture(QPainter& painter, int x, int y, const QImage& image) {
    DrawTransparentBitmap(painter, QRect(x, y, image.width(), image.height()), image,
                          FromQColor(image.pixelColor(0, 0)));
}

// The picture's shape in one colour: every pixel that is neither white nor
// the transparent colour.
QImage Shape(const QImage& image, const QColor& color) {
    const QImage source = image.convertToFormat(QImage::Format_RGB32);
    const QRgb key = source.pixel(0, 0) & 0xFFFFFF;
    QImage shape(source.size(), QImage::Format_ARGB32);
    shape.fill(Qt::transparent);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            const QRgb rgb = source.pixel(x, y) & 0xFFFFFF;
            if (rgb != key && rgb != 0xFFFFFF)
                shape.setPixel(x, y, color.rgba());
        }
    return shape;
}

void DrawEmbossed(QPainter& painter, int x, int y, const QImage& image) {
    painter.drawImage(x + 1, y + 1, Shape(image, ToQColor(clBtnHighlight)));
    painter.drawImage(x, y, Shape(image, ToQColor(clBtnShadow)));
}

struct TShades {
    int upper, middle, lower;
};

TShades ShadesOf(TExplorerButtonShadingType type) {
    switch (type) {
    case TExplorerButtonShadingType::stLight:
        return {205, 127, 68};
    case TExplorerButtonShadingType::stMedium:
        break;
    case TExplorerButtonShadingType::stDark:
        return {335, 274, 175};
    }
    return {553, 231, 57};
}

// Strictly inside: the edges do not count.
bool CursorInside(const QWidget& widget) {
    return widget.rect().contains(widget.mapFromGlobal(QCursor::pos()), true);
}

} // namespace

struct TExplorerButton::TPlacement {
    bool picture = false;
    int px = 0;
    int py = 0;
    int gh = 0;
    int th = 0;
    TRect text;
};

TExplorerButton::TExplorerButton(QWidget* parent) : QWidget(parent) {
    resize(50, 40);
    setMouseTracking(true);
}

void TExplorerButton::SetAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

void TExplorerButton::SetAllowAllUp(bool value) {
    allowAllUp_ = value;
    if (groupIndex_ != 0)
        for (TExplorerButton* other : Group())
            other->allowAllUp_ = value;
}

void TExplorerButton::SetBevelStyle(TBevelStyle style) {
    bevelStyle_ = style;
    update();
}

void TExplorerButton::SetBitmap(const QImage& bitmap) {
    bitmap_ = bitmap;
    MakeGrayBitmap();
    update();
}

void TExplorerButton::SetNoFocusBitmap(const QImage& bitmap) {
    noFocusBitmap_ = bitmap;
    MakeGrayBitmap();
    update();
}

void TExplorerButton::SetDisabledBitmap(const QImage& bitmap) {
    disabledBitmap_ = bitmap;
    if (!enabled_)
        update();
}

void TExplorerButton::SetCaption(const std::string& caption) {
    caption_ = caption;
    GrabAccelerator();
    if (options_ & boIconOnly)
        SetHint(StripAccelerators(caption_));
    else
        update();
}

void TExplorerButton::SetGroupIndex(int index) {
    if (index == groupIndex_)
        return;
    groupIndex_ = index;
    if (index == 0 && down_) {
        down_ = false;
        update();
    }
}

void TExplorerButton::SetDown(bool value) {
    if (value == down_ || groupIndex_ == 0)
        return;
    down_ = value;
    update();
    if (value)
        for (TExplorerButton* other : Group())
            if (other->down_) {
                other->down_ = false;
                other->update();
            }
}

void TExplorerButton::SetDropDownMenu(QMenu* menu) {
    dropDownMenu_ = menu;
    if (options_ & boPopupMark)
        update();
}

void TExplorerButton::SetEnabled(bool value) {
    if (value == enabled_)
        return;
    enabled_ = value;
    QWidget::setEnabled(value);
    pressing_ = false;
    hot_ = false;
    tracking_ = false;
    update();
}

void TExplorerButton::SetLayout(TExplorerButtonLayout layout) {
    if (layout == layout_)
        return;
    layout_ = layout;
    update();
}

void TExplorerButton::SetOptions(TExplorerButtonOptions options) {
    options_ = options;
    const std::string stripped = StripAccelerators(caption_);
    if ((options & boIconOnly) && hint_.empty()) {
        SetHint(stripped);
        SetShowHint(true);
    } else if (!(options & boIconOnly) && hint_ == stripped) {
        SetHint("");
        SetShowHint(false);
    }
    update();
}

void TExplorerButton::SetShadingType(TExplorerButtonShadingType type) {
    if (type == shadingType_)
        return;
    shadingType_ = type;
    MakeGrayBitmap();
    update();
}

void TExplorerButton::SetShowDownPattern(bool value) {
    if (value == showDownPattern_)
        return;
    showDownPattern_ = value;
    update();
}

void TExplorerButton::SetFontColor(TColor color) {
    if (color == fontColor_)
        return;
    fontColor_ = color;
    update();
}

void TExplorerButton::SetUnselectedFontColor(TColor color) {
    if (color == unselectedFontColor_)
        return;
    unselectedFontColor_ = color;
    update();
}

void TExplorerButton::SetWordWrap(bool value) {
    if (value == wordWrap_)
        return;
    wordWrap_ = value;
    update();
}

void TExplorerButton::SetHint(const std::string& hint) {
    hint_ = hint;
    setToolTip(showHint_ ? QString::fromStdString(hint_) : QString());
}

void TExplorerButton::SetShowHint(bool value) {
    showHint_ = value;
    setToolTip(showHint_ ? QString::fromStdString(hint_) : QString());
}

void TExplorerButton::Click() {
    if (OnClick)
        OnClick(this);
}

std::string TExplorerButton::StripAccelerators(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '&') {
            out += '&';
            ++i;
        }
    }
    return out;
}

QList<TExplorerButton*> TExplorerButton::Group() const {
    QList<TExplorerButton*> group;
    if (QWidget* parent = parentWidget())
        for (TExplorerButton* other :
             parent->findChildren<TExplorerButton*>(Qt::FindDirectChildrenOnly))
            if (other != this && other->groupIndex_ == groupIndex_)
                group.append(other);
    return group;
}

void TExplorerButton::GrabAccelerator() {
    if (shortcutId_ != 0)
        releaseShortcut(shortcutId_);
    shortcutId_ = 0;
    const QKeySequence key = QKeySequence::mnemonic(QString::fromStdString(caption_));
    if (!key.isEmpty())
        shortcutId_ = grabShortcut(key);
}

void TExplorerButton::MakeGrayBitmap() {
    if (bitmap_.isNull() || !noFocusBitmap_.isNull()) {
        grayBitmap_ = QImage();
        return;
    }
    QImage gray = bitmap_.convertToFormat(QImage::Format_RGB32);
    const QRgb key = gray.pixel(0, 0) & 0xFFFFFF;
    const TShades shades = ShadesOf(shadingType_);
    const QRgb white = 0xFFFFFFFF, light = ToQColor(clBtnHighlight).rgb(),
               shadow = ToQColor(clBtnShadow).rgb(), black = 0xFF000000;
    for (int y = 0; y < gray.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(gray.scanLine(y));
        for (int x = 0; x < gray.width(); ++x) {
            if ((line[x] & 0xFFFFFF) == key)
                continue;
            const int s = qRed(line[x]) + qGreen(line[x]) + qBlue(line[x]);
            line[x] = s > shades.upper    ? white
                      : s > shades.middle ? light
                      : s > shades.lower  ? shadow
                                          : black;
        }
    }
    grayBitmap_ = gray;
}

bool TExplorerButton::HasMark() const {
    return (options_ & boPopupMark) && dropDownMenu_;
}

TExplorerButton::TPlacement TExplorerButton::Place(const QString& caption, int flags) const {
    const int w = width(), h = height();
    const bool shown = !(options_ & boIconOnly) && !caption.isEmpty();
    const int gap = shown ? 2 : 0;
    int tw = 0, th = 0;
    if (shown) {
        const QRect measured =
            QFontMetrics(font()).boundingRect(QRect(0, 0, std::max(w - 4, 0), 0), flags, caption);
        tw = std::min(measured.width(), w - 4);
        th = measured.height();
    }
    TPlacement place;
    place.th = th;
    place.picture = !bitmap_.isNull();
    const int gw = bitmap_.width() + (HasMark() ? 10 : 0), gh = bitmap_.height();
    place.gh = gh;
    const bool left = alignment_ & Qt::AlignLeft, right = alignment_ & Qt::AlignRight;
    int px = 0, py = 0, tx = 0, ty = 0, dw = 0;
    if (!place.picture) {
        dw = tw;
        if (HasMark()) {
            dw = std::min(w - 14, tw);
            tw += 10;
        }
        ty = (h - th) / 2;
        tx = left ? 3 : right ? w - tw - 3 : (w - tw) / 2;
    } else {
        switch (layout_) {
        case TExplorerButtonLayout::blBitmapTop:
        case TExplorerButtonLayout::blBitmapBottom:
            if (layout_ == TExplorerButtonLayout::blBitmapTop) {
                py = (h - th - gh - gap) / 2;
                ty = py + gh + gap;
            } else {
                ty = (h - th - gh - gap) / 2;
                py = ty + th + gap;
            }
            if (left) {
                px = 3;
                tx = 3;
            } else if (right) {
                px = w - gw - 3;
                tx = w - tw - 3;
            } else {
                px = (w - gw) / 2;
                tx = (w - tw) / 2;
            }
            break;
        case TExplorerButtonLayout::blBitmapLeft:
        case TExplorerButtonLayout::blBitmapRight:
            if (tw + gw + gap > w - 4)
                tw = w - gap - gw - 4;
            py = (h - gh) / 2;
            ty = (h - th) / 2;
            if (layout_ == TExplorerButtonLayout::blBitmapLeft) {
                if (left) {
                    px = 3;
                    tx = gw + gap + 3;
                } else if (right) {
                    tx = w - tw - 3;
                    px = tx - gw - gap;
                } else {
                    px = (w - tw - gw - gap) / 2;
                    tx = px + gw + gap;
                }
            } else if (left) {
                tx = 3;
                px = tw + 3 + gap;
            } else if (right) {
                px = w - gw - 3;
                tx = px - tw - gap;
            } else {
                tx = (w - tw - gw - gap) / 2;
                px = tx + tw + gap;
            }
            break;
        }
        dw = tw;
    }
    if (wordWrap_ && tx + dw > w - 5)
        dw = w - tx - 5;
    place.px = px;
    place.py = py;
    place.text = {tx, ty, tx + std::max(dw, 0), ty + th};
    return place;
}

void TExplorerButton::DrawFrame(QPainter& painter, bool pressed) const {
    TColor first = clBtnHighlight, second = clBtnShadow;
    if (pressed != (bevelStyle_ == TBevelStyle::bsLowered))
        std::swap(first, second);
    const int w = width(), h = height();
    // Left and top in the first colour (with the bottom-left corner), right
    // and bottom in the second (with the top-right one).
    painter.fillRect(QRect(0, 0, 1, h), ToQColor(first));
    painter.fillRect(QRect(0, 0, w - 1, 1), ToQColor(first));
    painter.fillRect(QRect(w - 1, 0, 1, h - 1), ToQColor(second));
    painter.fillRect(QRect(1, h - 1, w - 1, 1), ToQColor(second));
}

void TExplorerButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (down_ && showDownPattern_)
        painter.fillRect(rect(), QBrush(CheckerPattern()));
    painter.setBrush(Qt::NoBrush);
    painter.setFont(font());

    QString caption = QString::fromStdString(caption_);
    if (wordWrap_)
        caption += QLatin1Char(' ');
    int flags = Qt::TextShowMnemonic | Qt::AlignTop;
    flags |= (alignment_ & Qt::AlignLeft)    ? Qt::AlignLeft
             : (alignment_ & Qt::AlignRight) ? Qt::AlignRight
                                             : Qt::AlignHCenter;
    flags |= wordWrap_ ? Qt::TextWordWrap : Qt::TextSingleLine;
    const TPlacement place = Place(caption, flags);
    const bool shown = !(options_ & boIconOnly) && !caption_.empty();
    const auto drawCaption = [&](const TRect& r, TColor color) {
        if (!shown)
            return;
        painter.setPen(ToQColor(color));
        painter.drawText(r.ToQRect(), flags, caption);
    };
    const auto moved = [](TRect r) {
        return TRect{r.Left + 1, r.Top + 1, r.Right + 1, r.Bottom + 1};
    };

    if (!enabled_) {
        if (down_)
            DrawFrame(painter, true);
        if (place.picture) {
            if (!disabledBitmap_.isNull())
                DrawPicture(painter, place.px, place.py, disabledBitmap_);
            else
                DrawEmbossed(painter, place.px, place.py, bitmap_);
        }
        drawCaption(moved(place.text), clBtnHighlight);
        drawCaption(place.text, clBtnShadow);
        return;
    }

    TColor color = fontColor_;
    // The caption may shift by a pixel; the mark keeps to where the caption
    // was placed and shifts only with the pressed look.
    TRect text = place.text;
    QPoint mark;
    if ((pressing_ && hot_) || down_) {
        DrawFrame(painter, true);
        if (bevelStyle_ == TBevelStyle::bsRaised)
            text = moved(text);
        drawCaption(text, color);
        if (place.picture) {
            DrawPicture(painter, place.px + 1, place.py + 1, bitmap_);
            mark = QPoint(place.px + bitmap_.width() + 4, place.py + place.gh / 2 + 1);
        } else {
            mark = QPoint(place.text.Right + 4, place.text.Top + place.th / 2 + 1);
        }
    } else {
        if (hot_)
            DrawFrame(painter, false);
        else
            color = unselectedFontColor_;
        if (bevelStyle_ == TBevelStyle::bsLowered)
            text = moved(text);
        drawCaption(text, color);
        if (place.picture) {
            const QImage& picture = hot_ || !(options_ & boMonoDisplay) ? bitmap_
                                    : noFocusBitmap_.isNull()           ? grayBitmap_
                                                                        : noFocusBitmap_;
            DrawPicture(painter, place.px, place.py, picture);
            mark = QPoint(place.px + bitmap_.width() + 3, place.py + place.gh / 2);
        } else {
            mark = QPoint(place.text.Right + 3, place.text.Top + place.th / 2);
        }
    }
    if (HasMark()) {
        // A small downward triangle, 7 pixels wide.
        const QColor c = ToQColor(color);
        for (int row = 0; row < 4; ++row)
            painter.fillRect(QRect(mark.x() + row, mark.y() - 1 + row, 7 - 2 * row, 1), c);
    }
}

void TExplorerButton::SetHot(bool value) {
    if (value == hot_)
        return;
    hot_ = value;
    if (!down_ && enabled_)
        update();
}

void TExplorerButton::HoverAt(QPoint p) {
    if (!tracking_) {
        tracking_ = true;
        if (enabled_ && isVisible() && isActiveWindow())
            SetHot(true);
        return;
    }
    // The right and bottom edges count as inside.
    const bool inside = p.x() >= 0 && p.x() <= width() && p.y() >= 0 && p.y() <= height();
    if (!inside && hot_) {
        SetHot(false);
        if (!pressing_)
            tracking_ = false;
    } else if (inside && !hot_) {
        SetHot(true);
    }
}

void TExplorerButton::LeftButtonDown() {
    if (QWidget* form = window(); form && !form->isActiveWindow()) {
        form->raise();
        form->activateWindow();
    }
    if (!enabled_ || !isVisible())
        return;
    pressing_ = true;
    hot_ = true;
    update();
    if (!dropDownMenu_)
        return;
    // The press that closes the menu must not reach the button again.
    const QPointer<QMenu> menu = dropDownMenu_;
    const bool noReplay = menu->testAttribute(Qt::WA_NoMouseReplay);
    menu->setAttribute(Qt::WA_NoMouseReplay);
    const QPointer<TExplorerButton> self(this);
    menu->exec(mapToGlobal(QPoint(0, height())));
    if (menu)
        menu->setAttribute(Qt::WA_NoMouseReplay, noReplay);
    if (self)
        MenuClosed();
}

void TExplorerButton::MenuClosed() {
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    tracking_ = false;
    if (!CursorInside(*this))
        hot_ = false;
    pressing_ = false;
    update();
}

void TExplorerButton::LeftButtonUp() {
    if (!enabled_ || !isVisible() || !pressing_)
        return;
    pressing_ = false;
    if (hot_ && groupIndex_ != 0) {
        if (!down_) {
            for (TExplorerButton* other : Group())
                if (other->down_) {
                    other->down_ = false;
                    other->update();
                }
            down_ = true;
        } else if (allowAllUp_) {
            down_ = false;
        }
    }
    tracking_ = false;
    if (hot_) {
        hot_ = false;
        update();
        if (!dropDownMenu_)
            Click();
    }
}

void TExplorerButton::Accelerator() {
    if (!enabled_ || !isVisible())
        return;
    const QPointer<TExplorerButton> self(this);
    hot_ = true;
    pressing_ = false;
    update();
    QCoreApplication::processEvents();
    if (!self)
        return;
    LeftButtonDown();
    if (!self)
        return;
    QCoreApplication::processEvents();
    if (!self)
        return;
    LeftButtonUp();
    if (!self)
        return;
    QCoreApplication::processEvents();
    if (!self)
        return;
    if (!CursorInside(*this)) {
        hot_ = false;
        update();
    }
}

bool TExplorerButton::event(QEvent* event) {
    if (event->type() == QEvent::Shortcut) {
        Accelerator();
        return true;
    }
    return QWidget::event(event);
}

void TExplorerButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        LeftButtonDown();
}

void TExplorerButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The button takes no double clicks: the second press is a press.
    mousePressEvent(event);
}

void TExplorerButton::mouseMoveEvent(QMouseEvent* event) {
    HoverAt(event->position().toPoint());
}

void TExplorerButton::leaveEvent(QEvent*) {
    if (pressing_)
        return;
    SetHot(false);
    tracking_ = false;
}

void TExplorerButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        LeftButtonUp();
        return;
    }
    if (event->button() != Qt::RightButton || !popupMenu_)
        return;
    const QPointer<TExplorerButton> self(this);
    popupMenu_->exec(event->globalPosition().toPoint());
    if (self)
        MenuClosed();
}

void TExplorerButton::contextMenuEvent(QContextMenuEvent* event) {
    // With a menu of its own the button shows it on the release.
    event->setAccepted(popupMenu_ != nullptr);
}

} // namespace widgets
