#pragma once
// Character sets of mail text. The message model keeps text as bytes in
// the set it was written in; where texts of several sets meet (a reply
// made of a template and the message it answers, lines added to a body),
// they meet in UTF-8, and what goes out is labelled with a set that holds
// it.
#include <string>
#include <string_view>

// True when the bytes are well-formed UTF-8 (ASCII included).
[[nodiscard]] bool IsUtf8(std::string_view bytes);
// True when every byte is below 128.
[[nodiscard]] bool IsAscii(std::string_view bytes);

// The bytes, read in the named set, as UTF-8; false when the set is not
// known here or the bytes are no text of it (out is then unchanged).
bool ToUtf8(std::string_view bytes, std::string_view charset, std::string& out);
// UTF-8 text in the named set; false when a character has no place in it.
bool FromUtf8(std::string_view utf8, std::string_view charset, std::string& out);

// Text of a set that may be unknown as UTF-8: read in charset when it names
// one, else kept when it is UTF-8 already, else read as windows-1252 (the
// set mail without a label is most often written in). Never fails.
[[nodiscard]] std::string TextToUtf8(std::string_view bytes, std::string_view charset);

// The set to label 8-bit text with: "utf-8" when the bytes are UTF-8, else
// the set the text was read with when it is a set of its own, else
// "iso-8859-1".
[[nodiscard]] std::string CharsetOfText(std::string_view bytes, std::string_view readWith);

// A header value with its encoded words decoded, each in its own set, into
// UTF-8; text outside the words is read as TextToUtf8 reads it with
// fallback. Not cut.
[[nodiscard]] std::string DecodeHeaderText(std::string_view value, std::string_view fallback);
