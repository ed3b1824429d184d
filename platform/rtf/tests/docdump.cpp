#include "platform/rtf/tests/docdump.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <map>

namespace rtf::test {

QString Family(const QTextCharFormat& format) {
    const QStringList families = format.property(QTextFormat::FontFamilies).toStringList();
    return families.isEmpty() ? format.stringProperty(QTextFormat::FontFamily) : families.front();
}

std::vector<Paragraph> Paragraphs(const QTextDocument& document) {
    std::vector<Paragraph> out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat f = block.blockFormat();
        Paragraph p;
        p.text = block.text();
        p.align = f.alignment() & Qt::AlignHorizontal_Mask;
        if (p.align == Qt::Alignment())
            p.align = Qt::AlignLeft;
        p.left = f.leftMargin();
        p.right = f.rightMargin();
        p.first = f.textIndent();
        p.before = f.topMargin();
        p.after = f.bottomMargin();
        if (const QTextList* list = block.textList()) {
            p.listStyle = list->format().style();
            p.listIndent = list->format().indent();
            p.listItem = list->itemNumber(block);
            p.list = list;
        }
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().isValid())
                p.runs.push_back({it.fragment().text(), it.fragment().charFormat()});
        out.push_back(std::move(p));
    }
    return out;
}

QString Text(const QTextDocument& document) {
    QStringList lines;
    for (const Paragraph& p : Paragraphs(document))
        lines << p.text;
    return lines.join(QLatin1Char('\n'));
}

std::string Dump(const QTextDocument& document) {
    std::string out;
    std::map<const void*, int> lists;
    const auto number = [](qreal v) { return QString::number(v, 'f', 2).toStdString(); };
    for (const Paragraph& p : Paragraphs(document)) {
        out += "P align=" + std::to_string(int(p.align)) + " li=" + number(p.left) +
               " ri=" + number(p.right) + " fi=" + number(p.first) + " sb=" + number(p.before) +
               " sa=" + number(p.after);
        if (p.list) {
            const int id = lists.emplace(p.list, int(lists.size())).first->second;
            out += " list=" + std::to_string(id) + " style=" + std::to_string(p.listStyle) +
                   " indent=" + std::to_string(p.listIndent) +
                   " item=" + std::to_string(p.listItem);
        }
        out += '\n';
        for (const Run& r : p.runs) {
            // What the run shows: without a font of its own, the document's.
            const QTextCharFormat& f = r.format;
            const QString family =
                Family(f).isEmpty() ? document.defaultFont().family() : Family(f);
            const qreal size = f.hasProperty(QTextFormat::FontPointSize)
                                   ? f.fontPointSize()
                                   : document.defaultFont().pointSizeF();
            out += "  '" + r.text.toStdString() + "' font=" + family.toStdString() +
                   " size=" + number(size) + (f.fontWeight() >= QFont::DemiBold ? " b" : "") +
                   (f.fontItalic() ? " i" : "") + (f.fontUnderline() ? " u" : "");
            if (f.hasProperty(QTextFormat::ForegroundBrush))
                out += " fg=" + f.foreground().color().name().toStdString();
            if (f.hasProperty(QTextFormat::BackgroundBrush))
                out += " bg=" + f.background().color().name().toStdString();
            out += '\n';
        }
    }
    return out;
}

} // namespace rtf::test
