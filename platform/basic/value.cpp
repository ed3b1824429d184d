#include "platform/basic/value.h"

#include "platform/basic/object.h"
#include "platform/win/datetime.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace basic {

Value Value::Null() {
    Value v;
    v.type = VType::Null;
    return v;
}
Value Value::Dbl(double x) {
    if (!std::isfinite(x))
        Raise(errOverflow);
    Value v;
    v.type = VType::Double;
    v.d = x == 0 ? 0.0 : x; // no "-0"
    return v;
}
Value Value::Date(double x) {
    if (!std::isfinite(x) || x < -657434 || x > 2958465) // 100-01-01 .. 9999-12-31
        Raise(errOverflow);
    Value v;
    v.type = VType::Date;
    v.d = x;
    return v;
}
Value Value::Str(std::string s) {
    Value v;
    v.type = VType::String;
    v.s = std::move(s);
    return v;
}
Value Value::Obj(std::shared_ptr<Object> o) {
    Value v;
    v.type = VType::Object;
    v.obj = std::move(o);
    return v;
}
Value Value::Array(std::size_t count) {
    Value v;
    v.type = VType::Array;
    v.arr = std::make_shared<ArrayBox>();
    v.arr->items.resize(count);
    return v;
}

namespace {

Value CopyWithin(const Value& v, std::size_t& budget, int depthLeft) {
    if (v.type != VType::Array || !v.arr)
        return v;
    if (depthLeft <= 0 || v.arr->items.size() > budget)
        throw FatalError(errOutOfMemory, "Out of memory");
    budget -= v.arr->items.size();
    Value out;
    out.type = VType::Array;
    out.arr = std::make_shared<ArrayBox>();
    out.arr->items.reserve(v.arr->items.size());
    for (const Value& item : v.arr->items)
        out.arr->items.push_back(CopyWithin(item, budget, depthLeft - 1));
    return out;
}

} // namespace

Value Value::Copy(std::size_t maxElements, int maxDepth) const {
    return CopyWithin(*this, maxElements, maxDepth);
}

std::string ErrorText(int number) {
    switch (number) {
    case errInvalidCall:
        return "Invalid procedure call or argument";
    case errOverflow:
        return "Overflow";
    case errOutOfMemory:
        return "Out of memory";
    case errSubscript:
        return "Subscript out of range";
    case errFixedArray:
        return "This array is fixed or temporarily locked";
    case errDivByZero:
        return "Division by zero";
    case errTypeMismatch:
        return "Type mismatch";
    case errOutOfStack:
        return "Out of stack space";
    case errNotDefined:
        return "Sub or Function not defined";
    case errObjectNotSet:
        return "Object variable not set";
    case errInvalidNull:
        return "Invalid use of Null";
    case errObjectRequired:
        return "Object required";
    case errCantCreate:
        return "ActiveX component can't create object";
    case errNoMember:
        return "Object doesn't support this property or method";
    case errWrongArgs:
        return "Wrong number of arguments or invalid property assignment";
    case errUndefined:
        return "Variable is undefined";
    case errIllegalAssign:
        return "Illegal assignment";
    case errRunaway:
        return "Script stopped: statement limit reached";
    case errStopped:
        return "Script stopped by the host";
    default:
        return "Unknown runtime error";
    }
}

void Raise(int number, const std::string& detail) {
    std::string text = ErrorText(number);
    if (!detail.empty())
        text += ": '" + detail + "'";
    throw RunError(number, text);
}

Value Scalar(const Value& v) {
    if (v.type != VType::Object)
        return v;
    if (!v.obj)
        Raise(errObjectNotSet);
    std::vector<Value> args;
    Value r = v.obj->Invoke("", InvokeKind::Get, args);
    if (r.type == VType::Object)
        Raise(errNoMember);
    return r;
}

namespace {

// v itself (no copy), or for an object its default member's value, kept in held.
const Value& ScalarOf(const Value& v, ValueSlot& held) {
    return v.type == VType::Object ? held.emplace(Scalar(v)) : v;
}

} // namespace

namespace {

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    std::size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool IEquals(const std::string& a, const char* b) {
    std::size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i])
            return false;
    return true;
}

