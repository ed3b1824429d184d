#pragma once
// A windowless-looking push button: a rounded outline, an 11 x 11 indicator
// ball at its left and a centred caption. Hovering thickens and colours the
// outline and lights the ball; while the button is held the ball shows
// "DOWN" and ball and caption shift by one pixel, also when the mouse
// leaves and comes back with the button still held.
#include <QFont>
#include <QWidget>
#include <functional>
#include <string>

#include "widgets/colors.h"

namespace widgets {

class TOfficeButton : public QWidget {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* sender)>;
    using TMouseEvent = std::function<void(QObject* sender, Qt::MouseButton button,
                                           Qt::KeyboardModifiers shift, int x, int y)>;
    using TMouseMoveEvent =
        std::function<void(QObject* sender, Qt::KeyboardModifiers shift, int x, int y)>;

    explicit TOfficeButton(QWidget* parent = nullptr);

    [[nodiscard]] std::string Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    [[nodiscard]] TColor BorderColor() const { return borderColor_; }
    void SetBorderColor(TColor color) { borderColor_ = color; }
    [[nodiscard]] int BorderWidth() const { return borderWidth_; }
    // 1..3; other values are brought into that range.
    void SetBorderWidth(int width);
    [[nodiscard]] const QFont& Font() const { return font_; }
    void SetFont(const QFont& font);
    [[nodiscard]] int RoundSize() const { return roundSize_; }
    void SetRoundSize(int size);

    [[nodiscard]] bool MouseIn() const { return mouseIn_; }
    [[nodiscard]] bool Pressed() const { return pressed_; }
    [[nodiscard]] int Offset() const { return offset_; }
    // Name of the indicator bitmap the next paint shows.
    [[nodiscard]] const char* IndicatorName() const;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void MouseEnter();
    void MouseLeave();

    std::string caption_ = "OfficeButton";
    TColor borderColor_ = clGray;
    int borderWidth_ = 1;
    QFont font_;
    int roundSize_ = 20;
    bool mouseIn_ = false;
    bool pressed_ = false;
    int offset_ = 0;
};

} // namespace widgets
