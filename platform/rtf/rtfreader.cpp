#include "platform/rtf/rtfreader.h"

#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <algorithm>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "platform/rtf/codepage_p.h"
#include "platform/rtf/rtfformat_p.h"
#include "platform/rtf/rtflexer_p.h"

namespace rtf {

using detail::kMaxTwips;
using detail::Lexer;
using detail::ListKind;
using detail::Tok;
using detail::Token;
using detail::ToListStyle;
using detail::TwipsToPixels;

namespace {

// Where the text and words of a group go.
enum class Dest { Text, Skip, FontTable, ColorTable, ListTable, ListOverrides, Pn };

struct CharState {
    int font = -1; // -1: the document's default font
    int halfPoints = 24;
    bool bold = false, italic = false, underline = false;
    int foreground = 0, background = 0; // colour table indexes; 0 is automatic
};

struct ParaState {
    Qt::Alignment align = Qt::AlignLeft;
    int left = 0, right = 0, first = 0, before = 0, after = 0; // twips
    int ls = 0;                                                // list override, 0 for none
    int level = 0;
    ListKind pn = ListKind::None; // from an old-style \pn destination
};

struct Group {
    CharState ch;
    ParaState para;
    int uc = 1;
    Dest dest = Dest::Text;
    bool star = false; // \* seen: the next word names an optional destination
    // Inside \pn: what its words said so far.
    bool pnBullet = false, pnNumbered = false, pnContinue = false;
    ListKind pnStyle = ListKind::Decimal;
};

struct Font {
    QString name;
    std::optional<int> codePage;
};

struct List {
    int id = 0;
    std::vector<ListKind> levels;
};

struct ListOverride {
    int listId = 0;
    int ls = 0;
};

// Destinations that are neither shown nor needed to show the rest.
bool IsSkippedDestination(std::string_view w) {
    static constexpr std::string_view kWords[] = {
        "annotation",   "atnauthor", "atnid",     "author",
        "bkmkend",      "bkmkstart", "buptim",    "colorschememapping",
        "comment",      "creatim",   "datafield", "datastore",
        "docvar",       "doccomm",   "falt",      "fldinst",
        "filetbl",      "footer",    "footerf",   "footerl",
        "footerr",      "footnote",  "ftncn",     "ftnsep",
        "ftnsepc",      "generator", "header",    "headerf",
        "headerl",      "headerr",   "info",      "keywords",
        "latentstyles", "listtext",  "macpict",   "nonshppict",
        "objclass",     "objdata",   "objname",   "operator",
        "panose",       "pict",      "pntext",    "pntxta",
        "pntxtb",       "printim",   "private",   "revtbl",
        "revtim",       "rsidtbl",   "rxe",       "shp",
        "stylesheet",   "subject",   "tc",        "template",
        "themedata",    "title",     "txe",       "userprops",
        "xe",           "xmlnstbl"};
    return std::find(std::begin(kWords), std::end(kWords), w) != std::end(kWords);
}

// Word's list number formats (\levelnfc).
ListKind KindOfNumberFormat(int nfc) {
    switch (nfc) {
    case 1:
        return ListKind::UpperRoman;
    case 2:
        return ListKind::LowerRoman;
    case 3:
        return ListKind::UpperAlpha;
    case 4:
        return ListKind::LowerAlpha;
    case 23:
        return ListKind::Bullet;
    case 255:
        return ListKind::None;
    default:
        return ListKind::Decimal;
    }
}

int Clamp(int value, int low, int high) {
    return std::min(std::max(value, low), high);
}

// Text the document cannot hold as it is: control characters go, a
// paragraph separator would split the block and becomes a line break.
void Sanitize(QString& text) {
    qsizetype out = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text[i];
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t') || u == 0x7F || u == QChar::ObjectReplacementCharacter ||
            u == QChar::ByteOrderMark)
            continue;
        if (u == QChar::ParagraphSeparator)
            c = QChar::LineSeparator;
        text[out++] = c;
    }
    text.truncate(out);
}

// Characters as they arrive: code-page bytes (decoded together, so that
// double-byte pairs meet) and Unicode characters, with surrogate halves
// paired across the control words that may stand between them.
class TextSink {
public:
    void Byte(unsigned char b, int codePage) {
        if (!bytes_.isEmpty() && codePage != codePage_)
            DecodeBytes();
        codePage_ = codePage;
        bytes_.append(static_cast<char>(b));
    }

