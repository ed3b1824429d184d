#pragma once
// A flat button that shows no frame until the mouse is over it, then
// raises. While not hovered it shows a grey version of its picture (or a
// picture of its own for that), it can drop down a menu marked by a small
// arrow, and buttons of one parent sharing a GroupIndex toggle as a group.
// An "&" in the caption gives the button an Alt accelerator.
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "widgets/colors.h"
#include "widgets/rects.h"

class QMenu;
class QPainter;

namespace widgets {

enum class TBevelStyle { bsLowered, bsRaised };
enum class TExplorerButtonLayout { blBitmapTop, blBitmapBottom, blBitmapLeft, blBitmapRight };
enum class TExplorerButtonOption { boMonoDisplay = 0x1, boIconOnly = 0x2, boPopupMark = 0x4 };
Q_DECLARE_FLAGS(TExplorerButtonOptions, TExplorerButtonOption)
enum class TExplorerButtonShadingType { stLight, stMedium, stDark };

} // namespace widgets

Q_DECLARE_OPERATORS_FOR_FLAGS(widgets::TExplorerButtonOptions)

namespace widgets {

class TExplorerButton : public QWidget {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* sender)>;

    explicit TExplorerButton(QWidget* parent = nullptr);

    // Qt::AlignLeft, Qt::AlignRight or Qt::AlignHCenter: picture and caption.
    [[nodiscard]] Qt::Alignment Alignment() const { return alignment_; }
    void SetAlignment(Qt::Alignment alignment);
    // In a group, a down button may be clicked up again.
    [[nodiscard]] bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool value);
    [[nodiscard]] TBevelStyle BevelStyle() const { return bevelStyle_; }
    void SetBevelStyle(TBevelStyle style);
    // Pictures: the top-left pixel's colour is transparent.
    [[nodiscard]] const QImage& Bitmap() const { return bitmap_; }
    void SetBitmap(const QImage& bitmap);
    // Shown instead of the grey picture while not hovered.
    [[nodiscard]] const QImage& NoFocusBitmap() const { return noFocusBitmap_; }
    void SetNoFocusBitmap(const QImage& bitmap);
    // Shown while disabled; without one the picture is embossed.
    [[nodiscard]] const QImage& DisabledBitmap() const { return disabledBitmap_; }
    void SetDisabledBitmap(const QImage& bitmap);
    [[nodiscard]] std::string Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    // 0: a plain button; otherwise the parent's buttons with this index form
    // a toggle group.
    [[nodiscard]] int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int index);
    [[nodiscard]] bool Down() const { return down_; }
    void SetDown(bool value);
    // Dropped down on a left-button press; such a button never clicks.
    [[nodiscard]] QMenu* DropDownMenu() const { return dropDownMenu_; }
    void SetDropDownMenu(QMenu* menu);
    // Popped up at the cursor on a right-button release.
    [[nodiscard]] QMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }
    [[nodiscard]] bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    [[nodiscard]] TExplorerButtonLayout Layout() const { return layout_; }
    void SetLayout(TExplorerButtonLayout layout);
    [[nodiscard]] TExplorerButtonOptions Options() const { return options_; }
    void SetOptions(TExplorerButtonOptions options);
    [[nodiscard]] TExplorerButtonShadingType ShadingType() const { return shadingType_; }
    void SetShadingType(TExplorerButtonShadingType type);
    [[nodiscard]] bool ShowDownPattern() const { return showDownPattern_; }
    void SetShowDownPattern(bool value);
    // Caption colour while hovered or pressed, and while not.
    [[nodiscard]] TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor color);
    [[nodiscard]] TColor UnselectedFontColor() const { return unselectedFontColor_; }
    void SetUnselectedFontColor(TColor color);
    [[nodiscard]] bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);
    // The tool tip, shown only with ShowHint.
    [[nodiscard]] std::string Hint() const { return hint_; }
    void SetHint(const std::string& hint);
    [[nodiscard]] bool ShowHint() const { return showHint_; }
    void SetShowHint(bool value);

    // The mouse is over the button / the left button went down on it and
    // is held.
    [[nodiscard]] bool Hot() const { return hot_; }
    [[nodiscard]] bool Pressing() const { return pressing_; }
    // The grey picture made from Bitmap; empty while NoFocusBitmap is set.
    [[nodiscard]] const QImage& GrayBitmap() const { return grayBitmap_; }

    // Fires OnClick.
    virtual void Click();
    // "&&" becomes "&"; any other "&" goes.
    [[nodiscard]] static std::string StripAccelerators(const std::string& text);

    TNotifyEvent OnClick;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct TPlacement;
    [[nodiscard]] TPlacement Place(const QString& caption, int flags) const;
    [[nodiscard]] bool HasMark() const;
    void DrawFrame(QPainter& painter, bool pressed) const;
    void MakeGrayBitmap();
    void SetHot(bool value);
    void HoverAt(QPoint p);
    void LeftButtonDown();
    void LeftButtonUp();
    // After a menu closes: the pointer may have gone, the press is over.
    void MenuClosed();
    void Accelerator();
    void GrabAccelerator();
    [[nodiscard]] QList<TExplorerButton*> Group() const;

    Qt::Alignment alignment_ = Qt::AlignHCenter;
    bool allowAllUp_ = false;
    TBevelStyle bevelStyle_ = TBevelStyle::bsRaised;
    QImage bitmap_;
    QImage noFocusBitmap_;
    QImage disabledBitmap_;
    QImage grayBitmap_;
    std::string caption_;
    int groupIndex_ = 0;
    bool down_ = false;
    QPointer<QMenu> dropDownMenu_;
    QPointer<QMenu> popupMenu_;
    bool enabled_ = true;
    TExplorerButtonLayout layout_ = TExplorerButtonLayout::blBitmapTop;
    TExplorerButtonOptions options_ =
        TExplorerButtonOption::boMonoDisplay | TExplorerButtonOption::boPopupMark;
    TExplorerButtonShadingType shadingType_ = TExplorerButtonShadingType::stMedium;
    bool showDownPattern_ = true;
    TColor fontColor_ = clWindowText;
    TColor unselectedFontColor_ = clWindowText;
    bool wordWrap_ = false;
    std::string hint_;
    bool showHint_ = false;

    bool hot_ = false;
    bool pressing_ = false;
    // Stands for the mouse capture the button takes while the pointer is
    // over it (and keeps while pressed).
    bool tracking_ = false;
    int shortcutId_ = 0;
};

} // namespace widgets
