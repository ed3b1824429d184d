// Tokenizer, parser and type checker of xBase expressions.
#include "platform/xbase/expr/node_p.h"
#include "platform/xbase/xbnumber.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>

namespace xbase::expr {

ExprError::ExprError(const std::string& message, std::size_t position)
    : std::runtime_error(message + " at position " + std::to_string(position + 1)),
      position_(position), reason_(message) {}

Value Value::Char(std::string s) {
    Value v;
    v.type = Type::Character;
    v.text = std::move(s);
    return v;
}
Value Value::Num(double n) {
    Value v;
    v.type = Type::Numeric;
    v.number = n;
    return v;
}
Value Value::Date(std::int32_t julian) {
    Value v;
    v.type = Type::Date;
    v.julian = julian;
    return v;
}
Value Value::Bool(bool b) {
    Value v;
    v.type = Type::Logical;
    v.logical = b;
    return v;
}

namespace {

constexpr std::size_t kMaxDepth = 200; // nesting limit against hostile input
constexpr int kMaxHeight = 1000;       // tree height limit: long operator chains

std::string Upper(std::string_view s) {
    std::string r(s);
    for (auto& c : r)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

enum class Tok { End, Number, String, DateLit, Logical, Ident, Op, LParen, RParen, Comma };

struct Token {
    Tok kind = Tok::End;
    std::string text; // operator spelling (upper case), identifier, string body
    double number = 0;
    int decimals = 0;
    bool logical = false;
    std::size_t pos = 0;
};

class Lexer {
public:
    explicit Lexer(std::string_view s) : s_(s) {}

    Token Next() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_])))
            ++i_;
        Token t;
        t.pos = i_;
        if (i_ >= s_.size())
            return t;
        char c = s_[i_];
        if (c == '"' || c == '\'' || c == '[')
            return String(t, c == '[' ? ']' : c);
        if (c == '{')
            return DateLiteral(t);
        if (c == '.') {
            if (i_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_ + 1])))
                return Number(t);
            return DotWord(t);
        }
        if (std::isdigit(static_cast<unsigned char>(c)))
            return Number(t);
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            std::size_t b = i_;
            while (i_ < s_.size() &&
                   (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_'))
                ++i_;
            t.kind = Tok::Ident;
            t.text = Upper(s_.substr(b, i_ - b));
            return t;
        }
        if (c == '(' || c == ')' || c == ',') {
            ++i_;
            t.kind = c == '(' ? Tok::LParen : c == ')' ? Tok::RParen : Tok::Comma;
            return t;
        }
        static constexpr std::array<std::string_view, 7> two = {
            "==", "<>", "!=", "<=", ">=", "**", "->"};
        for (auto op : two) {
            if (s_.substr(i_, 2) == op) {
                i_ += 2;
                t.kind = Tok::Op;
                t.text = op == "!=" ? "<>" : op == "**" ? "^" : std::string(op);
                return t;
            }
        }
        if (std::string_view("+-*/%^=<>#$!").find(c) != std::string_view::npos) {
            ++i_;
            t.kind = Tok::Op;
            t.text = c == '#' ? "<>" : std::string(1, c);
            return t;
        }
        throw ExprError(std::string("Unexpected character '") + c + "'", t.pos);
    }