    void Char(char32_t c) {
        DecodeBytes();
        if (c >= 0xD800 && c <= 0xDBFF) {
            EndSurrogate();
            high_ = static_cast<char16_t>(c);
            return;
        }
        if (c >= 0xDC00 && c <= 0xDFFF) {
            if (high_) {
                text_.append(QChar(high_));
                text_.append(QChar(static_cast<char16_t>(c)));
                high_ = 0;
            } else {
                text_.append(QChar::ReplacementCharacter);
            }
            return;
        }
        EndSurrogate();
        const char32_t ucs4[1] = {c};
        text_.append(QString::fromUcs4(ucs4, 1));
    }

    // A lone high surrogate left at a group's end.
    void EndSurrogate() {
        if (high_) {
            text_.append(QChar::ReplacementCharacter);
            high_ = 0;
        }
    }

    [[nodiscard]] qsizetype Size() const { return text_.size() + bytes_.size(); }

    QString Take() {
        DecodeBytes();
        return std::exchange(text_, QString());
    }

private:
    void DecodeBytes() {
        if (bytes_.isEmpty())
            return;
        EndSurrogate();
        text_.append(detail::Decode(codePage_, bytes_));
        bytes_.clear();
    }

    QString text_;
    QByteArray bytes_;
    int codePage_ = detail::kDefaultCodePage;
    char16_t high_ = 0;
};

class Reader {
public:
    Reader(std::string_view data, QTextDocument& document, const TRtfLimits& limits)
        : limits_(limits), lexer_(data, limits), document_(document), cursor_(&document) {
        stack_.emplace_back();
    }

    void Run();

private:
    Group& Top() { return stack_.back(); }
    [[nodiscard]] const Group& Top() const { return stack_.back(); }
    void OpenGroup();
    // False once the document's own group has closed.
    bool CloseGroup();
    void OnWord(const Token& t);
    void OnSymbol(char symbol);
    void OnText(std::string_view text);
    void OnByte(unsigned char b);
    void OnChar(char32_t c);

    bool DestinationWord(std::string_view w);
    void TextWord(std::string_view w, bool hasParam, int param);
    void FontWord(std::string_view w, int param);
    void ColorWord(std::string_view w, int param);
    void ListWord(std::string_view w, int param);
    void OverrideWord(std::string_view w, int param);
    void PnWord(std::string_view w, int param);

    void FinishFont();
    void FinishColor();
    [[nodiscard]] int CodePage() const;
    [[nodiscard]] QTextCharFormat CharFormat(const CharState& c) const;
    [[nodiscard]] ListKind ListKindOf(const ParaState& p) const;

    // Building the document.
    void Flush();
    void StartContent(const QTextCharFormat& format);
    void EndParagraph();
    void ApplyParagraph(const ParaState& p);

    const TRtfLimits& limits_;
    Lexer lexer_;
    QTextDocument& document_;
    QTextCursor cursor_;
    bool started_ = false;      // the document's first block holds content
    bool blockPending_ = false; // a paragraph ended; the next content opens a block
    std::map<std::tuple<int, ListKind, int>, QTextList*> openLists_;

    std::vector<Group> stack_;
    int overflow_ = 0; // depth inside groups past the limit
    int skip_ = 0;     // fallback characters left to skip after \uN
    TextSink body_;

    int defaultFont_ = 0;
    int codePage_ = detail::kDefaultCodePage;
    std::map<int, Font> fonts_;
    int fontEntry_ = -1;
    std::optional<int> fontEntryCodePage_;
    TextSink fontName_;
    std::vector<std::optional<QColor>> colors_;
    int red_ = -1, green_ = -1, blue_ = -1;
    // The list tables, with look-ups by id and by override number (the
    // first entry of a number wins; an entry renumbered later no longer
    // answers for it).
    std::vector<List> lists_;
    std::vector<ListOverride> overrides_;
    std::map<int, std::size_t> listById_;
    std::map<int, std::size_t> overrideByLs_;
};

void Reader::Run() {
    for (Token t = lexer_.Next(); t.kind != Tok::End; t = lexer_.Next()) {
        if (overflow_ > 0) {
            if (t.kind == Tok::Open)
                ++overflow_;
            else if (t.kind == Tok::Close)
                --overflow_;
            else if (t.kind == Tok::Word && t.word == "bin" && t.param > 0)
                lexer_.SkipBytes(static_cast<std::size_t>(t.param));
            continue;
        }
        switch (t.kind) {
        case Tok::Open:
            OpenGroup();
            break;
        case Tok::Close:
            if (!CloseGroup())
                goto done;
            break;
        case Tok::Word:
            OnWord(t);
            break;
        case Tok::Symbol:
            OnSymbol(t.symbol);
            break;
        case Tok::Hex:
            OnByte(t.byte);
            break;
        case Tok::Text:
            OnText(t.word);
            break;
        case Tok::End:
            break;
        }
    }
done:
    // Groups left open end here.
    body_.EndSurrogate();
    Flush();
    if (!blockPending_ && started_)
        ApplyParagraph(Top().para);
}

