// The margins' units, the rich-text label's height from its text, its RTF
// text, and printed pages that keep the margins.
#include <QBuffer>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QVBoxLayout>
#include <cmath>
#include <gtest/gtest.h>
#include <string>

#include "platform/rtf/rtfreader.h"
#include "widgets/richlabel.h"
#include "widgets/tests/helpers.h"

namespace widgets {
namespace {

using Units = TEPMeasurementUnits;

TEST(RichEditMargins, ConvertedOnEveryReadAndWrite) {
    TEPRichEditMargins margins;
    EXPECT_EQ(margins.MeasurementUnits(), Units::epmuTwips);
    margins.SetMeasurementUnits(Units::epmuInches);
    margins.SetLeft(1000);
    EXPECT_EQ(margins.Left(), 1000);
    margins.SetMeasurementUnits(Units::epmuTwips);
    EXPECT_EQ(margins.Left(), 1440);
    margins.SetMeasurementUnits(Units::epmuMillimeters);
    EXPECT_EQ(margins.Left(), 2526);

    // Written in a unit, held in twips (to the nearest), read back.
    const struct {
        Units unit;
        int written, twips, read;
    } rows[] = {
        {Units::epmuTwips, 7, 7, 7},
        {Units::epmuInches, 500, 720, 500},
        {Units::epmuInches, 1, 1, 1},
        {Units::epmuInches, -250, -360, -250},
        {Units::epmuMillimeters, 100, 57, 100},
        {Units::epmuMillimeters, 1, 1, 2},
        {Units::epmuMillimeters, 2540, 1448, 2540},
    };
    for (const auto& row : rows) {
        TEPRichEditMargins m;
        m.SetMeasurementUnits(row.unit);
        m.SetBottom(row.written);
        EXPECT_EQ(m.Bottom(), row.read) << row.written;
        m.SetMeasurementUnits(Units::epmuTwips);
        EXPECT_EQ(m.Bottom(), row.twips) << row.written;
    }

    TEPRichEditMargins copy;
    margins.SetTop(10);
    margins.SetRight(20);
    copy.Assign(margins);
    EXPECT_EQ(copy.MeasurementUnits(), Units::epmuMillimeters);
    EXPECT_EQ(copy.Left(), 2526);
    EXPECT_EQ(copy.Top(), margins.Top());
    EXPECT_EQ(copy.Right(), margins.Right());
    EXPECT_EQ(copy.Bottom(), 0);
}

// The text's own height at a width, laid out apart from the label.
qreal TextHeight(const TEPRichLabel& label, const std::string& rtf, int width) {
    QTextDocument document;
    document.setDefaultFont(label.font());
    document.setDocumentMargin(0);
    rtf::ReadRtf(rtf, document);
    document.setTextWidth(width);
    return document.size().height();
}

int FontHeight(const QWidget& w, int points) {
    return MulDiv(points, w.logicalDpiY(), 72);
}

const std::string kWords = "{\\rtf1\\fs24 Quelta files incoming mail by the rules of each "
                           "account's agents, and this label grows with the text.\\par}";

// On a shown window, so that resizing reaches the label at once.
struct Label : ::testing::Test {
    void SetUp() override {
        parent.resize(400, 400);
        parent.show();
    }
    QWidget parent;
    TEPRichLabel* label = new TEPRichLabel(&parent);
};

TEST_F(Label, GrowsByTheFontHeightUntilTheTextFits) {
    label->resize(200, 5);
    label->SetRichText(kWords);
    const int step = FontHeight(*label, 12);
    const qreal needed = TextHeight(*label, kWords, 200);
    ASSERT_GT(needed, 2 * step) << "the text should wrap to several lines";
    EXPECT_EQ(label->height() % step, 0);
    EXPECT_GE(label->height(), needed);
    EXPECT_LT(label->height() - step, needed);
    EXPECT_EQ(label->width(), 200);

    // Narrower: more lines, taller, at once.
    const int wide = label->height();
    label->resize(120, label->height());
    EXPECT_GT(label->height(), wide);
    EXPECT_GE(label->height(), TextHeight(*label, kWords, 120));
}

TEST_F(Label, EachStepTakesTheFontOfTheFirstCharacterLeft) {
    const std::string rtf = "{\\rtf1\\fs72 Big\\par\\fs16 one\\par two\\par three\\par four\\par}";
    label->resize(300, 5);
    label->SetRichText(rtf);
    // 36-point steps until the first line fits, then 8-point ones.
    const int big = FontHeight(*label, 36), small = FontHeight(*label, 8);
    QTextDocument document;
    document.setDocumentMargin(0);
    rtf::ReadRtf(rtf, document);
    document.setTextWidth(300);
    const qreal whole = document.size().height();
    const qreal firstLine = document.firstBlock().layout()->lineAt(0).height();
    const int first = big * static_cast<int>(std::ceil(firstLine / big));
    ASSERT_LT(first, whole);
    EXPECT_EQ(label->height(),
              first + small * static_cast<int>(std::ceil((whole - first) / small)));
}

TEST_F(Label, KeepsItsHeightWhenItMaySizeNothing) {
    label->resize(200, 33);
    // No text.
    label->SetRichText("");
    EXPECT_EQ(label->height(), 33);
    label->SetRichText(kWords);
    label->SetAutoSize(false);
    label->resize(200, 33);
    label->SetRichText("{\\rtf1 other text\\par}");
    label->resize(80, 33);
    EXPECT_EQ(label->height(), 33);
    label->SetAutoSize(true);
    EXPECT_NE(label->height(), 33);

    // No width to fit into: nothing happens, and it ends.
    label->resize(0, 33);
    EXPECT_EQ(label->height(), 33);
    // The smallest font one pixel wide still ends.
    label->SetRichText("{\\rtf1\\fs2 " + std::string(200, 'x') + "}");
    label->resize(1, 1);
    EXPECT_GT(label->height(), 1);
}

TEST_F(Label, InALayoutTakesTheHeightItComputedAndNoMore) {
    // The same text alone at a width of 280 pixels.
    label->resize(280, 5);
    label->SetRichText(kWords);
    const int computed = label->height();

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(10, 10, 10, 10);
    auto* inLayout = new TEPRichLabel(&window);
    inLayout->SetRichText(kWords);
    layout->addWidget(inLayout);
    auto* below = new QWidget(&window);
    layout->addWidget(below, 1);
    window.resize(300, 400);
    window.show();
    test::Pump();
    ASSERT_EQ(inLayout->width(), 280);
    EXPECT_EQ(inLayout->height(), computed);
    // No band between the text and what follows it.
    EXPECT_EQ(below->y(), inLayout->geometry().bottom() + 1 + layout->spacing());
}

TEST_F(Label, RichTextIsRtfAndLeavesTheModifiedFlag) {
    label->document()->setModified(false);
    label->SetRichText("{\\rtf1{\\fonttbl{\\f0 Arial;}}\\b bold\\b0  text\\par}");
    EXPECT_FALSE(label->document()->isModified());
    EXPECT_EQ(label->toPlainText(), "bold text");
    const std::string rtf = label->RichText();
    EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
    EXPECT_NE(rtf.find("\\b bold"), std::string::npos) << rtf;

    label->document()->setModified(true);
    label->SetRichText("plain words");
    EXPECT_TRUE(label->document()->isModified());
    EXPECT_EQ(label->toPlainText(), "plain words");
}

TEST_F(Label, ShowsItsParentsColourAndTakesNoInput) {
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, QColor(10, 120, 200));
    parent.setPalette(palette);
    label->resize(100, 40);
    EXPECT_TRUE(label->ParentColor());
    EXPECT_EQ(test::Grab(*label).pixelColor(50, 20), QColor(10, 120, 200));
    EXPECT_EQ(label->Color(), FromQColor(QColor(10, 120, 200)));
    label->SetColor(clWhite);
    EXPECT_FALSE(label->ParentColor());
    EXPECT_EQ(test::Grab(*label).pixelColor(50, 20), QColor(255, 255, 255));

    EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(label->isReadOnly());
    EXPECT_TRUE(label->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_EQ(label->frameStyle(), QFrame::NoFrame);
}

// Pages in a PDF: the page objects it holds.
int PrintedPages(const TEPCustomRichEdit& edit) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        edit.Print(pdf);
    }
    return static_cast<int>(
        QString::fromLatin1(buffer.data()).count(QRegularExpression("/Type\\s*/Page[^s]")));
}

TEST(RichEdit, PrintedPagesKeepTheMargins) {
    TEPCustomRichEdit edit;
    QString lines;
    for (int i = 0; i < 120; ++i)
        lines += QStringLiteral("line %1\n").arg(i);
    edit.setPlainText(lines);
    const int full = PrintedPages(edit);
    EXPECT_GE(full, 2);

    // Three inches off the top and the bottom of A4: fewer lines a page.
    edit.Margins().SetMeasurementUnits(Units::epmuInches);
    edit.Margins().SetTop(3000);
    edit.Margins().SetBottom(3000);
    EXPECT_GT(PrintedPages(edit), full);

    // No room left on the page: nothing is printed, and it ends.
    edit.Margins().SetTop(12000);
    EXPECT_LE(PrintedPages(edit), 1);
}

} // namespace
} // namespace widgets