bool IsIntegral(const Value& v) {
    return v.type == VType::Long || v.type == VType::Boolean || v.type == VType::Empty;
}

} // namespace

bool ParseNumber(const std::string& text, double& out) {
    std::string s = Trim(text);
    if (s.empty())
        return false;
    std::size_t i = 0;
    bool neg = false;
    if (s[i] == '+' || s[i] == '-') {
        neg = s[i] == '-';
        ++i;
    }
    if (i < s.size() && s[i] == '&' && i + 1 < s.size()) {
        char kind = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i + 1])));
        int base = kind == 'h' ? 16 : kind == 'o' ? 8 : 0;
        if (base == 0 || i + 2 >= s.size())
            return false;
        std::uint64_t v = 0;
        auto r = std::from_chars(s.data() + i + 2, s.data() + s.size(), v, base);
        if (r.ec != std::errc() || r.ptr != s.data() + s.size() || v > 0xFFFFFFFFull)
            return false;
        // &HFFFFFFFF is -1, as a 32-bit pattern.
        double x = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
        out = neg ? -x : x;
        return true;
    }
    // Only digits, one point and an exponent: from_chars alone would accept
    // "inf" and "nan".
    bool digits = false, point = false;
    std::size_t j = i;
    for (; j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.'); ++j) {
        if (s[j] == '.') {
            if (point)
                return false;
            point = true;
        } else {
            digits = true;
        }
    }
    if (!digits)
        return false;
    if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
        ++j;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        std::size_t k = j;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))
            ++j;
        if (k == j)
            return false;
    }
    if (j != s.size())
        return false;
    double x = 0;
    auto r = std::from_chars(s.data() + i, s.data() + s.size(), x);
    if (r.ec != std::errc() || !std::isfinite(x))
        return false;
    out = neg ? -x : x;
    return true;
}

namespace {

// Reads an unsigned number of at most `maxDigits` digits.
bool ReadInt(const std::string& s, std::size_t& i, int& v, int maxDigits) {
    std::size_t start = i;
    v = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) &&
           static_cast<int>(i - start) < maxDigits) {
        v = v * 10 + (s[i] - '0');
        ++i;
    }
    return i > start;
}

bool ParseTime(const std::string& s, std::size_t& i, double& out) {
    int h = 0, n = 0, sec = 0;
    if (!ReadInt(s, i, h, 2) || i >= s.size() || s[i] != ':')
        return false;
    ++i;
    if (!ReadInt(s, i, n, 2))
        return false;
    if (i < s.size() && s[i] == ':') {
        ++i;
        if (!ReadInt(s, i, sec, 2))
            return false;
    }
    while (i < s.size() && s[i] == ' ')
        ++i;
    if (i + 2 <= s.size()) {
        std::string ampm = Lower(s.substr(i, 2));
        if (ampm == "am" || ampm == "pm") {
            if (h < 1 || h > 12)
                return false;
            h = h % 12 + (ampm == "pm" ? 12 : 0);
            i += 2;
        }
    }
    if (h > 23 || n > 59 || sec > 59)
        return false;
    out = (h * 3600 + n * 60 + sec) / 86400.0;
    return true;
}

} // namespace

bool ParseDate(const std::string& text, double& out) {
    std::string s = Trim(text);
    std::size_t i = 0;
    double day = 0, time = 0;
    bool haveDate = false;
    std::size_t save = i;
    int a = 0, b = 0, c = 0;
    if (ReadInt(s, i, a, 4) && i < s.size() && (s[i] == '/' || s[i] == '-')) {
        std::size_t firstLen = i - save;
        char sep = s[i++];
        bool ok = ReadInt(s, i, b, 2) && i < s.size() && s[i] == sep;
        if (ok) {
            ++i;
            std::size_t yStart = i;
            ok = ReadInt(s, i, c, 4);
            if (ok) {
                int year, month, dom;
                if (firstLen == 4) { // yyyy-mm-dd
                    year = a;
                    month = b;
                    dom = c;
                } else {
                    month = a;
                    dom = b;
                    year = c;
                    if (i - yStart <= 2)
                        year += year < 30 ? 2000 : 1900;
                }
                win::TDateTime t = 0;
                if (!win::TryEncodeDate(year, month, dom, t))
                    return false;
                day = t;
                haveDate = true;
            }
        }
        if (!ok)
            return false;
        while (i < s.size() && s[i] == ' ')
            ++i;
    } else {
        i = save;
    }
    if (i < s.size()) {
        if (!ParseTime(s, i, time) || i != s.size())
            return false;
    } else if (!haveDate) {
        return false;
    }
    out = day + time;
    return true;
}