void Reader::OpenGroup() {
    if (static_cast<int>(stack_.size()) > limits_.MaxDepth) {
        overflow_ = 1;
        return;
    }
    Flush();
    skip_ = 0;
    stack_.push_back(stack_.back());
    Top().star = false;
}

bool Reader::CloseGroup() {
    body_.EndSurrogate();
    Flush();
    skip_ = 0;
    if (stack_.size() <= 2) {
        stack_.resize(std::min<std::size_t>(stack_.size(), 2));
        return false;
    }
    const Group closed = stack_.back();
    stack_.pop_back();
    if (closed.dest == Dest::FontTable && Top().dest != Dest::FontTable) {
        FinishFont();
    } else if (closed.dest == Dest::Pn && Top().dest != Dest::Pn) {
        ListKind kind = ListKind::None;
        if (closed.pnBullet)
            kind = ListKind::Bullet;
        else if (closed.pnNumbered && !closed.pnContinue)
            kind = closed.pnStyle;
        Top().para.pn = kind;
    }
    return true;
}

void Reader::OnWord(const Token& t) {
    const std::string_view w = t.word;
    if (w == "bin" && t.hasParam && t.param > 0)
        lexer_.SkipBytes(static_cast<std::size_t>(t.param));
    if (skip_ > 0) {
        --skip_;
        return;
    }
    Group& g = Top();
    if (g.dest == Dest::Skip)
        return;
    if (g.star) {
        g.star = false;
        if (w != "pn" && w != "listtable" && w != "listoverridetable" && w != "fonttbl" &&
            w != "colortbl") {
            g.dest = Dest::Skip;
            return;
        }
    }
    // Words every kept destination shares.
    if (w == "uc") {
        g.uc = Clamp(t.param, 0, 255);
        return;
    }
    if (w == "u") {
        Flush();
        if (t.param < -32768 || t.param > 0x10FFFF) {
            skip_ = g.uc;
            return;
        }
        OnChar(static_cast<char32_t>(t.param < 0 ? t.param + 65536 : t.param));
        skip_ = g.uc;
        return;
    }
    if (DestinationWord(w))
        return;

    const int param = t.hasParam ? t.param : 0;
    switch (g.dest) {
    case Dest::Text:
        Flush();
        TextWord(w, t.hasParam, param);
        break;
    case Dest::FontTable:
        FontWord(w, param);
        break;
    case Dest::ColorTable:
        ColorWord(w, param);
        break;
    case Dest::ListTable:
        ListWord(w, param);
        break;
    case Dest::ListOverrides:
        OverrideWord(w, param);
        break;
    case Dest::Pn:
        PnWord(w, param);
        break;
    case Dest::Skip:
        break;
    }
}

bool Reader::DestinationWord(std::string_view w) {
    Group& g = Top();
    Dest dest;
    if (w == "fonttbl")
        dest = Dest::FontTable;
    else if (w == "colortbl")
        dest = Dest::ColorTable;
    else if (w == "listtable")
        dest = Dest::ListTable;
    else if (w == "listoverridetable")
        dest = Dest::ListOverrides;
    else if (w == "pn")
        dest = Dest::Pn;
    else if (IsSkippedDestination(w))
        dest = Dest::Skip;
    else
        return false;
    Flush();
    if (dest == Dest::Pn) {
        g.pnBullet = g.pnNumbered = g.pnContinue = false;
        g.pnStyle = ListKind::Decimal;
    }
    g.dest = dest;
    return true;
}

void Reader::OnSymbol(char symbol) {
    if (skip_ > 0) {
        --skip_;
        return;
    }
    Group& g = Top();
    if (symbol == '*') {
        g.star = true;
        return;
    }
    if (g.dest == Dest::Skip)
        return;
    switch (symbol) {
    case '\\':
    case '{':
    case '}':
        OnByte(static_cast<unsigned char>(symbol));
        break;
    case '~':
        OnChar(0x00A0);
        break;
    case '-':
        OnChar(0x00AD);
        break;
    case '_':
        OnChar(0x2011);
        break;
    default:
        break;
    }
}