private:
    Token String(Token& t, char close) {
        std::size_t end = s_.find(close, i_ + 1);
        if (end == std::string_view::npos)
            throw ExprError("Unterminated string", t.pos);
        t.kind = Tok::String;
        t.text = std::string(s_.substr(i_ + 1, end - i_ - 1));
        i_ = end + 1;
        return t;
    }

    // {^yyyy-mm-dd}, {yyyy-mm-dd}, {mm/dd/yy} in the date format, {} blank.
    Token DateLiteral(Token& t) {
        std::size_t end = s_.find('}', i_);
        if (end == std::string_view::npos)
            throw ExprError("Unterminated date", t.pos);
        t.kind = Tok::DateLit;
        t.text = std::string(s_.substr(i_ + 1, end - i_ - 1));
        i_ = end + 1;
        return t;
    }

    Token Number(Token& t) {
        std::size_t b = i_;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_])))
            ++i_;
        if (i_ < s_.size() && s_[i_] == '.' &&
            !(i_ + 1 < s_.size() && std::isalpha(static_cast<unsigned char>(s_[i_ + 1])))) {
            std::size_t d = ++i_;
            while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_])))
                ++i_;
            t.decimals = static_cast<int>(i_ - d);
        }
        t.kind = Tok::Number;
        t.text = std::string(s_.substr(b, i_ - b));
        t.number = NumberFromText(t.text.c_str());
        return t;
    }

    Token DotWord(Token& t) {
        std::size_t end = s_.find('.', i_ + 1);
        if (end == std::string_view::npos)
            throw ExprError("Unexpected '.'", t.pos);
        std::string w = Upper(s_.substr(i_ + 1, end - i_ - 1));
        i_ = end + 1;
        if (w == "T" || w == "Y" || w == "F" || w == "N") {
            t.kind = Tok::Logical;
            t.logical = w == "T" || w == "Y";
            return t;
        }
        if (w == "AND" || w == "OR" || w == "NOT") {
            t.kind = Tok::Op;
            t.text = w;
            return t;
        }
        throw ExprError("Unknown operator ." + w + ".", t.pos);
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

struct FuncInfo {
    std::string_view name;
    Func func;
    int minArgs, maxArgs;
};

constexpr std::array<FuncInfo, 40> kFuncs = {{
    {"UPPER", Func::Upper, 1, 1},     {"LOWER", Func::Lower, 1, 1},
    {"TRIM", Func::Trim, 1, 1},       {"RTRIM", Func::Trim, 1, 1},
    {"LTRIM", Func::Ltrim, 1, 1},     {"ALLTRIM", Func::Alltrim, 1, 1},
    {"STR", Func::Str, 1, 3},         {"VAL", Func::Val, 1, 1},
    {"SUBSTR", Func::Substr, 2, 3},   {"LEFT", Func::Left, 2, 2},
    {"RIGHT", Func::Right, 2, 2},     {"DTOS", Func::Dtos, 1, 1},
    {"DTOC", Func::Dtoc, 1, 2},       {"CTOD", Func::Ctod, 1, 1},
    {"DATE", Func::Date, 0, 0},       {"DELETED", Func::Deleted, 0, 0},
    {"RECNO", Func::Recno, 0, 0},     {"IIF", Func::Iif, 3, 3},
    {"EMPTY", Func::Empty, 1, 1},     {"LEN", Func::Len, 1, 1},
    {"SPACE", Func::Space, 1, 1},     {"PADR", Func::Padr, 2, 3},
    {"PADL", Func::Padl, 2, 3},       {"PADC", Func::Padc, 2, 3},
    {"AT", Func::At, 2, 3},           {"REPLICATE", Func::Replicate, 2, 2},
    {"ABS", Func::Abs, 1, 1},         {"INT", Func::Int, 1, 1},
    {"ROUND", Func::Round, 2, 2},     {"MAX", Func::Max, 2, 2},
    {"MIN", Func::Min, 2, 2},         {"YEAR", Func::Year, 1, 1},
    {"MONTH", Func::Month, 1, 1},     {"DAY", Func::Day, 1, 1},
    {"CHR", Func::Chr, 1, 1},         {"ASC", Func::Asc, 1, 1},
    {"BETWEEN", Func::Between, 3, 3}, {"INLIST", Func::Inlist, 2, 255},
    {"STRTRAN", Func::Strtran, 2, 3}, {"TTOD", Func::Ttod, 1, 1},
}};

// Exact name, else a unique abbreviation of at least four letters.
const FuncInfo* FindFunc(const std::string& name) {
    for (const auto& f : kFuncs)
        if (f.name == name)
            return &f;
    if (name.size() < 4)
        return nullptr;
    const FuncInfo* found = nullptr;
    for (const auto& f : kFuncs) {
        if (f.name.starts_with(name)) {
            if (found)
                return nullptr;
            found = &f;
        }
    }
    return found;
}

const char* TypeName(Type t) {
    switch (t) {
    case Type::Character:
        return "character";
    case Type::Numeric:
        return "numeric";
    case Type::Date:
        return "date";
    case Type::DateTime:
        return "datetime";
    case Type::Logical:
        return "logical";
    }
    return "?";
}

using NodeP = std::unique_ptr<Node>;

class Parser {
public:
    Parser(std::string_view text, const Schema& schema) : text_(text), lex_(text), schema_(schema) {
        Advance();
    }

    NodeP ParseAll() {
        if (tok_.kind == Tok::End)
            throw ExprError("Empty expression", 0);
        NodeP n = ParseOr();
        if (tok_.kind != Tok::End)
            throw ExprError("Unexpected '" + Spelling(tok_) + "'", tok_.pos);
        return n;
    }
    // The nullable fields the expression names, in order of appearance.
    [[nodiscard]] const std::vector<int>& NullableFields() const { return nullable_; }

private:
    void Advance() { tok_ = lex_.Next(); }

    std::string Spelling(const Token& t) const {
        if (t.kind == Tok::End)
            return "end of expression";
        if (t.kind == Tok::Ident || t.kind == Tok::Op)
            return t.text;
        return std::string(text_.substr(t.pos, 1));
    }

    bool IsOp(std::string_view op) const { return tok_.kind == Tok::Op && tok_.text == op; }

    // AND / OR / NOT are also accepted without dots when no field has the name.
    bool IsWordOp(std::string_view op) const {
        if (IsOp(op))
            return true;
        return tok_.kind == Tok::Ident && tok_.text == op && schema_.FieldIndex(op) < 0;
    }

    void Enter(std::size_t pos) {
        if (++depth_ > kMaxDepth)
            throw ExprError("Expression nested too deeply", pos);
    }

    static NodeP Make(Op op, std::size_t pos) {
        auto n = std::make_unique<Node>();
        n->op = op;
        n->pos = pos;
        return n;
    }

    static NodeP Grown(NodeP n) {
        for (const auto& k : n->kids)
            n->height = std::max(n->height, k->height + 1);
        if (n->height > kMaxHeight)
            throw ExprError("Expression too complex", n->pos);
        return n;
    }

    [[noreturn]] static void Mismatch(const Node& a, const Node& b, std::size_t pos) {
        throw ExprError(std::string("Operator/operand type mismatch (") + TypeName(a.type) +
                            " and " + TypeName(b.type) + ")",
                        pos);
    }

    NodeP Binary(Op op, NodeP a, NodeP b, std::size_t pos) {
        auto n = Make(op, pos);
        Type ta = a->type, tb = b->type;
        switch (op) {
        case Op::And:
        case Op::Or:
            if (ta != Type::Logical || tb != Type::Logical)
                Mismatch(*a, *b, pos);
            n->type = Type::Logical;
            break;
        case Op::Add:
            if (ta == Type::Character && tb == Type::Character) {
                n->type = Type::Character;
                n->length = a->length + b->length;
            } else if (ta == Type::Numeric && tb == Type::Numeric) {
                n->type = Type::Numeric;
            } else if ((ta == Type::Date || ta == Type::DateTime) && tb == Type::Numeric) {
                n->type = ta;
            } else if (ta == Type::Numeric && (tb == Type::Date || tb == Type::DateTime)) {
                n->type = tb;
            } else {
                Mismatch(*a, *b, pos);
            }
            break;
        case Op::Sub:
            if (ta == Type::Character && tb == Type::Character) {
                n->type = Type::Character;
                n->length = a->length + b->length;
            } else if (ta == Type::Numeric && tb == Type::Numeric) {
                n->type = Type::Numeric;
            } else if ((ta == Type::Date || ta == Type::DateTime) && tb == ta) {
                n->type = Type::Numeric;
            } else if ((ta == Type::Date || ta == Type::DateTime) && tb == Type::Numeric) {
                n->type = ta;
            } else {
                Mismatch(*a, *b, pos);
            }
            break;
        case Op::Mul:
        case Op::Div:
        case Op::Mod:
        case Op::Pow:
            if (ta != Type::Numeric || tb != Type::Numeric)
                Mismatch(*a, *b, pos);
            n->type = Type::Numeric;
            break;
        case Op::Contains:
            if (ta != Type::Character || tb != Type::Character)
                Mismatch(*a, *b, pos);
            n->type = Type::Logical;
            break;
        default: // comparisons
            if (ta != tb && !((ta == Type::Date || ta == Type::DateTime) &&
                              (tb == Type::Date || tb == Type::DateTime)))
                Mismatch(*a, *b, pos);
            if (ta == Type::Logical && op != Op::Eq && op != Op::ExactEq && op != Op::Ne)
                Mismatch(*a, *b, pos);
            n->type = Type::Logical;
            break;
        }
        n->kids.push_back(std::move(a));
        n->kids.push_back(std::move(b));
        return Grown(std::move(n));
    }

    NodeP ParseOr() {
        NodeP a = ParseAnd();
        while (IsWordOp("OR")) {
            std::size_t pos = tok_.pos;
            Advance();
            a = Binary(Op::Or, std::move(a), ParseAnd(), pos);
        }
        return a;
    }

    NodeP ParseAnd() {
        NodeP a = ParseNot();
        while (IsWordOp("AND")) {
            std::size_t pos = tok_.pos;
            Advance();
            a = Binary(Op::And, std::move(a), ParseNot(), pos);
        }
        return a;
    }

    NodeP ParseNot() {
        if (IsWordOp("NOT") || IsOp("!")) {
            std::size_t pos = tok_.pos;
            Enter(pos);
            Advance();
            NodeP a = ParseNot();
            --depth_;
            if (a->type != Type::Logical)
                throw ExprError("Operator/operand type mismatch (.NOT. of a " +
                                    std::string(TypeName(a->type)) + " value)",
                                pos);
            auto n = Make(Op::Not, pos);
            n->type = Type::Logical;
            n->kids.push_back(std::move(a));
            return Grown(std::move(n));
        }
        return ParseRel();
    }

    NodeP ParseRel() {
        NodeP a = ParseAdd();
        static constexpr std::array<std::pair<std::string_view, Op>, 8> ops = {{
            {"=", Op::Eq},
            {"==", Op::ExactEq},
            {"<>", Op::Ne},
            {"<", Op::Lt},
            {"<=", Op::Le},
            {">", Op::Gt},
            {">=", Op::Ge},
            {"$", Op::Contains},
        }};
        while (tok_.kind == Tok::Op) {
            auto it = std::find_if(ops.begin(), ops.end(),
                                   [&](const auto& p) { return p.first == tok_.text; });
            if (it == ops.end())
                break;
            std::size_t pos = tok_.pos;
            Advance();
            a = Binary(it->second, std::move(a), ParseAdd(), pos);
        }
        return a;
    }

    NodeP ParseAdd() {
        NodeP a = ParseMul();
        while (IsOp("+") || IsOp("-")) {
            Op op = tok_.text == "+" ? Op::Add : Op::Sub;
            std::size_t pos = tok_.pos;
            Advance();
            a = Binary(op, std::move(a), ParseMul(), pos);
        }
        return a;
    }

    NodeP ParseMul() {
        NodeP a = ParseUnary();
        while (IsOp("*") || IsOp("/") || IsOp("%")) {
            Op op = tok_.text == "*" ? Op::Mul : tok_.text == "/" ? Op::Div : Op::Mod;
            std::size_t pos = tok_.pos;
            Advance();
            a = Binary(op, std::move(a), ParseUnary(), pos);
        }
        return a;
    }

    NodeP ParseUnary() {
        if (IsOp("-") || IsOp("+")) {
            bool neg = tok_.text == "-";
            std::size_t pos = tok_.pos;
            Enter(pos);
            Advance();
            NodeP a = ParseUnary();
            --depth_;
            if (a->type != Type::Numeric)
                throw ExprError("Operator/operand type mismatch (sign of a " +
                                    std::string(TypeName(a->type)) + " value)",
                                pos);
            if (!neg)
                return a;
            auto n = Make(Op::Negate, pos);
            n->type = Type::Numeric;
            n->kids.push_back(std::move(a));
            return Grown(std::move(n));
        }
        NodeP a = ParsePrimary();
        if (IsOp("^")) {
            std::size_t pos = tok_.pos;
            Enter(pos);
            Advance();
            a = Binary(Op::Pow, std::move(a), ParseUnary(), pos);
            --depth_;
        }
        return a;
    }

    NodeP ParsePrimary() {
        Token t = tok_;
        switch (t.kind) {
        case Tok::Number: {
            Advance();
            auto n = Make(Op::Literal, t.pos);
            n->type = Type::Numeric;
            n->literal = Value::Num(t.number);
            n->decimals = t.decimals;
            return n;
        }
        case Tok::String: {
            Advance();
            auto n = Make(Op::Literal, t.pos);
            n->type = Type::Character;
            n->length = static_cast<int>(t.text.size());
            n->literal = Value::Char(t.text);
            return n;
        }
        case Tok::Logical: {
            Advance();
            auto n = Make(Op::Literal, t.pos);
            n->type = Type::Logical;
            n->literal = Value::Bool(t.logical);
            return n;
        }
        case Tok::DateLit:
            Advance();
            return DateLiteral(t);
        case Tok::LParen: {
            Enter(t.pos);
            Advance();
            NodeP n = ParseOr();
            if (tok_.kind != Tok::RParen)
                throw ExprError("Missing ')'", tok_.pos);
            Advance();
            --depth_;
            return n;
        }
        case Tok::Ident:
            Advance();
            return Name(t);
        case Tok::End:
            throw ExprError("Missing operand", t.pos);
        default:
            throw ExprError("Unexpected '" + Spelling(t) + "'", t.pos);
        }
    }

    NodeP DateLiteral(const Token& t) {
        auto n = Make(Op::Literal, t.pos);
        n->type = Type::Date;
        std::string s = t.text;
        s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
        std::int32_t j = 0;
        if (!s.empty()) {
            if (s[0] == '^' || (s.size() >= 8 && s[4] == '-')) {
                if (s[0] == '^')
                    s.erase(0, 1);
                int y = 0, m = 0, d = 0;
                if (std::sscanf(s.c_str(), "%d%*[-/.]%d%*[-/.]%d", &y, &m, &d) == 3)
                    j = JulianFromYmd(y, m, d);
            } else {
                j = Ctod(s, Settings{});
            }
            if (j == 0)
                throw ExprError("Invalid date {" + t.text + "}", t.pos);
        }
        n->literal = Value::Date(j);
        return n;
    }

    NodeP Name(const Token& t) {
        // alias->field: the alias is not checked, the record is the one at hand
        if (IsOp("->")) {
            Advance();
            if (tok_.kind != Tok::Ident)
                throw ExprError("Field name expected after '->'", tok_.pos);
            Token f = tok_;
            Advance();
            return Field(f, true);
        }
        if (tok_.kind == Tok::LParen)
            return Call(t);
        return Field(t, true);
    }

    NodeP Field(const Token& t, bool required) {
        int idx = schema_.FieldIndex(t.text);
        if (idx < 0) {
            if (!required)
                return nullptr;
            throw ExprError("Variable '" + t.text + "' is not found", t.pos);
        }
        FieldInfo fi = schema_.FieldAt(idx);
        auto n = Make(Op::Field, t.pos);
        n->field = idx;
        n->fieldType = static_cast<char>(std::toupper(static_cast<unsigned char>(fi.type)));
        n->fieldDecimals = fi.decimals;
        n->length = fi.width;
        n->decimals = fi.decimals;
        if (fi.nullable && std::find(nullable_.begin(), nullable_.end(), idx) == nullable_.end())
            nullable_.push_back(idx);
        switch (n->fieldType) {
        case 'N':
        case 'F':
        case 'I':
        case 'B':
        case 'Y':
            n->type = Type::Numeric;
            break;
        case 'D':
            n->type = Type::Date;
            break;
        case 'T':
            n->type = Type::DateTime;
            break;
        case 'L':
            n->type = Type::Logical;
            break;
        default:
            n->type = Type::Character;
            break;
        }
        return n;
    }

    NodeP Call(const Token& t) {
        const FuncInfo* info = FindFunc(t.text);
        if (!info)
            throw ExprError("Unknown function " + t.text + "()", t.pos);
        Enter(t.pos);
        Advance(); // "("
        auto n = Make(Op::Call, t.pos);
        n->func = info->func;
        n->codePage = schema_.TextCodePage();
        if (tok_.kind != Tok::RParen) {
            for (;;) {
                n->kids.push_back(ParseOr());
                if (tok_.kind == Tok::Comma) {
                    Advance();
                    continue;
                }
                break;
            }
        }
        if (tok_.kind != Tok::RParen)
            throw ExprError("Missing ')'", tok_.pos);
        Advance();
        --depth_;
        int argc = static_cast<int>(n->kids.size());
        if (argc < info->minArgs || argc > info->maxArgs)
            throw ExprError("Wrong number of arguments to " + std::string(info->name) + "()",
                            t.pos);
        TypeCall(*n, std::string(info->name));
        return Grown(std::move(n));
    }

    static bool IsDateLike(const Node& n) {
        return n.type == Type::Date || n.type == Type::DateTime;
    }

    // A numeric argument's value when it is a literal; otherwise fallback.
    static int LiteralInt(const Node& n, int fallback) {
        if (n.op == Op::Literal && n.type == Type::Numeric)
            return static_cast<int>(std::clamp(n.literal.number, 0.0, 65535.0));
        if (n.op == Op::Negate)
            return 0;
        return fallback;
    }

    void TypeCall(Node& n, const std::string& name) {
        auto arg = [&](std::size_t i, Type want) {
            if (n.kids[i]->type != want)
                throw ExprError("Function argument value, type, or count is invalid: " + name +
                                    "() wants a " + TypeName(want) + " argument " +
                                    std::to_string(i + 1),
                                n.kids[i]->pos);
        };
        auto dateArg = [&](std::size_t i) {
            if (!IsDateLike(*n.kids[i]))
                arg(i, Type::Date);
        };
        auto optional = [&](std::size_t i, Type want) {
            if (n.kids.size() > i)
                arg(i, want);
        };
        int len0 = n.kids.empty() ? 0 : n.kids[0]->length;
        switch (n.func) {
        case Func::Upper:
        case Func::Lower:
        case Func::Trim:
        case Func::Ltrim:
        case Func::Alltrim:
            arg(0, Type::Character);
            n.type = Type::Character;
            n.length = len0;
            break;
        case Func::Str:
            arg(0, Type::Numeric);
            optional(1, Type::Numeric);
            optional(2, Type::Numeric);
            n.type = Type::Character;
            n.length = n.kids.size() > 1 ? LiteralInt(*n.kids[1], 255) : 10;
            break;
        case Func::Val:
            arg(0, Type::Character);
            n.type = Type::Numeric;
            break;
        case Func::Substr:
            arg(0, Type::Character);
            arg(1, Type::Numeric);
            optional(2, Type::Numeric);
            n.type = Type::Character;
            n.length = n.kids.size() > 2 ? std::min(len0, LiteralInt(*n.kids[2], len0)) : len0;
            break;
        case Func::Left:
        case Func::Right:
            arg(0, Type::Character);
            arg(1, Type::Numeric);
            n.type = Type::Character;
            n.length = std::min(len0, LiteralInt(*n.kids[1], len0));
            break;
        case Func::Dtos:
            dateArg(0);
            n.type = Type::Character;
            n.length = 8;
            break;
        case Func::Dtoc:
            dateArg(0);
            optional(1, Type::Numeric);
            n.type = Type::Character;
            n.length = 10;
            break;
        case Func::Ctod:
            arg(0, Type::Character);
            n.type = Type::Date;
            break;
        case Func::Ttod:
            dateArg(0);
            n.type = Type::Date;
            break;
        case Func::Date:
            n.type = Type::Date;
            break;
        case Func::Deleted:
            n.type = Type::Logical;
            break;
        case Func::Recno:
            n.type = Type::Numeric;
            break;
        case Func::Iif: {
            arg(0, Type::Logical);
            Node& a = *n.kids[1];
            Node& b = *n.kids[2];
            if (a.type != b.type)
                throw ExprError("IIF() branches differ in type (" + std::string(TypeName(a.type)) +
                                    " and " + TypeName(b.type) + ")",
                                b.pos);
            n.type = a.type;
            n.length = std::max(a.length, b.length);
            break;
        }
        case Func::Empty:
            n.type = Type::Logical;
            break;
        case Func::Len:
            arg(0, Type::Character);
            n.type = Type::Numeric;
            break;
        case Func::Space:
            arg(0, Type::Numeric);
            n.type = Type::Character;
            n.length = LiteralInt(*n.kids[0], 0);
            break;
        case Func::Padr:
        case Func::Padl:
        case Func::Padc:
            arg(1, Type::Numeric);
            optional(2, Type::Character);
            n.type = Type::Character;
            n.length = LiteralInt(*n.kids[1], 255);
            break;
        case Func::At:
            arg(0, Type::Character);
            arg(1, Type::Character);
            optional(2, Type::Numeric);
            n.type = Type::Numeric;
            break;
        case Func::Replicate:
            arg(0, Type::Character);
            arg(1, Type::Numeric);
            n.type = Type::Character;
            n.length = len0 * LiteralInt(*n.kids[1], 1);
            break;
        case Func::Abs:
        case Func::Int:
            arg(0, Type::Numeric);
            n.type = Type::Numeric;
            break;
        case Func::Round:
            arg(0, Type::Numeric);
            arg(1, Type::Numeric);
            n.type = Type::Numeric;
            break;
        case Func::Max:
        case Func::Min:
            if (n.kids[0]->type == Type::Logical)
                arg(0, Type::Numeric);
            arg(1, n.kids[0]->type);
            n.type = n.kids[0]->type;
            n.length = std::max(n.kids[0]->length, n.kids[1]->length);
            break;
        case Func::Year:
        case Func::Month:
        case Func::Day:
            dateArg(0);
            n.type = Type::Numeric;
            break;
        case Func::Chr:
            arg(0, Type::Numeric);
            n.type = Type::Character;
            n.length = 1;
            break;
        case Func::Asc:
            arg(0, Type::Character);
            n.type = Type::Numeric;
            break;
        case Func::Between:
        case Func::Inlist:
            for (std::size_t i = 1; i < n.kids.size(); ++i)
                if (n.kids[i]->type != n.kids[0]->type &&
                    !(IsDateLike(*n.kids[i]) && IsDateLike(*n.kids[0])))
                    arg(i, n.kids[0]->type);
            n.type = Type::Logical;
            break;
        case Func::Strtran:
            arg(0, Type::Character);
            arg(1, Type::Character);
            optional(2, Type::Character);
            n.type = Type::Character;
            n.length = len0;
            break;
        }
    }

    std::string_view text_;
    Lexer lex_;
    const Schema& schema_;
    Token tok_;
    std::size_t depth_ = 0;
    std::vector<int> nullable_;
};

} // namespace

