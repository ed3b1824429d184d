#pragma once
// A document's paragraphs and runs with the properties RTF carries, for
// comparing documents and for naming what differs.
#include <QString>
#include <QTextCharFormat>
#include <string>
#include <vector>

class QTextDocument;

namespace rtf::test {

struct Run {
    QString text;
    QTextCharFormat format;
};

struct Paragraph {
    QString text;
    Qt::Alignment align = Qt::AlignLeft;
    qreal left = 0, right = 0, first = 0, before = 0, after = 0;
    int listStyle = 0; // QTextListFormat::Style, 0 outside lists
    int listIndent = 0;
    int listItem = -1; // the item's number in its list
    const void* list = nullptr;
    std::vector<Run> runs;
};

[[nodiscard]] std::vector<Paragraph> Paragraphs(const QTextDocument& document);
[[nodiscard]] QString Family(const QTextCharFormat& format);
// Paragraph texts joined by "\n".
[[nodiscard]] QString Text(const QTextDocument& document);
// One line a paragraph and one a run, every property spelled out as the
// run shows it.
[[nodiscard]] std::string Dump(const QTextDocument& document);

} // namespace rtf::test