void Reader::OnText(std::string_view text) {
    const std::size_t skipped = std::min<std::size_t>(static_cast<std::size_t>(skip_), text.size());
    skip_ -= static_cast<int>(skipped);
    text.remove_prefix(skipped);
    for (const char c : text)
        OnByte(static_cast<unsigned char>(c));
}

void Reader::OnByte(unsigned char b) {
    if (skip_ > 0) {
        --skip_;
        return;
    }
    switch (Top().dest) {
    case Dest::Text:
        body_.Byte(b, CodePage());
        break;
    case Dest::FontTable:
        if (b == ';')
            FinishFont();
        else if (fontEntry_ >= 0 &&
                 static_cast<std::size_t>(fontName_.Size()) < limits_.MaxNameLength)
            fontName_.Byte(b, fontEntryCodePage_.value_or(codePage_));
        break;
    case Dest::ColorTable:
        if (b == ';')
            FinishColor();
        break;
    default:
        break;
    }
}

void Reader::OnChar(char32_t c) {
    switch (Top().dest) {
    case Dest::Text:
        body_.Char(c);
        break;
    case Dest::FontTable:
        if (fontEntry_ >= 0 && static_cast<std::size_t>(fontName_.Size()) < limits_.MaxNameLength)
            fontName_.Char(c);
        break;
    default:
        break;
    }
}

void Reader::TextWord(std::string_view w, bool hasParam, int param) {
    CharState& c = Top().ch;
    ParaState& p = Top().para;
    const bool on = !hasParam || param != 0;
    // Characters.
    if (w == "par" || w == "sect" || w == "row" || w == "nestrow")
        EndParagraph();
    else if (w == "line")
        OnChar(QChar::LineSeparator);
    else if (w == "tab" || w == "cell" || w == "nestcell")
        OnChar('\t');
    else if (w == "emdash")
        OnChar(0x2014);
    else if (w == "endash")
        OnChar(0x2013);
    else if (w == "emspace")
        OnChar(0x2003);
    else if (w == "enspace")
        OnChar(0x2002);
    else if (w == "qmspace")
        OnChar(0x2005);
    else if (w == "bullet")
        OnChar(0x2022);
    else if (w == "lquote")
        OnChar(0x2018);
    else if (w == "rquote")
        OnChar(0x2019);
    else if (w == "ldblquote")
        OnChar(0x201C);
    else if (w == "rdblquote")
        OnChar(0x201D);
    else if (w == "zwj")
        OnChar(0x200D);
    else if (w == "zwnj")
        OnChar(0x200C);
    // Character formatting.
    else if (w == "plain")
        c = CharState();
    else if (w == "b")
        c.bold = on;
    else if (w == "i")
        c.italic = on;
    else if (w == "ulnone")
        c.underline = false;
    else if (w.substr(0, 2) == "ul" && w != "ulc")
        c.underline = on;
    else if (w == "f")
        c.font = param;
    else if (w == "fs")
        c.halfPoints = param > 0 ? Clamp(param, 2, 3276) : 24;
    else if (w == "cf")
        c.foreground = param;
    else if (w == "cb" || w == "highlight" || w == "chcbpat")
        c.background = param;
    // Paragraph formatting.
    else if (w == "pard")
        p = ParaState();
    else if (w == "ql")
        p.align = Qt::AlignLeft;
    else if (w == "qr")
        p.align = Qt::AlignRight;
    else if (w == "qc")
        p.align = Qt::AlignHCenter;
    else if (w == "qj" || w == "qd")
        p.align = Qt::AlignJustify;
    else if (w == "li")
        p.left = Clamp(param, -kMaxTwips, kMaxTwips);
    else if (w == "ri")
        p.right = Clamp(param, -kMaxTwips, kMaxTwips);
    else if (w == "fi")
        p.first = Clamp(param, -kMaxTwips, kMaxTwips);
    else if (w == "sb")
        p.before = Clamp(param, 0, kMaxTwips);
    else if (w == "sa")
        p.after = Clamp(param, 0, kMaxTwips);
    else if (w == "ls")
        p.ls = param;
    else if (w == "ilvl")
        p.level = Clamp(param, 0, 8);
    // The document.
    else if (w == "deff")
        defaultFont_ = param;
    else if (w == "ansicpg" && param > 0)
        codePage_ = param;
    else if (w == "ansi")
        codePage_ = 1252;
    else if (w == "mac")
        codePage_ = 10000;
    else if (w == "pc")
        codePage_ = 437;
    else if (w == "pca")
        codePage_ = 850;
}

