#pragma once
// Reads RTF into a QTextDocument: paragraphs, fonts, sizes, bold, italic,
// underline, colours, alignment, indents and spacing, bullet and numbered
// lists, \uN and \'hh characters. Destinations it does not show (pictures,
// style sheets, document information, fields' instructions, anything under
// \*) are skipped, unknown control words ignored. Malformed input still
// gives a document: groups left open are closed at the end, text after the
// outermost group is ignored, and the limits below bound the work.
#include <cstddef>
#include <string_view>

class QTextDocument;

namespace rtf {

struct TRtfLimits {
    // Groups nested deeper than this are skipped with their content.
    int MaxDepth = 200;
    // Digits of a numeric parameter that count; the value is held to 32 bits.
    int MaxParamDigits = 10;
    // Letters of a control word; a longer word is an unknown one.
    int MaxWordLetters = 32;
    // Entries of the font, colour and list tables.
    std::size_t MaxTableEntries = 4096;
    // Characters of a font name.
    std::size_t MaxNameLength = 256;
};

// True when the text is RTF ("{\rtf" at its start); anything else is read as
// plain text, UTF-8 when it is valid UTF-8, else Windows-1252.
[[nodiscard]] bool IsRtf(std::string_view data);

// Replaces the document's content. Never throws for bad input.
void ReadRtf(std::string_view data, QTextDocument& document, const TRtfLimits& limits = {});

} // namespace rtf
