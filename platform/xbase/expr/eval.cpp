// Evaluation of compiled expressions over one record.
#include "platform/xbase/expr/node_p.h"
#include "platform/xbase/xbnumber.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace xbase::expr {

namespace {

// Longest string a function may build (SPACE, REPLICATE, PADR and the like).
constexpr double kMaxBuilt = 16.0 * 1024 * 1024;

std::string RTrim(std::string_view s) {
    std::size_t e = s.size();
    while (e > 0 && s[e - 1] == ' ')
        --e;
    return std::string(s.substr(0, e));
}

std::string LTrim(std::string_view s) {
    std::size_t b = 0;
    while (b < s.size() && s[b] == ' ')
        ++b;
    return std::string(s.substr(b));
}

// Character comparison as SET EXACT has it. Exact off: the comparison ends
// with the right side ("abc" = "ab" holds, "ab" = "ab " does not). Exact on:
// the shorter side counts as padded with blanks ("ab" = "ab " holds).
int CompareText(std::string_view a, std::string_view b, bool exact) {
    if (!exact) {
        if (b.size() < a.size())
            a = a.substr(0, b.size());
        int c = a.compare(b);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    std::size_t n = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(i < a.size() ? a[i] : ' ');
        auto cb = static_cast<unsigned char>(i < b.size() ? b[i] : ' ');
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return 0;
}

double DateNumber(const Value& v) {
    return v.julian + (v.type == Type::DateTime ? v.millis / 86400000.0 : 0.0);
}

int Compare(const Value& a, const Value& b, bool exact) {
    switch (a.type) {
    case Type::Character:
        return CompareText(a.text, b.text, exact);
    case Type::Numeric:
        return a.number < b.number ? -1 : a.number > b.number ? 1 : 0;
    case Type::Date:
    case Type::DateTime: {
        double x = DateNumber(a), y = DateNumber(b);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    case Type::Logical:
        return static_cast<int>(a.logical) - static_cast<int>(b.logical);
    }
    return 0;
}

// The number's text with dec decimals (dec < 0 rounds to tens, hundreds...),
// rounded half away from zero on the shortest decimal digits that read back
// as the number: the digits as typed (1.005 gives "1.01"), never the noise of
// its binary form (55555 with ten decimals gives "55555.0000000000").
std::string FixedText(double n, int dec) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(n), std::chars_format::scientific);
    std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf)); // "d.ddde+XX"
    std::size_t e = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, e))
        if (c != '.')
            digits += c;
    int point = std::atoi(std::string(sci.substr(e + 1)).c_str()) + 1; // digits before the point
    int keep = point + dec; // digits kept: those before the point and dec after it
    if (keep < static_cast<int>(digits.size())) {
        bool up = keep >= 0 && digits[static_cast<std::size_t>(keep)] >= '5';
        digits.resize(static_cast<std::size_t>(std::max(keep, 0)));
        if (up) {
            int i = keep - 1;
            for (; i >= 0 && digits[static_cast<std::size_t>(i)] == '9'; --i)
                digits[static_cast<std::size_t>(i)] = '0';
            if (i >= 0) {
                ++digits[static_cast<std::size_t>(i)];
            } else {
                digits.insert(digits.begin(), '1');
                ++point;
            }
        }
    }
    auto digitAt = [&](int i) {
        return i >= 0 && i < static_cast<int>(digits.size()) ? digits[static_cast<std::size_t>(i)]
                                                             : '0';
    };
    std::string out;
    for (int i = 0; i < point; ++i)
        out += digitAt(i);
    if (out.empty())
        out = "0";
    if (dec > 0) {
        out += '.';
        for (int i = 0; i < dec; ++i)
            out += digitAt(point + i);
    }
    if (std::signbit(n) && out.find_first_not_of("0.") != std::string::npos)
        out.insert(out.begin(), '-');
    return out;
}

double RoundHalfAway(double n, int decimals) {
    if (!std::isfinite(n))
        return n;
    return NumberFromText(FixedText(n, decimals).c_str());
}

} // namespace