void Reader::FontWord(std::string_view w, int param) {
    if (w == "f") {
        FinishFont();
        fontEntry_ = param;
        fontEntryCodePage_.reset();
    } else if (w == "fcharset" && fontEntry_ >= 0) {
        if (!fontEntryCodePage_)
            fontEntryCodePage_ = detail::CodePageOfCharset(param);
    } else if (w == "cpg" && fontEntry_ >= 0 && param > 0) {
        fontEntryCodePage_ = param;
    }
}

void Reader::FinishFont() {
    if (fontEntry_ < 0)
        return;
    if (fonts_.size() < limits_.MaxTableEntries || fonts_.count(fontEntry_))
        fonts_[fontEntry_] = Font{fontName_.Take().trimmed(), fontEntryCodePage_};
    fontName_.Take();
    fontEntry_ = -1;
    fontEntryCodePage_.reset();
}

void Reader::ColorWord(std::string_view w, int param) {
    if (w == "red")
        red_ = Clamp(param, 0, 255);
    else if (w == "green")
        green_ = Clamp(param, 0, 255);
    else if (w == "blue")
        blue_ = Clamp(param, 0, 255);
}

void Reader::FinishColor() {
    if (colors_.size() < limits_.MaxTableEntries) {
        if (red_ < 0 && green_ < 0 && blue_ < 0)
            colors_.emplace_back();
        else
            colors_.emplace_back(
                QColor(std::max(red_, 0), std::max(green_, 0), std::max(blue_, 0)));
    }
    red_ = green_ = blue_ = -1;
}

void Reader::ListWord(std::string_view w, int param) {
    if (w == "list") {
        if (lists_.size() < limits_.MaxTableEntries)
            lists_.emplace_back();
    } else if (lists_.empty()) {
        return;
    } else if (w == "listlevel") {
        if (lists_.back().levels.size() < 9)
            lists_.back().levels.push_back(ListKind::Decimal);
    } else if ((w == "levelnfc" || w == "levelnfcn") && !lists_.back().levels.empty()) {
        lists_.back().levels.back() = KindOfNumberFormat(param);
    } else if (w == "listid") {
        lists_.back().id = param;
        listById_.emplace(param, lists_.size() - 1);
    }
}

void Reader::OverrideWord(std::string_view w, int param) {
    if (w == "listoverride") {
        if (overrides_.size() < limits_.MaxTableEntries)
            overrides_.emplace_back();
    } else if (overrides_.empty()) {
        return;
    } else if (w == "listid") {
        overrides_.back().listId = param;
    } else if (w == "ls") {
        overrides_.back().ls = param;
        overrideByLs_.emplace(param, overrides_.size() - 1);
    }
}

void Reader::PnWord(std::string_view w, int param) {
    Group& g = Top();
    if (w == "pnlvlblt")
        g.pnBullet = true;
    else if (w == "pnlvlbody" || (w == "pnlvl" && param > 0))
        g.pnNumbered = true;
    else if (w == "pnlvlcont")
        g.pnContinue = true;
    else if (w == "pndec")
        g.pnStyle = ListKind::Decimal;
    else if (w == "pnucrm")
        g.pnStyle = ListKind::UpperRoman;
    else if (w == "pnlcrm")
        g.pnStyle = ListKind::LowerRoman;
    else if (w == "pnucltr")
        g.pnStyle = ListKind::UpperAlpha;
    else if (w == "pnlcltr")
        g.pnStyle = ListKind::LowerAlpha;
}

int Reader::CodePage() const {
    const int index = Top().ch.font >= 0 ? Top().ch.font : defaultFont_;
    const auto it = fonts_.find(index);
    if (it != fonts_.end() && it->second.codePage)
        return *it->second.codePage;
    return codePage_;
}

QTextCharFormat Reader::CharFormat(const CharState& c) const {
    QTextCharFormat format;
    auto font = fonts_.find(c.font >= 0 ? c.font : defaultFont_);
    if (font == fonts_.end())
        font = fonts_.find(defaultFont_);
    if (font != fonts_.end() && !font->second.name.isEmpty())
        format.setFontFamilies(QStringList{font->second.name});
    format.setFontPointSize(c.halfPoints / 2.0);
    if (c.bold)
        format.setFontWeight(QFont::Bold);
    if (c.italic)
        format.setFontItalic(true);
    if (c.underline)
        format.setFontUnderline(true);
    const auto color = [this](int index) -> std::optional<QColor> {
        if (index <= 0 || static_cast<std::size_t>(index) >= colors_.size())
            return std::nullopt;
        return colors_[static_cast<std::size_t>(index)];
    };
    if (const auto fg = color(c.foreground))
        format.setForeground(*fg);
    if (const auto bg = color(c.background))
        format.setBackground(*bg);
    return format;
}