Expression::Expression() = default;
Expression::~Expression() = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;

Expression Expression::Compile(std::string_view text, const Schema& schema) {
    Expression e;
    e.text_ = std::string(text);
    Parser p(e.text_, schema);
    e.root_ = p.ParseAll();
    e.nullable_ = p.NullableFields();
    const Node& r = *e.root_;
    switch (r.type) {
    case Type::Character:
        e.key_ = {KeyType::Character, r.length};
        break;
    case Type::Numeric:
        if (r.op == Op::Field && r.fieldType == 'I')
            e.key_ = {KeyType::Integer, 4};
        else
            e.key_ = {KeyType::Numeric, 8};
        break;
    case Type::Date:
        e.key_ = {KeyType::Date, 8};
        break;
    case Type::DateTime:
        e.key_ = {KeyType::DateTime, 8};
        break;
    case Type::Logical:
        e.key_ = {KeyType::Logical, 1};
        break;
    }
    return e;
}

Type Expression::ResultType() const {
    return root_ ? root_->type : Type::Logical;
}

int Expression::ResultLength() const {
    return root_ ? root_->length : 0;
}

KeyInfo Expression::Key() const {
    return key_;
}

bool Expression::IsNullIn(const Context& record) const {
    for (int field : nullable_)
        if (record.IsNull(field))
            return true;
    return false;
}

Value Expression::Evaluate(const Context& record) const {
    if (!root_)
        throw ExprError("Empty expression", 0);
    return EvalNode(*root_, record);
}

} // namespace xbase::expr
