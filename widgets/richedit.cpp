#include "widgets/richedit.h"

#include <QAbstractTextDocumentLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextDocument>
#include <QTextFrame>
#include <memory>

namespace widgets {

namespace {

constexpr int kTwipsPerInch = 1440;

} // namespace

// Inches count thousandths, millimetres hundredths at 57 twips each.
int TEPRichEditMargins::FromTwips(int twips) const {
    switch (units_) {
    case TEPMeasurementUnits::epmuInches:
        return MulDiv(twips, 1000, kTwipsPerInch);
    case TEPMeasurementUnits::epmuMillimeters:
        return MulDiv(twips, 100, 57);
    default:
        return twips;
    }
}

int TEPRichEditMargins::ToTwips(int value) const {
    switch (units_) {
    case TEPMeasurementUnits::epmuInches:
        return MulDiv(value, kTwipsPerInch, 1000);
    case TEPMeasurementUnits::epmuMillimeters:
        return MulDiv(value, 57, 100);
    default:
        return value;
    }
}

void TEPRichEditMargins::Assign(const TEPRichEditMargins& source) {
    units_ = source.units_;
    left_ = source.left_;
    top_ = source.top_;
    right_ = source.right_;
    bottom_ = source.bottom_;
}

TEPCustomRichEdit::TEPCustomRichEdit(QWidget* parent) : QTextEdit(parent) {
    // The text uses the whole client area, no inner margin.
    document()->setDocumentMargin(0);
    SetColor(clWindow);
}

bool TEPCustomRichEdit::WordWrap() const {
    return lineWrapMode() != QTextEdit::NoWrap;
}

void TEPCustomRichEdit::SetWordWrap(bool value) {
    setLineWrapMode(value ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
}

TColor TEPCustomRichEdit::Color() const {
    return parentColor_ ? FromQColor(palette().color(QPalette::Window)) : color_;
}

void TEPCustomRichEdit::SetColor(TColor color) {
    color_ = color;
    parentColor_ = false;
    QPalette p = palette();
    p.setColor(QPalette::Base, ToQColor(color));
    setPalette(p);
    viewport()->setBackgroundRole(QPalette::Base);
}

// The parent's colour reaches us through the inherited palette: the
// background shows its window colour and follows its changes.
void TEPCustomRichEdit::SetParentColor(bool value) {
    if (value == parentColor_)
        return;
    if (!value) {
        SetColor(color_);
        return;
    }
    parentColor_ = true;
    setPalette(QPalette());
    viewport()->setBackgroundRole(QPalette::Window);
}

void TEPCustomRichEdit::Print(QPagedPaintDevice& device) const {
    TEPRichEditMargins twips;
    twips.Assign(margins_);
    twips.SetMeasurementUnits(TEPMeasurementUnits::epmuTwips);
    const qreal dpiX = device.logicalDpiX(), dpiY = device.logicalDpiY();
    const QRectF page(0, 0, device.width(), device.height());
    const QRectF body = page.adjusted(
        twips.Left() * dpiX / kTwipsPerInch, twips.Top() * dpiY / kTwipsPerInch,
        -twips.Right() * dpiX / kTwipsPerInch, -twips.Bottom() * dpiY / kTwipsPerInch);
    if (body.width() < 1 || body.height() < 1)
        return;

    const std::unique_ptr<QTextDocument> copy(document()->clone());
    copy->documentLayout()->setPaintDevice(&device);
    copy->setPageSize(body.size());
    QPainter painter(&device);
    if (!painter.isActive())
        return;
    const int pages = copy->pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0)
            device.newPage();
        painter.save();
        painter.translate(body.left(), body.top() - i * body.height());
        copy->drawContents(&painter, QRectF(0, i * body.height(), body.width(), body.height()));
        painter.restore();
    }
}

} // namespace widgets
