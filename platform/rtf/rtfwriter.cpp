#include "platform/rtf/rtfwriter.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <vector>

#include "platform/rtf/codepage_p.h"
#include "platform/rtf/rtfformat_p.h"

namespace rtf {

using detail::ListKind;
using detail::PixelsToTwips;

namespace {

// What the reader assumes where a document says nothing: \fs24.
constexpr int kDefaultHalfPoints = 24;

QString FamilyOf(const QTextCharFormat& format) {
    const QStringList families = format.property(QTextFormat::FontFamilies).toStringList();
    if (!families.isEmpty() && !families.front().isEmpty())
        return families.front();
    return format.stringProperty(QTextFormat::FontFamily);
}

void AppendNumber(std::string& out, const char* word, int value) {
    out += word;
    out += std::to_string(value);
}

// Whether text written next would run into a control word's letters or
// number, so that a space must end the word first.
bool EndsWithControlWord(const std::string& out) {
    std::size_t i = out.size();
    while (i > 0 && (std::isalnum(static_cast<unsigned char>(out[i - 1])) || out[i - 1] == '-'))
        --i;
    if (i == out.size() || i == 0 || out[i - 1] != '\\' ||
        !std::isalpha(static_cast<unsigned char>(out[i])))
        return false;
    // An odd run of backslashes: the last one starts the word.
    std::size_t slashes = 0;
    while (i > slashes && out[i - 1 - slashes] == '\\')
        ++slashes;
    return slashes % 2 == 1;
}

// Text for RTF: the seven-bit characters as they are, the rest as \uN
// followed by a Windows-1252 fallback for readers without Unicode.
void AppendText(std::string& out, QStringView text) {
    if (!text.isEmpty() && EndsWithControlWord(out))
        out += ' ';
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        switch (c) {
        case '\\':
        case '{':
        case '}':
            out += '\\';
            out += static_cast<char>(c);
            continue;
        case '\t':
            out += "\\tab ";
            continue;
        case QChar::LineSeparator:
            out += "\\line ";
            continue;
        case QChar::Nbsp:
            out += "\\~";
            continue;
        case QChar::SoftHyphen:
            out += "\\-";
            continue;
        case 0x2011:
            out += "\\_";
            continue;
        default:
            break;
        }
        if (c < 0x20 || c == QChar::ObjectReplacementCharacter)
            continue;
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        AppendNumber(out, "\\u", static_cast<int>(static_cast<std::int16_t>(c)));
        if (const auto byte = detail::EncodeCp1252(c)) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\'";
            out += kHex[*byte >> 4];
            out += kHex[*byte & 0xF];
        } else {
            out += '?';
        }
    }
}

// Word's number format of a list level (\levelnfc).
int LevelNumberFormat(ListKind kind) {
    switch (kind) {
    case ListKind::UpperRoman:
        return 1;
    case ListKind::LowerRoman:
        return 2;
    case ListKind::UpperAlpha:
        return 3;
    case ListKind::LowerAlpha:
        return 4;
    case ListKind::Bullet:
        return 23;
    default:
        return 0;
    }
}

const char* NumberingWord(ListKind kind) {
    switch (kind) {
    case ListKind::LowerAlpha:
        return "\\pnlcltr";
    case ListKind::UpperAlpha:
        return "\\pnucltr";
    case ListKind::LowerRoman:
        return "\\pnlcrm";
    case ListKind::UpperRoman:
        return "\\pnucrm";
    default:
        return "\\pndec";
    }
}

class Writer {
public:
    explicit Writer(const QTextDocument& document) : document_(document) {
        const QFont font = document.defaultFont();
        fonts_.push_back(font.family());
        if (font.pointSizeF() > 0)
            defaultHalfPoints_ = qRound(font.pointSizeF() * 2);
        else if (font.pixelSize() > 0)
            defaultHalfPoints_ = qRound(font.pixelSize() * 72.0 / 96.0 * 2);
    }

