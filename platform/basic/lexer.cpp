#include "platform/basic/lexer_p.h"

#include "platform/basic/error.h"

#include <cctype>

namespace basic::lex {

namespace {

bool IsIdentStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool IsIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}
bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

class Lexer {
public:
    explicit Lexer(const std::string& src) : s_(src) {}

    std::vector<Token> Run() {
        while (i_ < s_.size()) {
            char c = s_[i_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++i_;
                space_ = true;
                continue;
            }
            if (c == '\n') {
                Push(Tok::Eol, "\n");
                ++i_;
                ++line_;
                continue;
            }
            if (c == '\'') {
                SkipComment();
                continue;
            }
            if (c == '_' && Continuation()) // " _" at the end of a line joins the next
                continue;
            if (c == ':') {
                Push(Tok::Eol, ":");
                ++i_;
                continue;
            }
            if (c == '"') {
                String();
                continue;
            }
            if (IsDigit(c) ||
                (c == '.' && i_ + 1 < s_.size() && IsDigit(s_[i_ + 1]) && !MemberDotContext())) {
                Number();
                continue;
            }
            if (c == '&' && i_ + 1 < s_.size() &&
                (s_[i_ + 1] == 'h' || s_[i_ + 1] == 'H' || s_[i_ + 1] == 'o' ||
                 s_[i_ + 1] == 'O')) {
                Radix();
                continue;
            }
            if (c == '#') {
                DateLiteral();
                continue;
            }
            if (IsIdentStart(c) || c == '[') {
                Ident();
                continue;
            }
            Operator();
        }
        Push(Tok::Eol, "\n");
        Push(Tok::Eof, "");
        return std::move(out_);
    }

private:
    [[noreturn]] void Fail(int number, const std::string& text) {
        throw EScriptError(line_, number, text);
    }

    void Push(Tok kind, std::string text) {
        Token t;
        t.kind = kind;
        t.text = std::move(text);
        t.line = line_;
        t.spaceBefore = space_;
        out_.push_back(std::move(t));
        space_ = false;
    }

    bool MemberDotContext() const {
        if (out_.empty() || space_)
            return false;
        const Token& p = out_.back();
        return p.kind == Tok::Ident || (p.kind == Tok::Op && p.text == ")");
    }

    void SkipComment() {
        while (i_ < s_.size() && s_[i_] != '\n')
            ++i_;
    }

    bool Continuation() {
        if (i_ > 0 && s_[i_ - 1] != ' ' && s_[i_ - 1] != '\t')
            return false;
        std::size_t j = i_ + 1;
        while (j < s_.size() && (s_[j] == ' ' || s_[j] == '\t' || s_[j] == '\r'))
            ++j;
        if (j < s_.size() && s_[j] != '\n')
            return false;
        i_ = j + 1;
        ++line_;
        space_ = true;
        return true;
    }

    void String() {
        std::string v;
        ++i_;
        for (;;) {
            if (i_ >= s_.size() || s_[i_] == '\n')
                Fail(1033, "Unterminated string constant");
            if (s_[i_] == '"') {
                if (i_ + 1 < s_.size() && s_[i_ + 1] == '"') {
                    v += '"';
                    i_ += 2;
                    continue;
                }
                ++i_;
                break;
            }
            v += s_[i_++];
        }
        Push(Tok::String, std::move(v));
    }

    void Number() {
        std::size_t start = i_;
        while (i_ < s_.size() && (IsDigit(s_[i_]) || s_[i_] == '.'))
            ++i_;
        if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
            std::size_t j = i_ + 1;
            if (j < s_.size() && (s_[j] == '+' || s_[j] == '-'))
                ++j;
            if (j < s_.size() && IsDigit(s_[j])) {
                i_ = j;
                while (i_ < s_.size() && IsDigit(s_[i_]))
                    ++i_;
            }
        }
        std::string text = s_.substr(start, i_ - start);
        double v = 0;
        if (!ParseNumber(text, v))
            Fail(1002, "Syntax error");
        bool integral = text.find_first_of(".eE") == std::string::npos;
        Push(Tok::Number, text);
        out_.back().num = integral && v <= 2147483647.0 ? Value::Long(static_cast<std::int64_t>(v))
                                                        : Value::Dbl(v);
    }

    void Radix() {
        std::size_t start = i_;
        i_ += 2;
        while (i_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[i_])))
            ++i_;
        if (i_ < s_.size() && s_[i_] == '&') // optional type suffix
            ++i_;
        std::string text = s_.substr(start, i_ - start);
        if (text.back() == '&')
            text.pop_back();
        double v = 0;
        if (!ParseNumber(text, v))
            Fail(1002, "Syntax error");
        Push(Tok::Number, text);
        out_.back().num = Value::Long(static_cast<std::int64_t>(v));
    }

    void DateLiteral() {
        std::size_t end = s_.find('#', i_ + 1);
        std::size_t nl = s_.find('\n', i_ + 1);
        if (end == std::string::npos || (nl != std::string::npos && nl < end))
            Fail(1032, "Invalid character");
        std::string text = s_.substr(i_ + 1, end - i_ - 1);
        double v = 0;
        if (!ParseDate(text, v))
            Fail(1002, "Syntax error");
        i_ = end + 1;
        Push(Tok::Date, text);
        try {
            out_.back().num = Value::Date(v); // years before 100 do not exist here
        } catch (const RunError& e) {
            Fail(e.Number(), e.what());
        }
    }

    void Ident() {
        std::string raw;
        if (s_[i_] == '[') { // [any name]
            std::size_t end = s_.find(']', i_);
            if (end == std::string::npos || s_.find('\n', i_) < end)
                Fail(1032, "Invalid character");
            raw = s_.substr(i_ + 1, end - i_ - 1);
            i_ = end + 1;
        } else {
            std::size_t start = i_;
            while (i_ < s_.size() && IsIdentChar(s_[i_]))
                ++i_;
            raw = s_.substr(start, i_ - start);
        }
        std::string low = Lower(raw);
        if (low == "rem" && (out_.empty() || out_.back().kind == Tok::Eol)) {
            SkipComment();
            return;
        }
        Push(Tok::Ident, low);
        out_.back().raw = raw;
    }

    void Operator() {
        static const char* const two[] = {"<>", "<=", ">="};
        for (const char* op : two) {
            if (s_.compare(i_, 2, op) == 0) {
                Push(Tok::Op, op);
                i_ += 2;
                return;
            }
        }
        char c = s_[i_];
        if (std::string("()+-*/\\^&=<>,.;").find(c) == std::string::npos)
            Fail(1032, "Invalid character");
        Push(Tok::Op, std::string(1, c));
        ++i_;
    }

    const std::string& s_;
    std::size_t i_ = 0;
    int line_ = 1;
    bool space_ = true;
    std::vector<Token> out_;
};

} // namespace

std::vector<Token> Lex(const std::string& source) {
    return Lexer(source).Run();
}

} // namespace basic::lex
