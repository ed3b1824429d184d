#pragma once
// A rich-edit control (a QTextEdit whose RTF goes through platform/rtf)
// whose text fills its whole client area and whose printed pages keep four
// margins, given in twips, thousandths of an inch or hundredths of a
// millimetre.
#include <QTextEdit>

#include "widgets/colors.h"

class QPagedPaintDevice;

namespace widgets {

enum class TEPMeasurementUnits { epmuTwips, epmuInches, epmuMillimeters };

// The four margins, held in twips (1/1440 inch) and read and written in
// the chosen unit, rounded to the nearest whole number.
class TEPRichEditMargins {
public:
    [[nodiscard]] TEPMeasurementUnits MeasurementUnits() const { return units_; }
    void SetMeasurementUnits(TEPMeasurementUnits units) { units_ = units; }
    [[nodiscard]] int Left() const { return FromTwips(left_); }
    void SetLeft(int value) { left_ = ToTwips(value); }
    [[nodiscard]] int Top() const { return FromTwips(top_); }
    void SetTop(int value) { top_ = ToTwips(value); }
    [[nodiscard]] int Right() const { return FromTwips(right_); }
    void SetRight(int value) { right_ = ToTwips(value); }
    [[nodiscard]] int Bottom() const { return FromTwips(bottom_); }
    void SetBottom(int value) { bottom_ = ToTwips(value); }

    // The unit and the four held values.
    void Assign(const TEPRichEditMargins& source);

private:
    [[nodiscard]] int FromTwips(int twips) const;
    [[nodiscard]] int ToTwips(int value) const;

    TEPMeasurementUnits units_ = TEPMeasurementUnits::epmuTwips;
    int left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
};

class TEPCustomRichEdit : public QTextEdit {
    Q_OBJECT
public:
    explicit TEPCustomRichEdit(QWidget* parent = nullptr);

    [[nodiscard]] TEPRichEditMargins& Margins() { return margins_; }
    [[nodiscard]] const TEPRichEditMargins& Margins() const { return margins_; }

    [[nodiscard]] bool WordWrap() const;
    void SetWordWrap(bool value);
    // The background; with ParentColor it is the parent's.
    [[nodiscard]] TColor Color() const;
    void SetColor(TColor color);
    [[nodiscard]] bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool value);

    // Prints the content page after page, each page's text inside the
    // device's page less the margins; nothing when they leave no room.
    void Print(QPagedPaintDevice& device) const;

private:
    TEPRichEditMargins margins_;
    TColor color_ = clWindow;
    bool parentColor_ = false;
};

} // namespace widgets