std::string Str(double n, int len, int dec) {
    len = std::clamp(len, 1, 255);
    dec = std::clamp(dec, 0, std::max(0, len - 2));
    if (!std::isfinite(n) || std::fabs(n) >= 1e300)
        return std::string(static_cast<std::size_t>(len), '*');
    for (int d = dec; d >= 0; --d) {
        std::string text = FixedText(n, d);
        if (static_cast<int>(text.size()) <= len)
            return std::string(static_cast<std::size_t>(len) - text.size(), ' ') + text;
    }
    return std::string(static_cast<std::size_t>(len), '*');
}

namespace {

// A number as text without padding (PADR and friends).
std::string NumText(double n) {
    if (n == std::floor(n) && std::fabs(n) < 1e15)
        return LTrim(Str(n, 20, 0));
    return NumberToGeneral(n, 10);
}

double Val(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    std::string t;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        t += s[i++];
    bool dot = false;
    while (i < s.size() &&
           (std::isdigit(static_cast<unsigned char>(s[i])) || (s[i] == '.' && !dot))) {
        dot = dot || s[i] == '.';
        t += s[i++];
    }
    return t.empty() ? 0 : NumberFromText(t.c_str());
}

std::uint32_t LoadLe32(std::string_view b) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4 && i < b.size(); ++i)
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(b[i])) << (8 * i);
    return v;
}

std::uint64_t LoadLe64(std::string_view b) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < 8 && i < b.size(); ++i)
        v |= static_cast<std::uint64_t>(static_cast<unsigned char>(b[i])) << (8 * i);
    return v;
}

bool IsBlank(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0;
    });
}

std::string AsText(const Value& v, const Context& ctx) {
    switch (v.type) {
    case Type::Character:
        return v.text;
    case Type::Numeric:
        return NumText(v.number);
    case Type::Date:
    case Type::DateTime:
        return Dtoc(v.julian, ctx.GetSettings());
    case Type::Logical:
        return v.logical ? ".T." : ".F.";
    }
    return {};
}

// A count or width argument as an int; far-out values (and NaN) are cut
// before the conversion, which is undefined for them.
int IntArg(double n) {
    if (std::isnan(n))
        return 0;
    return static_cast<int>(std::clamp(n, -1e9, 1e9));
}

// The last day a date can be (9999-12-31); later or earlier is an error.
constexpr double kLastJulian = 5373484;

std::int32_t DayOrThrow(double julian, std::size_t pos) {
    if (!(julian >= 1 && julian <= kLastJulian))
        throw ExprError("Date out of range", pos);
    return static_cast<std::int32_t>(julian);
}

std::size_t SizeArg(double n, std::size_t pos) {
    if (!(n > 0))
        return 0;
    if (n > kMaxBuilt)
        throw ExprError("String too long", pos);
    return static_cast<std::size_t>(n);
}

