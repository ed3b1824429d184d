#pragma once
// Splits RTF into tokens: group braces, control words with their optional
// numeric parameter, control symbols, \'hh bytes and runs of plain text.
// Line breaks in the source are not text and are dropped.
#include <cstddef>
#include <string_view>

#include "platform/rtf/rtfreader.h"

namespace rtf::detail {

enum class Tok { End, Open, Close, Word, Symbol, Hex, Text };

struct Token {
    Tok kind = Tok::End;
    std::string_view word; // Word: the letters (empty when too long); Text: the run
    bool hasParam = false;
    int param = 0;
    char symbol = 0;        // Symbol
    unsigned char byte = 0; // Hex
};

class Lexer {
public:
    Lexer(std::string_view data, const TRtfLimits& limits) : data_(data), limits_(limits) {}

    Token Next();
    // Passes over the data of \binN (as much of it as there is).
    void SkipBytes(std::size_t count);

private:
    Token ControlWord();
    Token ControlSymbol();

    std::string_view data_;
    const TRtfLimits& limits_;
    std::size_t pos_ = 0;
};

} // namespace rtf::detail
