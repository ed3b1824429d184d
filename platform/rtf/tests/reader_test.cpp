// The reader on small hand-written documents: text and characters, what is
// skipped, character and paragraph formats, lists, plain text.
#include <QTextDocument>
#include <QTextListFormat>
#include <gtest/gtest.h>

#include "platform/rtf/rtfreader.h"
#include "platform/rtf/tests/docdump.h"

namespace rtf {
namespace {

using test::Family;
using test::Paragraphs;

std::string Read(std::string_view rtf) {
    QTextDocument document;
    ReadRtf(rtf, document);
    return test::Text(document).toStdString();
}

struct TextCase {
    const char* name;
    const char* rtf;
    const char* text; // UTF-8
};

const TextCase kTextCases[] = {
    {"paragraphs", R"({\rtf1 one\par two\par})", "one\ntwo"},
    {"last paragraph without mark", R"({\rtf1 one\par two})", "one\ntwo"},
    {"empty paragraph kept", R"({\rtf1 one\par\par two\par})", "one\n\ntwo"},
    {"empty document", R"({\rtf1})", ""},
    {"escaped characters", R"({\rtf1 a\\b\{c\}d\~e\tab f\line g\-h\_i})",
     "a\\b{c}d\u00a0e\tf\u2028g\u00adh\u2011i"},
    {"word eats one space", R"({\rtf1 \b  two})", " two"},
    {"source line breaks are no text", "{\\rtf1 li\r\nne}", "line"},
    {"backslash before a line break ends a paragraph", "{\\rtf1 a\\\nb}", "a\nb"},
    {"named characters", R"({\rtf1 \emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote})",
     "\u2014\u2013\u2022\u2018\u2019\u201c\u201d"},
    {"bytes in 1252", R"({\rtf1\ansi \'80\'e9\'93})", "\u20ac\u00e9\u201c"},
    {"bytes in the document code page", R"({\rtf1\ansi\ansicpg1251 \'c0\'e1})", "\u0410\u0431"},
    {"bytes in a font's character set",
     R"({\rtf1{\fonttbl{\f0 Arial;}{\f1\fcharset238 Arial CE;}}\f1 \'e8\f0 \'e8})", "\u010d\u00e8"},
    {"double-byte pairs", R"({\rtf1\ansi\ansicpg932 \'93\'fa\'96\'7b})", "\u65e5\u672c"},
    {"unicode with one fallback", R"({\rtf1 \u8364\'80 x})", "\u20ac x"},
    {"unicode without fallback", R"({\rtf1\uc0\u233 x})", "\u00e9x"},
    {"fallback skips a control word", R"({\rtf1\uc2\u8220\tab ab})", "\u201cb"},
    {"skip count is the group's", R"({\rtf1{\uc3 }\u233 ab})", "\u00e9b"},
    {"skipping ends with the group", R"({\rtf1{\uc5\u233}x})", "\u00e9x"},
    {"surrogate pair", R"({\rtf1 \u-10179?\u-8704?})", "\U0001F600"},
    {"surrogate pair across uc words", R"({\rtf1 \uc0 \u55357\uc1 \u56832\'3f!})", "\U0001F600!"},
    {"lone surrogates replaced", R"({\rtf1 \u-10179?a\u-8704?})", "\ufffda\ufffd"},
    {"destinations skipped",
     R"({\rtf1{\*\unknown hidden}{\info{\title t}}{\stylesheet{\s0 Normal;}}{\pict\pngblip 89504e47}shown})",
     "shown"},
    {"unknown words ignored", R"({\rtf1 \foo\bar12 text\baz-3 more})", "textmore"},
    {"binary data skipped", R"({\rtf1 a\bin3 }{xb})", "ab"},
    {"field result shown", R"({\rtf1 {\field{\*\fldinst HYPERLINK "x"}{\fldrslt link}}})", "link"},
    {"table cells as tabs", R"({\rtf1\trowd\cellx100\cellx200 a\cell b\cell\row c})", "a\tb\t\nc"},
    {"list marker text skipped", R"({\rtf1{\pntext\'b7\tab}{\*\pn\pnlvlblt}one\par})", "one"},
    {"text after the document ignored", R"({\rtf1 in}out)", "in"},
    {"control characters dropped", "{\\rtf1\\uc0 a\x01\\'00\\u0\\u13 b}", "ab"},
};

TEST(RtfReader, Text) {
    for (const TextCase& c : kTextCases)
        EXPECT_EQ(Read(c.rtf), c.text) << c.name;
}

TEST(RtfReader, CharacterAndParagraphFormats) {
    QTextDocument document;
    ReadRtf(R"({\rtf1\ansi\deff0{\fonttbl{\f0\fswiss Arial;}{\f1\fmodern Courier New;}})"
            R"({\colortbl;\red255\green0\blue0;\red0\green0\blue255;})"
            R"(\pard\qc\fs32\b Title\b0\par)"
            R"(\pard\li720\ri360\fi-360\sb120\sa240\fs24 {\f1 mono}{\cf1 red}{\highlight2 blue})"
            R"(\i it\i0\ul ul\ulnone\fs20  end\b\plain plain\par\pard\qr r\par\pard\qj j})",
            document);
    const auto p = Paragraphs(document);
    ASSERT_EQ(p.size(), 4u);

    EXPECT_EQ(p[0].align, Qt::AlignHCenter);
    ASSERT_EQ(p[0].runs.size(), 1u);
    EXPECT_EQ(p[0].runs[0].text, "Title");
    EXPECT_EQ(p[0].runs[0].format.fontWeight(), QFont::Bold);
    EXPECT_EQ(p[0].runs[0].format.fontPointSize(), 16);
    EXPECT_EQ(Family(p[0].runs[0].format), "Arial");

    // Twips to pixels at 96 per inch.
    EXPECT_EQ(p[1].align, Qt::AlignLeft);
    EXPECT_DOUBLE_EQ(p[1].left, 48);
    EXPECT_DOUBLE_EQ(p[1].right, 24);
    EXPECT_DOUBLE_EQ(p[1].first, -24);
    EXPECT_DOUBLE_EQ(p[1].before, 8);
    EXPECT_DOUBLE_EQ(p[1].after, 16);
    const auto& runs = p[1].runs;
    ASSERT_EQ(runs.size(), 7u);
    EXPECT_EQ(runs[0].text, "mono");
    EXPECT_EQ(Family(runs[0].format), "Courier New");
    EXPECT_EQ(runs[1].text, "red");
    EXPECT_EQ(runs[1].format.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(Family(runs[1].format), "Arial");
    EXPECT_EQ(runs[2].text, "blue");
    EXPECT_EQ(runs[2].format.background().color(), QColor(0, 0, 255));
    EXPECT_FALSE(runs[2].format.hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_EQ(runs[3].text, "it");
    EXPECT_TRUE(runs[3].format.fontItalic());
    EXPECT_EQ(runs[4].text, "ul");
    EXPECT_TRUE(runs[4].format.fontUnderline());
    EXPECT_FALSE(runs[4].format.fontItalic());
    EXPECT_EQ(runs[5].text, " end");
    EXPECT_FALSE(runs[5].format.fontUnderline());
    EXPECT_EQ(runs[5].format.fontPointSize(), 10);
    // \plain: default font, 12 points, nothing else.
    EXPECT_EQ(runs[6].text, "plain");
    EXPECT_EQ(runs[6].format.fontPointSize(), 12);
    EXPECT_NE(runs[6].format.fontWeight(), QFont::Bold);
    EXPECT_EQ(Family(runs[6].format), "Arial");

    EXPECT_EQ(p[2].align, Qt::AlignRight);
    EXPECT_EQ(p[3].align, Qt::AlignJustify);
    EXPECT_EQ(p[3].left, 0);
}

TEST(RtfReader, FontTablesOldAndNew) {
    QTextDocument document;
    // Entries without groups, a missing ";", an alternative name to skip,
    // a name in its own code page.
    ReadRtf(R"({\rtf1{\fonttbl\f0\fswiss Helv;\f1\froman Tms Rmn;{\f2 Sym{\*\falt Other};})"
            R"({\f3\fcharset204 \'c0rial}}\f1 a\f2 b\f3 c\f9 d})",
            document);
    const auto p = Paragraphs(document);
    ASSERT_EQ(p.size(), 1u);
    ASSERT_EQ(p[0].runs.size(), 4u);
    EXPECT_EQ(Family(p[0].runs[0].format), "Tms Rmn");
    EXPECT_EQ(Family(p[0].runs[1].format), "Sym");
    EXPECT_EQ(Family(p[0].runs[2].format), QString::fromUtf8("\u0410rial"));
    // An unknown font is the default one.
    EXPECT_EQ(Family(p[0].runs[3].format), "Helv");
}

TEST(RtfReader, Lists) {
    QTextDocument document;
    // A rich-edit control's bullets, then Word's lists with their tables.
    ReadRtf(
        R"({\rtf1{\fonttbl{\f0 Arial;}{\f1\fcharset2 Symbol;}})"
        R"({\pntext\f1\'b7\tab}{\*\pn\pnlvlblt\pnf1\pnindent0{\pntxtb\'b7}}\fi-200\li600 one\par)"
        R"({\pntext\f1\'b7\tab}two\par\pard three\par)"
        R"({\*\listtable{\list{\listlevel\levelnfc0{\leveltext\'02\'00.;}})"
        R"({\listlevel\levelnfc4}\listid7}{\list{\listlevel\levelnfc23}\listid8}})"
        R"({\listoverridetable{\listoverride\listid7\ls1}{\listoverride\listid8\ls2}})"
        R"({\listtext 1.\tab}\pard\ls1\li720\fi-360 first\par)"
        R"(\pard\ls1\ilvl1\li1440 sub\par\pard\ls1 second\par)"
        R"(\pard\ls2 dot\par\pard\ls9 unknown\par)"
        R"(\pard{\*\pn\pnlvlbody\pnucrm} roman\par})",
        document);
    const auto p = Paragraphs(document);
    ASSERT_EQ(p.size(), 9u);
    EXPECT_EQ(p[0].text, "one");
    EXPECT_EQ(p[0].listStyle, QTextListFormat::ListDisc);
    EXPECT_EQ(p[0].listIndent, 1);
    // The text starts at \li (600 twips, 40 pixels), all of it the list's
    // indent here; the marker hangs in front, so \fi is not the text's.
    EXPECT_DOUBLE_EQ(p[0].left, 0);
    EXPECT_EQ(p[0].first, 0);
    EXPECT_EQ(p[1].list, p[0].list);
    EXPECT_EQ(p[1].listItem, 1);
    EXPECT_EQ(p[2].list, nullptr);

    EXPECT_EQ(p[3].text, "first");
    EXPECT_EQ(p[3].listStyle, QTextListFormat::ListDecimal);
    EXPECT_DOUBLE_EQ(p[3].left, 8);
    EXPECT_EQ(p[4].listStyle, QTextListFormat::ListLowerAlpha);
    EXPECT_EQ(p[4].listIndent, 2);
    EXPECT_DOUBLE_EQ(p[4].left, 16);
    // The list goes on after the nested item.
    EXPECT_EQ(p[5].list, p[3].list);
    EXPECT_EQ(p[5].listItem, 1);
    EXPECT_EQ(p[6].listStyle, QTextListFormat::ListDisc);
    EXPECT_NE(p[6].list, p[3].list);
    EXPECT_EQ(p[7].listStyle, QTextListFormat::ListDisc);
    EXPECT_EQ(p[8].listStyle, QTextListFormat::ListUpperRoman);
}

TEST(RtfReader, PlainText) {
    QTextDocument document;
    ReadRtf("h\xc3\xa9llo\r\nworld\rend", document);
    EXPECT_EQ(test::Text(document), QString::fromUtf8("h\u00e9llo\nworld\nend"));
    // Not UTF-8: Windows-1252.
    ReadRtf("caf\xe9 \x80", document);
    EXPECT_EQ(test::Text(document), QString::fromUtf8("caf\u00e9 \u20ac"));
    // RTF only at the very start.
    ReadRtf(" {\\rtf1 x}", document);
    EXPECT_EQ(test::Text(document), " {\\rtf1 x}");
    EXPECT_FALSE(IsRtf(" {\\rtf1"));
    EXPECT_TRUE(IsRtf("{\\rtf1"));
}

TEST(RtfReader, ReplacesContentWithoutUndoSteps) {
    QTextDocument document;
    document.setPlainText("old");
    ReadRtf(R"({\rtf1 new\par})", document);
    EXPECT_EQ(test::Text(document), "new");
    EXPECT_FALSE(document.isUndoAvailable());
    EXPECT_TRUE(document.isUndoRedoEnabled());
}

} // namespace
} // namespace rtf
