#pragma once
// A control that paints a chosen frame around its content, optionally
// through an off-screen buffer, and two controls on it: a frame or
// separator line with a caption, and a progress meter (bar, LED cells or
// painted by its owner).
#include <QWidget>
#include <functional>
#include <string>

#include "widgets/colors.h"

class QPainter;

namespace widgets {

enum class TEPBorderStyle {
    epbsNone,
    epbsSingle,
    epbsRaised,
    epbsLowered,
    epbsStatus,
    epbsGroup,
    epbsHorizLine,
    epbsVertLine,
    epbsHorizEdge,
    epbsVertEdge
};

// The platform's DrawEdge over a rectangle, as far as the frames need it.
enum : unsigned {
    BDR_RAISEDOUTER = 0x1,
    BDR_SUNKENOUTER = 0x2,
    BDR_RAISEDINNER = 0x4,
    BDR_SUNKENINNER = 0x8,
    EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER,
    EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER,
    EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER,
};
enum : unsigned { BF_LEFT = 0x1, BF_TOP = 0x2, BF_RIGHT = 0x4, BF_BOTTOM = 0x8, BF_RECT = 0xF };
void DrawEdge(QPainter& painter, QRect rect, unsigned edge, unsigned sides);

// The rectangle with exclusive right and bottom, as the platform gives them.
[[nodiscard]] inline QRect Rect(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

class TEPGraphicControl : public QWidget {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(QObject* sender)>;

    explicit TEPGraphicControl(QWidget* parent = nullptr);

    [[nodiscard]] unsigned BorderSpace() const { return borderSpace_; }
    virtual void SetBorderSpace(unsigned space);
    [[nodiscard]] TEPBorderStyle BorderStyle() const { return borderStyle_; }
    virtual void SetBorderStyle(TEPBorderStyle style);
    [[nodiscard]] bool Buffered() const { return buffered_; }
    [[nodiscard]] TColor Color() const { return color_; }
    virtual void SetColor(TColor color);

    // The client rectangle less BorderSpace and the frame.
    [[nodiscard]] QRect GetContentRect() const;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;

protected:
    virtual void DrawBorder(QPainter& painter, QRect rect);
    virtual void Paint(QPainter& painter) = 0;
    void SetBuffered(bool value) { buffered_ = value; }
    // A frame or spacing change; plain controls repaint.
    virtual void FrameChanged() { update(); }

    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void PaintOn(QPainter& painter, bool fill);

    unsigned borderSpace_ = 0;
    TEPBorderStyle borderStyle_ = TEPBorderStyle::epbsLowered;
    bool buffered_ = true;
    TColor color_ = clBtnFace;
};

class TEPBorder : public TEPGraphicControl {
    Q_OBJECT
public:
    explicit TEPBorder(QWidget* parent = nullptr);

    [[nodiscard]] Qt::Alignment Alignment() const { return alignment_; }
    // Qt::AlignLeft, Qt::AlignRight or Qt::AlignHCenter.
    void SetAlignment(Qt::Alignment alignment);
    [[nodiscard]] std::string Caption() const { return caption_; }
    void SetCaption(const std::string& caption);

protected:
    void DrawBorder(QPainter& painter, QRect rect) override;
    void Paint(QPainter&) override {}

private:
    Qt::Alignment alignment_ = Qt::AlignLeft;
    std::string caption_;
};

enum class TEPMeterStyle { epmsBar, epmsLED, epmsOwnerDraw };
enum class TEPOrientation { epoHorizontal, epoVertical };

class TEPMeter : public TEPGraphicControl {
    Q_OBJECT
public:
    using TEPMDrawMeterEvent = std::function<void(TEPMeter* meter, QPainter& canvas, QRect rect)>;
    using TEPMSelectColorEvent =
        std::function<void(TEPMeter* meter, unsigned percent, TColor& color)>;

    explicit TEPMeter(QWidget* parent = nullptr);

    [[nodiscard]] TColor MeterColor() const { return meterColor_; }
    void SetMeterColor(TColor color);
    [[nodiscard]] TEPMeterStyle MeterStyle() const { return meterStyle_; }
    void SetMeterStyle(TEPMeterStyle style);
    [[nodiscard]] int MaxValue() const { return maxValue_; }
    void SetMaxValue(int value);
    [[nodiscard]] int MinValue() const { return minValue_; }
    void SetMinValue(int value);
    [[nodiscard]] TEPOrientation Orientation() const { return orientation_; }
    void SetOrientation(TEPOrientation orientation);
    [[nodiscard]] bool ShowText() const { return showText_; }
    void SetShowText(bool value);
    [[nodiscard]] bool UseFontColor() const { return useFontColor_; }
    void SetUseFontColor(bool value);
    // The font's own colour (the meter's font carries one).
    [[nodiscard]] TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor color);
    [[nodiscard]] int Value() const { return value_; }
    void SetValue(int value);
    // 0..100.
    [[nodiscard]] unsigned Percent() const;
    void SetPercent(unsigned percent);

    TEPMDrawMeterEvent OnDrawMeter;
    TEPMSelectColorEvent OnSelectColor;

    virtual TColor SelectColor(unsigned percent);
    virtual void DrawMeterBar(QPainter& canvas, QRect rect, bool showText, unsigned percent);
    virtual void DrawMeterLED(QPainter& canvas, QRect rect, unsigned percent);

protected:
    void Paint(QPainter& painter) override;

private:
    // Keeps Value inside MinValue..MaxValue after either bound moved.
    void Clamp();

    TColor meterColor_ = clNavy;
    TEPMeterStyle meterStyle_ = TEPMeterStyle::epmsBar;
    int maxValue_ = 100;
    int minValue_ = 0;
    TEPOrientation orientation_ = TEPOrientation::epoHorizontal;
    bool showText_ = true;
    bool useFontColor_ = false;
    TColor fontColor_ = clWindowText;
    int value_ = 0;
};

} // namespace widgets