double RoundHalfEven(double v) {
    double f = std::floor(v);
    double diff = v - f;
    if (diff > 0.5)
        return f + 1;
    if (diff < 0.5)
        return f;
    return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

std::string FormatNumber(double v) {
    if (v == 0)
        return "0";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    std::string s(buf, r.ptr);
    std::size_t e = s.find('e');
    if (e != std::string::npos) {
        // 1e+20 -> 1E+20, 1.5e-07 -> 1.5E-07
        std::string exp = s.substr(e + 2);
        while (exp.size() < 2)
            exp.insert(0, "0");
        s = s.substr(0, e) + "E" + s[e + 1] + exp;
    }
    return s;
}

std::string FormatDate(double v) {
    double whole = std::trunc(v);
    double frac = std::fabs(v - whole);
    long secs = std::lround(frac * 86400.0);
    if (secs >= 86400)
        secs = 86399;
    std::string out;
    if (whole != 0) {
        win::DateParts p = win::DecodeDateTime(whole);
        out = std::to_string(p.month) + "/" + std::to_string(p.day) + "/" + std::to_string(p.year);
    }
    if (secs != 0 || whole == 0) {
        int h = static_cast<int>(secs / 3600), n = static_cast<int>(secs / 60 % 60),
            s = static_cast<int>(secs % 60);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", h % 12 == 0 ? 12 : h % 12, n, s,
                      h < 12 ? "AM" : "PM");
        if (!out.empty())
            out += " ";
        out += buf;
    }
    return out;
}

double ToDouble(const Value& v0) {
    ValueSlot held;
    const Value& v = ScalarOf(v0, held);
    switch (v.type) {
    case VType::Empty:
        return 0;
    case VType::Null:
        Raise(errInvalidNull);
    case VType::Boolean:
    case VType::Long:
        return v.l;
    case VType::Double:
    case VType::Date:
        return v.d;
    case VType::String: {
        double x = 0;
        if (!ParseNumber(v.s, x))
            Raise(errTypeMismatch, v.s);
        return x;
    }
    default:
        Raise(errTypeMismatch);
    }
}

std::int32_t ToLong(const Value& v) {
    if (v.type == VType::Long || v.type == VType::Boolean)
        return v.l;
    double x = RoundHalfEven(ToDouble(v));
    if (x < INT32_MIN || x > INT32_MAX)
        Raise(errOverflow);
    return static_cast<std::int32_t>(x);
}

bool ToBool(const Value& v0) {
    ValueSlot held;
    const Value& v = ScalarOf(v0, held);
    switch (v.type) {
    case VType::Empty:
        return false;
    case VType::String: {
        if (IEquals(v.s, "true"))
            return true;
        if (IEquals(v.s, "false"))
            return false;
        double x = 0;
        if (!ParseNumber(v.s, x))
            Raise(errTypeMismatch, v.s);
        return x != 0;
    }
    default:
        return ToDouble(v) != 0;
    }
}

std::string ToStr(const Value& v0) {
    ValueSlot held;
    const Value& v = ScalarOf(v0, held);
    switch (v.type) {
    case VType::Empty:
        return {};
    case VType::Null:
        Raise(errInvalidNull);
    case VType::Boolean:
        return v.l ? "True" : "False";
    case VType::Long:
        return std::to_string(v.l);
    case VType::Double:
        return FormatNumber(v.d);
    case VType::Date:
        return FormatDate(v.d);
    case VType::String:
        return v.s;
    default:
        Raise(errTypeMismatch);
    }
}