    std::string Write();

private:
    void Paragraph(const QTextBlock& block);
    void ListMarker(const QTextBlock& block, const QTextList& list);
    // The character properties that differ from the reader's defaults.
    void CharProperties(const QTextCharFormat& format);
    int FontIndex(const QString& family);
    int ColorIndex(const QColor& color);
    // The list's override number, from 1.
    int ListNumber(const QTextList& list);

    const QTextDocument& document_;
    int defaultHalfPoints_ = kDefaultHalfPoints;
    std::vector<QString> fonts_;
    std::vector<QColor> colors_;
    std::vector<std::pair<const QTextList*, ListKind>> lists_;
    std::map<const QTextList*, int> listNumbers_;
    std::string body_;
};

std::string Writer::Write() {
    for (QTextBlock block = document_.begin(); block.isValid(); block = block.next())
        Paragraph(block);

    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
        AppendNumber(out, "{\\f", static_cast<int>(i));
        out += "\\fnil\\fcharset0";
        QString name = fonts_[i];
        name.remove(QLatin1Char(';'));
        AppendText(out, name);
        out += ";}";
    }
    out += "}\n{\\colortbl;";
    for (const QColor& color : colors_) {
        AppendNumber(out, "\\red", color.red());
        AppendNumber(out, "\\green", color.green());
        AppendNumber(out, "\\blue", color.blue());
        out += ';';
    }
    out += "}\n";
    if (!lists_.empty()) {
        // One level a list: the reader takes a list's last level for the
        // deeper ones, and a Qt list has one style at one indent.
        out += "{\\*\\listtable";
        for (std::size_t i = 0; i < lists_.size(); ++i) {
            AppendNumber(out, "{\\list\\listtemplateid", static_cast<int>(i + 1));
            AppendNumber(out, "{\\listlevel\\levelnfc", LevelNumberFormat(lists_[i].second));
            out +=
                lists_[i].second == ListKind::Bullet
                    ? "\\leveljc0\\levelstartat1{\\leveltext\\'01\\u8226 ?;}{\\levelnumbers;}}"
                    : "\\leveljc0\\levelstartat1{\\leveltext\\'02\\'00.;}{\\levelnumbers\\'01;}}";
            AppendNumber(out, "\\listid", static_cast<int>(i + 1));
            out += '}';
        }
        out += "}\n{\\listoverridetable";
        for (std::size_t i = 0; i < lists_.size(); ++i) {
            AppendNumber(out, "{\\listoverride\\listid", static_cast<int>(i + 1));
            AppendNumber(out, "\\listoverridecount0\\ls", static_cast<int>(i + 1));
            out += '}';
        }
        out += "}\n";
    }
    out += body_;
    out += "}\n";
    return out;
}

void Writer::Paragraph(const QTextBlock& block) {
    const QTextBlockFormat format = block.blockFormat();
    const QTextList* list = block.textList();
    body_ += "\\pard";
    switch (format.alignment() & Qt::AlignHorizontal_Mask) {
    case Qt::AlignRight:
        body_ += "\\qr";
        break;
    case Qt::AlignHCenter:
        body_ += "\\qc";
        break;
    case Qt::AlignJustify:
        body_ += "\\qj";
        break;
    default:
        break;
    }
    const int indent = list ? list->format().indent() : format.indent();
    const int left = PixelsToTwips(format.leftMargin() + indent * document_.indentWidth());
    if (left != 0)
        AppendNumber(body_, "\\li", left);
    if (const int right = PixelsToTwips(format.rightMargin()))
        AppendNumber(body_, "\\ri", right);
    // A list item hangs its marker in front of the text.
    const int first = list ? -std::clamp(left, 0, 360) : PixelsToTwips(format.textIndent());
    if (first != 0)
        AppendNumber(body_, "\\fi", first);
    if (const int before = PixelsToTwips(format.topMargin()))
        AppendNumber(body_, "\\sb", before);
    if (const int after = PixelsToTwips(format.bottomMargin()))
        AppendNumber(body_, "\\sa", after);
    if (list)
        ListMarker(block, *list);

    bool empty = true;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid() || fragment.length() == 0)
            continue;
        empty = false;
        body_ += '{';
        CharProperties(fragment.charFormat());
        AppendText(body_, fragment.text());
        body_ += '}';
    }
    if (empty) {
        // The paragraph mark alone carries the empty line's font.
        body_ += '{';
        CharProperties(block.charFormat());
        body_ += "\\par}\n";
    } else {
        body_ += "\\par\n";
    }
}