Value Call(const Node& n, const Context& ctx) {
    auto arg = [&](std::size_t i) { return EvalNode(*n.kids[i], ctx); };
    auto num = [&](std::size_t i) { return EvalNode(*n.kids[i], ctx).number; };
    switch (n.func) {
    case Func::Upper:
    case Func::Lower: {
        std::string s = arg(0).text;
        for (auto& c : s)
            c = static_cast<char>(n.func == Func::Upper
                                      ? UpperChar(static_cast<unsigned char>(c), n.codePage)
                                      : LowerChar(static_cast<unsigned char>(c), n.codePage));
        return Value::Char(std::move(s));
    }
    case Func::Trim:
        return Value::Char(RTrim(arg(0).text));
    case Func::Ltrim:
        return Value::Char(LTrim(arg(0).text));
    case Func::Alltrim:
        return Value::Char(LTrim(RTrim(arg(0).text)));
    case Func::Str: {
        double v = num(0);
        int len = n.kids.size() > 1 ? IntArg(num(1)) : 10;
        int dec = n.kids.size() > 2 ? IntArg(num(2)) : 0;
        return Value::Char(Str(v, len, dec));
    }
    case Func::Val:
        return Value::Num(Val(arg(0).text));
    case Func::Substr: {
        std::string s = arg(0).text;
        double start = num(1);
        if (start < 1 || start > static_cast<double>(s.size()))
            return Value::Char("");
        std::size_t b = static_cast<std::size_t>(start) - 1;
        std::size_t len = s.size() - b;
        if (n.kids.size() > 2)
            len = std::min(len, SizeArg(num(2), n.pos));
        return Value::Char(s.substr(b, len));
    }
    case Func::Left: {
        std::string s = arg(0).text;
        return Value::Char(s.substr(0, std::min(s.size(), SizeArg(num(1), n.pos))));
    }
    case Func::Right: {
        std::string s = arg(0).text;
        std::size_t k = std::min(s.size(), SizeArg(num(1), n.pos));
        return Value::Char(s.substr(s.size() - k));
    }
    case Func::Dtos:
        return Value::Char(Dtos(arg(0).julian));
    case Func::Dtoc:
        if (n.kids.size() > 1 && num(1) == 1)
            return Value::Char(Dtos(arg(0).julian));
        return Value::Char(Dtoc(arg(0).julian, ctx.GetSettings()));
    case Func::Ctod:
        return Value::Date(Ctod(arg(0).text, ctx.GetSettings()));
    case Func::Ttod:
        return Value::Date(arg(0).julian);
    case Func::Date:
        return Value::Date(ctx.Today());
    case Func::Deleted:
        return Value::Bool(ctx.Deleted());
    case Func::Recno:
        return Value::Num(ctx.RecNo());
    case Func::Iif:
        return arg(0).logical ? arg(1) : arg(2);
    case Func::Empty: {
        Value v = arg(0);
        switch (v.type) {
        case Type::Character:
            return Value::Bool(IsBlank(v.text));
        case Type::Numeric:
            return Value::Bool(v.number == 0);
        case Type::Date:
        case Type::DateTime:
            return Value::Bool(v.julian == 0);
        case Type::Logical:
            return Value::Bool(!v.logical);
        }
        return Value::Bool(true);
    }
    case Func::Len:
        return Value::Num(static_cast<double>(arg(0).text.size()));
    case Func::Space:
        return Value::Char(std::string(SizeArg(num(0), n.pos), ' '));
    case Func::Padr:
    case Func::Padl:
    case Func::Padc: {
        std::string s = AsText(arg(0), ctx);
        std::size_t len = SizeArg(num(1), n.pos);
        char fill = ' ';
        if (n.kids.size() > 2) {
            std::string f = arg(2).text;
            if (!f.empty())
                fill = f[0];
        }
        if (s.size() >= len)
            return Value::Char(s.substr(0, len));
        std::size_t pad = len - s.size();
        if (n.func == Func::Padr)
            return Value::Char(s + std::string(pad, fill));
        if (n.func == Func::Padl)
            return Value::Char(std::string(pad, fill) + s);
        return Value::Char(std::string(pad / 2, fill) + s + std::string(pad - pad / 2, fill));
    }
    case Func::At: {
        std::string needle = arg(0).text, hay = arg(1).text;
        double occurrence = n.kids.size() > 2 ? num(2) : 1;
        if (needle.empty() || occurrence < 1)
            return Value::Num(0);
        std::size_t at = std::string::npos, from = 0;
        for (double k = 0; k < occurrence; ++k) {
            at = hay.find(needle, from);
            if (at == std::string::npos)
                return Value::Num(0);
            from = at + 1;
        }
        return Value::Num(static_cast<double>(at + 1));
    }
    case Func::Replicate: {
        std::string s = arg(0).text;
        double times = num(1);
        if (s.empty() || !(times > 0))
            return Value::Char("");
        SizeArg(times * static_cast<double>(s.size()), n.pos);
        std::string r;
        for (std::size_t i = 0, k = static_cast<std::size_t>(times); i < k; ++i)
            r += s;
        return Value::Char(std::move(r));
    }
    case Func::Abs:
        return Value::Num(std::fabs(num(0)));
    case Func::Int:
        return Value::Num(std::trunc(num(0)));
    case Func::Round:
        return Value::Num(RoundHalfAway(num(0), std::clamp(IntArg(num(1)), -20, 20)));
    case Func::Max:
    case Func::Min: {
        Value a = arg(0), b = arg(1);
        int c = Compare(a, b, true);
        return (n.func == Func::Max ? c >= 0 : c <= 0) ? a : b;
    }
    case Func::Year:
    case Func::Month:
    case Func::Day: {
        int y = 0, m = 0, d = 0;
        YmdFromJulian(arg(0).julian, y, m, d);
        return Value::Num(n.func == Func::Year ? y : n.func == Func::Month ? m : d);
    }
    case Func::Chr:
        return Value::Char(std::string(1, static_cast<char>(IntArg(num(0)) & 0xFF)));
    case Func::Asc: {
        std::string s = arg(0).text;
        return Value::Num(s.empty() ? 0 : static_cast<unsigned char>(s[0]));
    }
    case Func::Between: {
        bool exact = ctx.GetSettings().exact;
        Value x = arg(0);
        return Value::Bool(Compare(x, arg(1), exact) >= 0 && Compare(x, arg(2), exact) <= 0);
    }
    case Func::Inlist: {
        bool exact = ctx.GetSettings().exact;
        Value x = arg(0);
        for (std::size_t i = 1; i < n.kids.size(); ++i)
            if (Compare(x, arg(i), exact) == 0)
                return Value::Bool(true);
        return Value::Bool(false);
    }
    case Func::Strtran: {
        std::string s = arg(0).text, find = arg(1).text;
        std::string repl = n.kids.size() > 2 ? arg(2).text : std::string();
        if (find.empty())
            return Value::Char(std::move(s));
        std::string r;
        std::size_t from = 0;
        for (std::size_t at; (at = s.find(find, from)) != std::string::npos;
             from = at + find.size()) {
            r.append(s, from, at - from);
            r += repl;
            if (static_cast<double>(r.size()) > kMaxBuilt)
                throw ExprError("String too long", n.pos);
        }
        r.append(s, from, std::string::npos);
        return Value::Char(std::move(r));
    }
    }
    throw ExprError("Function not implemented", n.pos);
}

