#pragma once
// Writes a QTextDocument as RTF (code page 1252, characters beyond it as
// \uN with a 1252 or "?" fallback) holding what the reader reads back:
// paragraphs, fonts, sizes, bold, italic, underline, colours, alignment,
// indents, spacing and lists.
#include <string>

class QTextDocument;

namespace rtf {

[[nodiscard]] std::string WriteRtf(const QTextDocument& document);

} // namespace rtf
