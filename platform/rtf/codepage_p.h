#pragma once
// Single- and double-byte code pages as RTF names them: \ansicpg numbers
// and font character sets. Windows-1252 is built in; other code pages come
// from Qt's converters and fall back to 1252 where Qt has none.
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace rtf::detail {

inline constexpr int kDefaultCodePage = 1252;

// The code page a font's \fcharset selects; nullopt for ANSI and default
// (the document's code page applies).
[[nodiscard]] std::optional<int> CodePageOfCharset(int charset);

[[nodiscard]] QString Decode(int codePage, QByteArrayView bytes);

// The Windows-1252 byte for a character, or nullopt when 1252 has none.
[[nodiscard]] std::optional<unsigned char> EncodeCp1252(char16_t c);

} // namespace rtf::detail