Value Arith(const Node& n, const Value& a, const Value& b) {
    switch (n.op) {
    case Op::Add:
        if (a.type == Type::Character)
            return Value::Char(a.text + b.text);
        if (a.type == Type::Numeric && b.type == Type::Numeric)
            return Value::Num(a.number + b.number);
        {
            const Value& d = a.type == Type::Numeric ? b : a;
            double days = a.type == Type::Numeric ? a.number : b.number;
            Value r = d;
            if (d.julian != 0) {
                if (d.type == Type::DateTime) { // date-time + seconds
                    double ms = d.millis + days * 1000.0;
                    double dd = std::floor(ms / 86400000.0);
                    r.julian = DayOrThrow(d.julian + dd, n.pos);
                    r.millis = static_cast<std::int32_t>(ms - dd * 86400000.0);
                } else {
                    r.julian = DayOrThrow(d.julian + std::trunc(days), n.pos);
                }
            }
            return r;
        }
    case Op::Sub:
        if (a.type == Type::Character) {
            std::string t = RTrim(a.text);
            return Value::Char(t + b.text + std::string(a.text.size() - t.size(), ' '));
        }
        if (a.type == Type::Numeric)
            return Value::Num(a.number - b.number);
        if (b.type == Type::Numeric) {
            Value nb = b;
            nb.number = -b.number;
            Node add;
            add.op = Op::Add;
            add.pos = n.pos;
            return Arith(add, a, nb);
        }
        if (a.type == Type::DateTime)
            return Value::Num((DateNumber(a) - DateNumber(b)) * 86400.0);
        return Value::Num(static_cast<double>(a.julian) - b.julian);
    case Op::Mul:
        return Value::Num(a.number * b.number);
    case Op::Div:
        if (b.number == 0)
            throw ExprError("Division by zero", n.pos);
        return Value::Num(a.number / b.number);
    case Op::Mod: {
        if (b.number == 0)
            throw ExprError("Division by zero", n.pos);
        double r = std::fmod(a.number, b.number);
        if (r != 0 && ((r < 0) != (b.number < 0)))
            r += b.number; // the sign of the divisor, as MOD() has it
        return Value::Num(r);
    }
    case Op::Pow:
        return Value::Num(std::pow(a.number, b.number));
    default:
        break;
    }
    throw ExprError("Bad operator", n.pos);
}

} // namespace