ListKind Reader::ListKindOf(const ParaState& p) const {
    if (p.ls <= 0)
        return p.pn;
    const auto o = overrideByLs_.find(p.ls);
    if (o != overrideByLs_.end() && overrides_[o->second].ls == p.ls) {
        const int id = overrides_[o->second].listId;
        const auto l = listById_.find(id);
        if (l != listById_.end() && lists_[l->second].id == id) {
            const std::vector<ListKind>& levels = lists_[l->second].levels;
            if (!levels.empty())
                return levels[std::min(static_cast<std::size_t>(p.level), levels.size() - 1)];
        }
    }
    // A list we have no table for still shows as one.
    return p.pn != ListKind::None ? p.pn : ListKind::Bullet;
}

void Reader::Flush() {
    if (body_.Size() == 0)
        return;
    QString text = body_.Take();
    Sanitize(text);
    if (text.isEmpty())
        return;
    const QTextCharFormat format = CharFormat(Top().ch);
    StartContent(format);
    cursor_.insertText(text, format);
}

void Reader::StartContent(const QTextCharFormat& format) {
    if (!started_) {
        cursor_.setBlockCharFormat(format);
        started_ = true;
    } else if (blockPending_) {
        cursor_.insertBlock(QTextBlockFormat(), format);
        blockPending_ = false;
    }
}

void Reader::EndParagraph() {
    Flush();
    StartContent(CharFormat(Top().ch));
    ApplyParagraph(Top().para);
    blockPending_ = true;
}

void Reader::ApplyParagraph(const ParaState& p) {
    const ListKind kind = ListKindOf(p);
    QTextBlockFormat format;
    if (p.align != Qt::AlignLeft)
        format.setAlignment(p.align);
    // A list item's left edge is its text's; the list's own indent takes
    // part of it and the marker hangs in front.
    const int indent = kind == ListKind::None ? 0 : p.level + 1;
    const qreal left = TwipsToPixels(p.left) - indent * document_.indentWidth();
    if (left != 0)
        format.setLeftMargin(left);
    if (p.right != 0)
        format.setRightMargin(TwipsToPixels(p.right));
    if (p.first != 0 && kind == ListKind::None)
        format.setTextIndent(TwipsToPixels(p.first));
    if (p.before != 0)
        format.setTopMargin(TwipsToPixels(p.before));
    if (p.after != 0)
        format.setBottomMargin(TwipsToPixels(p.after));
    cursor_.setBlockFormat(format);

    // Old-style lists end with the first paragraph outside them; Word's
    // lists go on where their number appears again.
    if (kind == ListKind::None) {
        std::erase_if(openLists_, [](const auto& entry) { return std::get<0>(entry.first) == 0; });
        return;
    }
    const auto key = std::make_tuple(p.ls, kind, indent);
    if (const auto it = openLists_.find(key); it != openLists_.end()) {
        it->second->add(cursor_.block());
        return;
    }
    QTextListFormat listFormat;
    listFormat.setStyle(ToListStyle(kind));
    listFormat.setIndent(indent);
    openLists_[key] = cursor_.createList(listFormat);
}

void ReadPlainText(std::string_view data, QTextDocument& document) {
    const QByteArrayView bytes(data.data(), static_cast<qsizetype>(data.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = detail::Decode(detail::kDefaultCodePage, bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    document.setPlainText(text);
}

} // namespace

bool IsRtf(std::string_view data) {
    return data.substr(0, 5) == "{\\rtf";
}

void ReadRtf(std::string_view data, QTextDocument& document, const TRtfLimits& limits) {
    const bool undo = document.isUndoRedoEnabled();
    document.setUndoRedoEnabled(false);
    if (!IsRtf(data)) {
        ReadPlainText(data, document);
    } else {
        document.clear();
        Reader reader(data, document, limits);
        QTextCursor edit(&document);
        edit.beginEditBlock();
        reader.Run();
        edit.endEditBlock();
    }
    document.setUndoRedoEnabled(undo);
}

} // namespace rtf
