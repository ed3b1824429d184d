#include "platform/rtf/rtflexer_p.h"

#include <cstdint>
#include <limits>

namespace rtf::detail {

namespace {

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

Token Make(Tok kind) {
    Token token;
    token.kind = kind;
    return token;
}

} // namespace

Token Lexer::Next() {
    while (pos_ < data_.size()) {
        const char c = data_[pos_];
        switch (c) {
        case '{':
            ++pos_;
            return Make(Tok::Open);
        case '}':
            ++pos_;
            return Make(Tok::Close);
        case '\\':
            ++pos_;
            if (pos_ >= data_.size())
                return Make(Tok::End);
            return IsLetter(data_[pos_]) ? ControlWord() : ControlSymbol();
        case '\r':
        case '\n':
            ++pos_;
            continue;
        default: {
            const std::size_t start = pos_;
            while (pos_ < data_.size() && data_[pos_] != '{' && data_[pos_] != '}' &&
                   data_[pos_] != '\\' && data_[pos_] != '\r' && data_[pos_] != '\n')
                ++pos_;
            Token token = Make(Tok::Text);
            token.word = data_.substr(start, pos_ - start);
            return token;
        }
        }
    }
    return Make(Tok::End);
}

Token Lexer::ControlWord() {
    Token token = Make(Tok::Word);
    const std::size_t start = pos_;
    while (pos_ < data_.size() && IsLetter(data_[pos_]))
        ++pos_;
    if (pos_ - start <= static_cast<std::size_t>(limits_.MaxWordLetters))
        token.word = data_.substr(start, pos_ - start);

    bool negative = false;
    if (pos_ + 1 < data_.size() && data_[pos_] == '-' && IsDigit(data_[pos_ + 1])) {
        negative = true;
        ++pos_;
    }
    if (pos_ < data_.size() && IsDigit(data_[pos_])) {
        token.hasParam = true;
        std::int64_t value = 0;
        int digits = 0;
        for (; pos_ < data_.size() && IsDigit(data_[pos_]); ++pos_)
            if (digits++ < limits_.MaxParamDigits && value <= std::numeric_limits<int>::max())
                value = value * 10 + (data_[pos_] - '0');
        if (negative)
            value = -value;
        if (value > std::numeric_limits<int>::max())
            value = std::numeric_limits<int>::max();
        if (value < std::numeric_limits<int>::min())
            value = std::numeric_limits<int>::min();
        token.param = static_cast<int>(value);
    }
    // One space ends the word and belongs to it.
    if (pos_ < data_.size() && data_[pos_] == ' ')
        ++pos_;
    return token;
}

Token Lexer::ControlSymbol() {
    const char c = data_[pos_++];
    if (c == '\r' || c == '\n') {
        // A backslash before a line break is a paragraph mark.
        Token token = Make(Tok::Word);
        token.word = "par";
        return token;
    }
    if (c == '\'') {
        int value = 0, digits = 0;
        while (digits < 2 && pos_ < data_.size() && HexValue(data_[pos_]) >= 0) {
            value = value * 16 + HexValue(data_[pos_++]);
            ++digits;
        }
        if (digits == 0) {
            // Not a byte after all; an unknown symbol the reader ignores.
            Token token = Make(Tok::Symbol);
            token.symbol = c;
            return token;
        }
        Token token = Make(Tok::Hex);
        token.byte = static_cast<unsigned char>(value);
        return token;
    }
    Token token = Make(Tok::Symbol);
    token.symbol = c;
    return token;
}

void Lexer::SkipBytes(std::size_t count) {
    pos_ += count < data_.size() - pos_ ? count : data_.size() - pos_;
}

} // namespace rtf::detail