Value FieldValue(const Node& n, const Context& ctx) {
    std::string_view raw = ctx.FieldBytes(n.field);
    switch (n.fieldType) {
    case 'N':
    case 'F': {
        std::string t(raw);
        return Value::Num(IsBlank(t) ? 0 : NumberFromText(t.c_str()));
    }
    case 'I':
        return Value::Num(static_cast<std::int32_t>(LoadLe32(raw)));
    case 'B': {
        std::uint64_t bits = LoadLe64(raw);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return Value::Num(d);
    }
    case 'Y':
        return Value::Num(static_cast<double>(static_cast<std::int64_t>(LoadLe64(raw))) / 10000.0);
    case 'D': {
        int y = 0, m = 0, d = 0;
        std::string t(raw.substr(0, std::min<std::size_t>(raw.size(), 8)));
        if (t.size() == 8 && std::sscanf(t.c_str(), "%4d%2d%2d", &y, &m, &d) == 3)
            return Value::Date(JulianFromYmd(y, m, d));
        return Value::Date(0);
    }
    case 'T': {
        Value v;
        v.type = Type::DateTime;
        v.julian = static_cast<std::int32_t>(LoadLe32(raw));
        v.millis = static_cast<std::int32_t>(LoadLe32(raw.size() > 4 ? raw.substr(4) : ""));
        if (v.julian == 0)
            v.millis = 0;
        return v;
    }
    case 'L': {
        char c = raw.empty() ? ' ' : raw[0];
        return Value::Bool(c == 'T' || c == 't' || c == 'Y' || c == 'y');
    }
    case 'M':
        return Value::Char(ctx.MemoText(n.field));
    default:
        return Value::Char(std::string(raw));
    }
}

Value EvalNode(const Node& n, const Context& ctx) {
    switch (n.op) {
    case Op::Literal:
        return n.literal;
    case Op::Field:
        return FieldValue(n, ctx);
    case Op::Call:
        return Call(n, ctx);
    case Op::Negate:
        return Value::Num(-EvalNode(*n.kids[0], ctx).number);
    case Op::Not:
        return Value::Bool(!EvalNode(*n.kids[0], ctx).logical);
    case Op::And:
        return Value::Bool(EvalNode(*n.kids[0], ctx).logical && EvalNode(*n.kids[1], ctx).logical);
    case Op::Or:
        return Value::Bool(EvalNode(*n.kids[0], ctx).logical || EvalNode(*n.kids[1], ctx).logical);
    default:
        break;
    }
    Value a = EvalNode(*n.kids[0], ctx);
    Value b = EvalNode(*n.kids[1], ctx);
    bool exact = ctx.GetSettings().exact;
    switch (n.op) {
    case Op::Eq:
        return Value::Bool(Compare(a, b, exact) == 0);
    case Op::ExactEq:
        if (a.type == Type::Character)
            return Value::Bool(a.text == b.text);
        return Value::Bool(Compare(a, b, true) == 0);
    case Op::Ne:
        return Value::Bool(Compare(a, b, exact) != 0);
    case Op::Lt:
        return Value::Bool(Compare(a, b, exact) < 0);
    case Op::Le:
        return Value::Bool(Compare(a, b, exact) <= 0);
    case Op::Gt:
        return Value::Bool(Compare(a, b, exact) > 0);
    case Op::Ge:
        return Value::Bool(Compare(a, b, exact) >= 0);
    case Op::Contains:
        return Value::Bool(!a.text.empty() && b.text.find(a.text) != std::string::npos);
    default:
        return Arith(n, a, b);
    }
}

} // namespace xbase::expr