void Writer::ListMarker(const QTextBlock& block, const QTextList& list) {
    const ListKind kind = detail::FromListStyle(list.format().style());
    // Word's list reference for exact reading, and the older \pn form with
    // the marker's text for the readers before it.
    AppendNumber(body_, "\\ilvl", std::clamp(list.format().indent() - 1, 0, 8));
    AppendNumber(body_, "\\ls", ListNumber(list));
    if (kind == ListKind::Bullet) {
        body_ += "{\\*\\pn\\pnlvlblt\\pnindent0{\\pntxtb\\u8226\\'95}}{\\pntext\\u8226\\'95\\tab}";
        return;
    }
    body_ += "{\\*\\pn\\pnlvlbody";
    body_ += NumberingWord(kind);
    body_ += "\\pnstart1\\pnindent0{\\pntxta.}}{\\pntext";
    AppendText(body_, list.itemText(block));
    body_ += "\\tab}";
}

void Writer::CharProperties(const QTextCharFormat& format) {
    const QString family = FamilyOf(format);
    if (const int font = family.isEmpty() ? 0 : FontIndex(family))
        AppendNumber(body_, "\\f", font);
    const int halfPoints = format.hasProperty(QTextFormat::FontPointSize)
                               ? qRound(format.fontPointSize() * 2)
                               : defaultHalfPoints_;
    if (halfPoints != kDefaultHalfPoints && halfPoints > 0)
        AppendNumber(body_, "\\fs", halfPoints);
    if (format.fontWeight() >= QFont::DemiBold)
        body_ += "\\b";
    if (format.fontItalic())
        body_ += "\\i";
    if (format.fontUnderline())
        body_ += "\\ul";
    const auto brushColor = [&format](QTextFormat::Property property) -> QColor {
        if (!format.hasProperty(property))
            return {};
        const QBrush brush = format.brushProperty(property);
        return brush.style() == Qt::NoBrush ? QColor() : brush.color();
    };
    if (const QColor fg = brushColor(QTextFormat::ForegroundBrush); fg.isValid())
        AppendNumber(body_, "\\cf", ColorIndex(fg));
    if (const QColor bg = brushColor(QTextFormat::BackgroundBrush); bg.isValid())
        AppendNumber(body_, "\\highlight", ColorIndex(bg));
}

int Writer::FontIndex(const QString& family) {
    const auto it = std::find(fonts_.begin(), fonts_.end(), family);
    if (it != fonts_.end())
        return static_cast<int>(it - fonts_.begin());
    fonts_.push_back(family);
    return static_cast<int>(fonts_.size() - 1);
}

int Writer::ListNumber(const QTextList& list) {
    const auto [it, added] = listNumbers_.emplace(&list, static_cast<int>(lists_.size() + 1));
    if (added)
        lists_.emplace_back(&list, detail::FromListStyle(list.format().style()));
    return it->second;
}

int Writer::ColorIndex(const QColor& color) {
    const QColor rgb = color.toRgb();
    const auto same = [&rgb](const QColor& c) {
        return c.red() == rgb.red() && c.green() == rgb.green() && c.blue() == rgb.blue();
    };
    const auto it = std::find_if(colors_.begin(), colors_.end(), same);
    if (it != colors_.end())
        return static_cast<int>(it - colors_.begin()) + 1;
    colors_.push_back(rgb);
    return static_cast<int>(colors_.size());
}

} // namespace

std::string WriteRtf(const QTextDocument& document) {
    return Writer(document).Write();
}

} // namespace rtf
