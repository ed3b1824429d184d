#pragma once
// Uuencode line by line. Alphabet: "`" for 0 and the character 32 + v for
// v from 1 to 63; the first character of a line counts its bytes. The line
// coders serve the program's queue before each line.
#include <string>
#include <string_view>

// "begin", a three-digit mode and more: "begin 644 a.zip" is one, "begin
// the letter" is not.
[[nodiscard]] bool IsUUBeginLine(std::string_view line);
// The file name of a begin line: after "begin" and the mode, the text up to
// the first blank, or in double quotes the text between them.
[[nodiscard]] std::string UUFileName(std::string_view line);
// The bytes of one line; a character outside the alphabet (the blank too)
// raises EInOutError "Invalid Character".
[[nodiscard]] std::string DecodeUULine(std::string_view line);
void DecodeUULineTo(std::string_view line, std::string& out);
// One line of at most 45 bytes; a short final group is not padded.
[[nodiscard]] std::string EncodeUULine(std::string_view bytes);