double ToDate(const Value& v0) {
    ValueSlot held;
    const Value& v = ScalarOf(v0, held);
    if (v.type == VType::String) {
        double x = 0;
        if (ParseDate(v.s, x) || ParseNumber(v.s, x))
            return Value::Date(x).d;
        Raise(errTypeMismatch, v.s);
    }
    return Value::Date(ToDouble(v)).d;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool SameObject(const Value& a, const Value& b) {
    if (a.type != VType::Object || b.type != VType::Object)
        Raise(errObjectRequired);
    if (!a.obj || !b.obj)
        return !a.obj && !b.obj;
    return a.obj->Identity() == b.obj->Identity();
}

Value Compare(const Value& a0, const Value& b0, bool textCompare) {
    if (a0.type == VType::Object || b0.type == VType::Object) {
        const Value a = Scalar(a0), b = Scalar(b0);
        return Compare(a, b, textCompare);
    }
    const Value& a = a0;
    const Value& b = b0;
    if (a.type == VType::Null || b.type == VType::Null)
        return Value::Null();
    if (a.type == VType::Array || b.type == VType::Array)
        Raise(errTypeMismatch);
    auto sign = [](auto x, auto y) { return Value::Long(x < y ? -1 : x > y ? 1 : 0); };
    bool as = a.type == VType::String, bs = b.type == VType::String;
    if (as && bs) {
        if (textCompare)
            return sign(Lower(a.s).compare(Lower(b.s)), 0);
        return sign(a.s.compare(b.s), 0);
    }
    if (as || bs) {
        const Value& str = as ? a : b;
        const Value& other = as ? b : a;
        int flip = as ? -1 : 1; // result is from other's point of view, then flipped
        if (other.type == VType::Empty)
            return sign(as ? a.s.compare("") : std::string().compare(b.s), 0);
        double x = 0;
        int r;
        if (ParseNumber(str.s, x)) {
            double o = ToDouble(other);
            r = o < x ? -1 : o > x ? 1 : 0;
        } else {
            r = -1; // a number sorts before a text
        }
        return Value::Long(r * flip);
    }
    return sign(ToDouble(a), ToDouble(b));
}

Value Negate(const Value& v0) {
    ValueSlot held;
    const Value& v = ScalarOf(v0, held);
    switch (v.type) {
    case VType::Null:
        return v;
    case VType::Empty:
        return Value::Long(0);
    case VType::Boolean:
    case VType::Long:
        return Value::Long(-static_cast<std::int64_t>(v.l));
    case VType::Date:
        return Value::Date(-v.d);
    default:
        return Value::Dbl(-ToDouble(v));
    }
}

Value Not(const Value& v0) {
    ValueSlot held;
    const Value& v = ScalarOf(v0, held);
    if (v.type == VType::Null)
        return v;
    if (v.type == VType::Boolean)
        return Value::Bool(!v.l);
    return Value::Long(~ToLong(v));
}

namespace {

Value Logic(BinOp op, const Value& a, const Value& b) {
    bool an = a.type == VType::Null, bn = b.type == VType::Null;
    if (an || bn) {
        // False And Null is False, True Or Null is True; otherwise Null.
        const Value& other = an ? b : a;
        if (!(an && bn) && other.type == VType::Boolean) {
            if (op == BinOp::And && !other.l)
                return Value::Bool(false);
            if (op == BinOp::Or && other.l)
                return Value::Bool(true);
        }
        return Value::Null();
    }
    std::int32_t x = ToLong(a), y = ToLong(b);
    std::int32_t r = op == BinOp::And ? (x & y) : op == BinOp::Or ? (x | y) : (x ^ y);
    if (a.type == VType::Boolean && b.type == VType::Boolean)
        return Value::Bool(r != 0);
    return Value::Long(r);
}

} // namespace

Value Binary(BinOp op, const Value& a0, const Value& b0) {
    if (a0.type == VType::Long && b0.type == VType::Long) {
        // The loops' common case, as the general rules below would have it.
        const std::int64_t x = a0.l, y = b0.l;
        switch (op) {
        case BinOp::Add:
            return Value::Long(x + y);
        case BinOp::Sub:
            return Value::Long(x - y);
        case BinOp::Mul:
            return Value::Long(x * y);
        case BinOp::IntDiv:
        case BinOp::Mod:
            if (y == 0)
                Raise(errDivByZero);
            return Value::Long(op == BinOp::IntDiv ? x / y : x % y);
        case BinOp::Eq:
            return Value::Bool(x == y);
        case BinOp::Ne:
            return Value::Bool(x != y);
        case BinOp::Lt:
            return Value::Bool(x < y);
        case BinOp::Gt:
            return Value::Bool(x > y);
        case BinOp::Le:
            return Value::Bool(x <= y);
        case BinOp::Ge:
            return Value::Bool(x >= y);
        default:
            break;
        }
    }
    if (op == BinOp::Is)
        return Value::Bool(SameObject(a0, b0));
    if (a0.type == VType::Object || b0.type == VType::Object) {
        const Value a = Scalar(a0), b = Scalar(b0);
        return Binary(op, a, b);
    }
    const Value& a = a0;
    const Value& b = b0;
    switch (op) {
    case BinOp::Cat: {
        if (a.type == VType::Null && b.type == VType::Null)
            return Value::Null();
        // Strings are joined in one piece, without copies of their own.
        std::string ta, tb;
        const std::string& sa = a.type == VType::String ? a.s
                                : a.type == VType::Null ? ta
                                                        : (ta = ToStr(a));
        const std::string& sb = b.type == VType::String ? b.s
                                : b.type == VType::Null ? tb
                                                        : (tb = ToStr(b));
        std::string s;
        s.reserve(sa.size() + sb.size());
        s.append(sa).append(sb);
        return Value::Str(std::move(s));
    }
    case BinOp::Eq:
    case BinOp::Ne:
    case BinOp::Lt:
    case BinOp::Gt:
    case BinOp::Le:
    case BinOp::Ge: {
        Value c = Compare(a, b);
        if (c.type == VType::Null)
            return c;
        int r = c.l;
        bool t = op == BinOp::Eq   ? r == 0
                 : op == BinOp::Ne ? r != 0
                 : op == BinOp::Lt ? r < 0
                 : op == BinOp::Gt ? r > 0
                 : op == BinOp::Le ? r <= 0
                                   : r >= 0;
        return Value::Bool(t);
    }
    case BinOp::And:
    case BinOp::Or:
    case BinOp::Xor:
        return Logic(op, a, b);
    default:
        break;
    }
    if (a.type == VType::Null || b.type == VType::Null)
        return Value::Null();
    switch (op) {
    case BinOp::Add:
        if (a.type == VType::String && (b.type == VType::String || b.type == VType::Empty))
            return Value::Str(a.s + b.s);
        if (b.type == VType::String && a.type == VType::Empty)
            return b;
        [[fallthrough]];
    case BinOp::Sub: {
        bool sub = op == BinOp::Sub;
        if (IsIntegral(a) && IsIntegral(b)) {
            std::int64_t x = a.type == VType::Empty ? 0 : a.l, y = b.type == VType::Empty ? 0 : b.l;
            return Value::Long(sub ? x - y : x + y);
        }
        double r = sub ? ToDouble(a) - ToDouble(b) : ToDouble(a) + ToDouble(b);
        bool ad = a.type == VType::Date, bd = b.type == VType::Date;
        if ((ad || bd) && !(sub && ad && bd))
            return Value::Date(r);
        return Value::Dbl(r);
    }
    case BinOp::Mul:
        if (IsIntegral(a) && IsIntegral(b)) {
            std::int64_t x = a.type == VType::Empty ? 0 : a.l, y = b.type == VType::Empty ? 0 : b.l;
            return Value::Long(x * y);
        }
        return Value::Dbl(ToDouble(a) * ToDouble(b));
    case BinOp::Div: {
        double x = ToDouble(a), y = ToDouble(b);
        if (y == 0)
            Raise(x == 0 ? errOverflow : errDivByZero);
        return Value::Dbl(x / y);
    }
    case BinOp::IntDiv:
    case BinOp::Mod: {
        std::int64_t x = ToLong(a), y = ToLong(b);
        if (y == 0)
            Raise(errDivByZero);
        return Value::Long(op == BinOp::IntDiv ? x / y : x % y);
    }
    case BinOp::Pow: {
        double x = ToDouble(a), y = ToDouble(b);
        double r = std::pow(x, y);
        if (std::isnan(r))
            Raise(errInvalidCall);
        return Value::Dbl(r);
    }
    default:
        Raise(errTypeMismatch);
    }
}

} // namespace basic
