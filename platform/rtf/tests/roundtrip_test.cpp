// What we write reads back as the same document, and writing that again
// gives the same bytes.
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <gtest/gtest.h>

#include "platform/rtf/rtfreader.h"
#include "platform/rtf/rtfwriter.h"
#include "platform/rtf/tests/docdump.h"

namespace rtf {
namespace {

using test::Dump;
using test::Family;
using test::Paragraphs;

QTextCharFormat Plain() {
    QTextCharFormat f;
    f.setFontFamilies({QStringLiteral("DejaVu Sans")});
    f.setFontPointSize(10);
    return f;
}

// Every property the writer knows, and the characters it must escape.
void Build(QTextDocument& document) {
    document.setDefaultFont(QFont(QStringLiteral("DejaVu Serif"), 9));
    QTextCursor c(&document);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    centred.setBottomMargin(8);
    c.setBlockFormat(centred);
    QTextCharFormat title = Plain();
    title.setFontWeight(QFont::Bold);
    title.setFontPointSize(16.5);
    c.insertText(QStringLiteral("Title"), title);

    QTextBlockFormat indented;
    indented.setLeftMargin(48);
    indented.setRightMargin(12);
    indented.setTextIndent(-24);
    indented.setTopMargin(4);
    c.insertBlock(indented);
    c.insertText(QStringLiteral("plain "), Plain());
    QTextCharFormat f = Plain();
    f.setFontItalic(true);
    c.insertText(QStringLiteral("italic "), f);
    f = Plain();
    f.setFontUnderline(true);
    f.setForeground(QColor(200, 10, 20));
    c.insertText(QStringLiteral("red underlined "), f);
    f = Plain();
    f.setBackground(QColor(255, 255, 0));
    f.setFontFamilies({QStringLiteral("Caf\u00e9 Mono")});
    c.insertText(QString::fromUtf8("\\{}\t\u00a0\u2028\u00e9\u20ac\u03b1\u65e5\U0001F600\u00ad"),
                 f);
    // No family and no size of its own: the document's default.
    c.insertText(QStringLiteral(" default"), QTextCharFormat());

    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight);
    c.insertBlock(right);
    c.insertText(QStringLiteral("right"), Plain());
    QTextBlockFormat justified;
    justified.setAlignment(Qt::AlignJustify);
    c.insertBlock(justified);
    c.insertText(QStringLiteral("justified"), Plain());

    QTextListFormat bullets;
    bullets.setStyle(QTextListFormat::ListDisc);
    c.insertBlock(QTextBlockFormat(), Plain());
    c.createList(bullets);
    c.insertText(QStringLiteral("bullet one"));
    c.insertBlock();
    c.insertText(QStringLiteral("bullet two"));
    QTextListFormat numbers;
    numbers.setStyle(QTextListFormat::ListDecimal);
    numbers.setIndent(2);
    c.insertBlock();
    c.createList(numbers);
    c.insertText(QStringLiteral("nested number"));

    // An empty paragraph with a large font, and one at the end.
    QTextCharFormat big = Plain();
    big.setFontPointSize(20);
    c.insertBlock(QTextBlockFormat(), big);
    c.insertBlock(QTextBlockFormat(), Plain());
    c.insertText(QStringLiteral("last"));
    c.insertBlock(QTextBlockFormat(), Plain());
}

TEST(RtfRoundTrip, WrittenDocumentReadsBackTheSame) {
    QTextDocument original;
    Build(original);
    const std::string first = WriteRtf(original);
    EXPECT_EQ(first.rfind("{\\rtf1\\ansi\\ansicpg1252", 0), 0u);
    // Seven-bit output: everything else is escaped.
    for (const char ch : first)
        ASSERT_LT(static_cast<unsigned char>(ch), 0x80) << first;

    QTextDocument read;
    read.setDefaultFont(original.defaultFont());
    ReadRtf(first, read);
    EXPECT_EQ(test::Text(read), test::Text(original));

    const auto p = Paragraphs(read);
    ASSERT_EQ(p.size(), 10u);
    EXPECT_EQ(p[0].align, Qt::AlignHCenter);
    EXPECT_DOUBLE_EQ(p[0].after, 8);
    EXPECT_EQ(p[0].runs[0].format.fontPointSize(), 16.5);
    EXPECT_EQ(p[0].runs[0].format.fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(p[1].left, 48);
    EXPECT_DOUBLE_EQ(p[1].right, 12);
    EXPECT_DOUBLE_EQ(p[1].first, -24);
    EXPECT_DOUBLE_EQ(p[1].before, 4);
    ASSERT_EQ(p[1].runs.size(), 5u);
    EXPECT_TRUE(p[1].runs[1].format.fontItalic());
    EXPECT_TRUE(p[1].runs[2].format.fontUnderline());
    EXPECT_EQ(p[1].runs[2].format.foreground().color(), QColor(200, 10, 20));
    EXPECT_EQ(p[1].runs[3].format.background().color(), QColor(255, 255, 0));
    EXPECT_EQ(Family(p[1].runs[3].format), QString::fromUtf8("Caf\u00e9 Mono"));
    EXPECT_EQ(Family(p[1].runs[4].format), "DejaVu Serif");
    EXPECT_EQ(p[1].runs[4].format.fontPointSize(), 9);
    EXPECT_EQ(p[2].align, Qt::AlignRight);
    EXPECT_EQ(p[3].align, Qt::AlignJustify);
    EXPECT_EQ(p[4].listStyle, QTextListFormat::ListDisc);
    EXPECT_EQ(p[5].list, p[4].list);
    EXPECT_EQ(p[6].listStyle, QTextListFormat::ListDecimal);
    EXPECT_EQ(p[6].listIndent, 2);
    EXPECT_TRUE(p[7].text.isEmpty());
    EXPECT_EQ(read.findBlockByNumber(7).charFormat().fontPointSize(), 20);
    EXPECT_EQ(p[8].text, "last");
    EXPECT_TRUE(p[9].text.isEmpty());

    // Our own output is a fixed point.
    QTextDocument again;
    again.setDefaultFont(original.defaultFont());
    ReadRtf(WriteRtf(read), again);
    EXPECT_EQ(Dump(again), Dump(read));
    EXPECT_EQ(WriteRtf(again), WriteRtf(read));
}

TEST(RtfRoundTrip, EmptyDocument) {
    QTextDocument empty;
    QTextDocument read;
    read.setPlainText("x");
    ReadRtf(WriteRtf(empty), read);
    EXPECT_TRUE(read.isEmpty());
    EXPECT_EQ(read.blockCount(), 1);
}

} // namespace
} // namespace rtf
