#pragma once
// Splits script text into tokens: names (lower-cased), numbers, strings,
// date literals, operators and statement ends (a line break or ":").
#include "platform/basic/value.h"

#include <string>
#include <vector>

namespace basic::lex {

enum class Tok { Eof, Eol, Ident, Number, String, Date, Op };

struct Token {
    Tok kind = Tok::Eof;
    std::string text; // Ident: lower case; Op: the operator; Eol: "\n" or ":"; String: value
    std::string raw;  // Ident: as written
    Value num;        // Number and Date
    int line = 1;
    bool spaceBefore = false;
};

// Throws EScriptError for a bad character or an unterminated string.
[[nodiscard]] std::vector<Token> Lex(const std::string& source);

} // namespace basic::lex
