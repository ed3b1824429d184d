#include "platform/basic/builtins_p.h"

#include "platform/basic/interp_p.h"
#include "platform/win/datetime.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace basic {

namespace {

using Args = const std::span<const Value>;

bool IsNull(const Value& v) {
    return v.type == VType::Null;
}
bool Given(const Args& a, std::size_t i) {
    return i < a.size() && a[i].type != VType::Empty;
}

// Positions and lengths from the script: 1-based, never negative.
std::size_t Count(const Value& v) {
    std::int32_t n = ToLong(v);
    if (n < 0)
        Raise(errInvalidCall);
    return static_cast<std::size_t>(n);
}

// The value as 15 digits show it, so that 2.675 (held as 2.67499...) rounds
// as written.
double Reread(double x) {
    double out = x;
    ParseNumber(FormatNumber(x), out);
    return out;
}

bool TextCompare(const Args& a, std::size_t i) {
    return Given(a, i) && ToLong(a[i]) == 1;
}

std::size_t Find(const std::string& s, const std::string& what, std::size_t from, bool text) {
    if (!text)
        return s.find(what, from);
    return Lower(s).find(Lower(what), from);
}

std::size_t FindRev(const std::string& s, const std::string& what, std::size_t from, bool text) {
    if (!text)
        return s.rfind(what, from);
    return Lower(s).rfind(Lower(what), from);
}

// ---- strings

Value Len(Interp&, Args& a) {
    if (IsNull(a[0]))
        return a[0];
    return Value::Long(
        static_cast<std::int64_t>(a[0].type == VType::String ? a[0].s.size() : ToStr(a[0]).size()));
}

bool LenWhole(const Value& a, std::int64_t& out) {
    if (a.type != VType::String)
        return false;
    out = static_cast<std::int64_t>(a.s.size());
    return out <= INT32_MAX;
}

Value Left(Interp&, Args& a) {
    if (IsNull(a[0]))
        return a[0];
    std::string s = ToStr(a[0]);
    return Value::Str(s.substr(0, std::min(Count(a[1]), s.size())));
}

Value Right(Interp&, Args& a) {
    if (IsNull(a[0]))
        return a[0];
    std::string s = ToStr(a[0]);
    std::size_t n = std::min(Count(a[1]), s.size());
    return Value::Str(s.substr(s.size() - n));
}

Value Mid(Interp&, Args& a) {
    if (IsNull(a[0]))
        return a[0];
    std::string s = ToStr(a[0]);
    std::size_t start = Count(a[1]);
    if (start < 1)
        Raise(errInvalidCall);
    if (start > s.size())
        return Value::Str("");
    std::size_t n = a.size() > 2 ? Count(a[2]) : std::string::npos;
    return Value::Str(s.substr(start - 1, n));
}

Value InStr(Interp&, Args& a) {
    std::size_t start = 1, i = 0;
    if (a.size() >= 3) {
        start = Count(a[0]);
        if (start < 1)
            Raise(errInvalidCall);
        i = 1;
    } else if (a.size() < 2) {
        Raise(errWrongArgs, "InStr");
    }
    if (IsNull(a[i]) || IsNull(a[i + 1]))
        return Value::Null();
    std::string s = ToStr(a[i]), what = ToStr(a[i + 1]);
    if (start > s.size())
        return Value::Long(0);
    if (what.empty())
        return Value::Long(static_cast<std::int64_t>(start));
    std::size_t p = Find(s, what, start - 1, TextCompare(a, i + 2));
    return Value::Long(p == std::string::npos ? 0 : static_cast<std::int64_t>(p + 1));
}

Value InStrRev(Interp&, Args& a) {
    if (IsNull(a[0]) || IsNull(a[1]))
        return Value::Null();
    std::string s = ToStr(a[0]), what = ToStr(a[1]);
    std::int32_t start = Given(a, 2) ? ToLong(a[2]) : -1;
    if (start == 0 || start < -1)
        Raise(errInvalidCall);
    if (start == -1)
        start = static_cast<std::int32_t>(s.size());
    if (static_cast<std::size_t>(start) > s.size())
        return Value::Long(0);
    if (what.empty())
        return Value::Long(start);
    if (what.size() > static_cast<std::size_t>(start))
        return Value::Long(0);
    std::size_t p =
        FindRev(s, what, static_cast<std::size_t>(start) - what.size(), TextCompare(a, 3));
    return Value::Long(p == std::string::npos ? 0 : static_cast<std::int64_t>(p + 1));
}

Value Replace(Interp& in, Args& a) {
    if (IsNull(a[0]))
        return a[0];
    std::string s = ToStr(a[0]), what = ToStr(a[1]), with = ToStr(a[2]);
    std::size_t start = Given(a, 3) ? Count(a[3]) : 1;
    if (start < 1)
        Raise(errInvalidCall);
    std::int32_t count = Given(a, 4) ? ToLong(a[4]) : -1;
    if (count < -1)
        Raise(errInvalidCall);
    bool text = TextCompare(a, 5);
    // The result starts at `start`, as the dialect has it.
    s = start > s.size() ? std::string() : s.substr(start - 1);
    if (what.empty() || count == 0)
        return Value::Str(s);
    std::string out;
    std::size_t pos = 0;
    for (std::int32_t done = 0; count == -1 || done < count; ++done) {
        std::size_t hit = Find(s, what, pos, text);
        if (hit == std::string::npos)
            break;
        out.append(s, pos, hit - pos);
        out += with;
        in.CheckString(out.size());
        pos = hit + what.size();
    }
    out.append(s, pos, std::string::npos);
    return Value::Str(std::move(out));
}

Value Split(Interp& in, Args& a) {
    if (IsNull(a[0]))
        Raise(errInvalidNull);
    std::string s = ToStr(a[0]);
    std::string delim = a.size() > 1 && a[1].type != VType::Empty ? ToStr(a[1]) : " ";
    std::int32_t count = Given(a, 2) ? ToLong(a[2]) : -1;
    if (count < -1)
        Raise(errInvalidCall);
    bool text = TextCompare(a, 3);
    Value out = Value::Array(0);
    if (s.empty() || count == 0)
        return out;
    std::vector<Value>& items = out.arr->items;
    if (delim.empty()) {
        items.push_back(Value::Str(s));
        return out;
    }
    std::size_t pos = 0;
    for (;;) {
        if (count != -1 && static_cast<std::int32_t>(items.size()) == count - 1)
            break;
        std::size_t hit = Find(s, delim, pos, text);
        if (hit == std::string::npos)
            break;
        items.push_back(Value::Str(s.substr(pos, hit - pos)));
        in.CheckArray(items.size());
        pos = hit + delim.size();
    }
    items.push_back(Value::Str(s.substr(pos)));
    return out;
}

Value Join(Interp& in, Args& a) {
    if (a[0].type != VType::Array)
        Raise(errTypeMismatch, "Join");
    std::string delim = a.size() > 1 ? ToStr(a[1]) : " ";
    std::string out;
    bool first = true;
    for (const Value& v : a[0].arr->items) {
        if (!first)
            out += delim;
        first = false;
        out += IsNull(v) ? std::string() : ToStr(v);
        in.CheckString(out.size());
    }
    return Value::Str(std::move(out));
}

Value UCase(Interp&, Args& a) {
    return IsNull(a[0]) ? a[0] : Value::Str(Upper(ToStr(a[0])));
}
Value LCase(Interp&, Args& a) {
    return IsNull(a[0]) ? a[0] : Value::Str(Lower(ToStr(a[0])));
}

Value TrimSides(const Value& v, bool left, bool right) {
    if (IsNull(v))
        return v;
    std::string s = ToStr(v);
    std::size_t b = 0, e = s.size();
    if (left)
        while (b < e && s[b] == ' ')
            ++b;
    if (right)
        while (e > b && s[e - 1] == ' ')
            --e;
    return Value::Str(s.substr(b, e - b));
}
Value Trim(Interp&, Args& a) {
    return TrimSides(a[0], true, true);
}
Value LTrim(Interp&, Args& a) {
    return TrimSides(a[0], true, false);
}
Value RTrim(Interp&, Args& a) {
    return TrimSides(a[0], false, true);
}

Value Space(Interp& in, Args& a) {
    std::size_t n = Count(a[0]);
    in.CheckString(n);
    return Value::Str(std::string(n, ' '));
}

Value String(Interp& in, Args& a) {
    std::size_t n = Count(a[0]);
    in.CheckString(n);
    if (IsNull(a[1]))
        return a[1];
    char c;
    if (a[1].type == VType::String) {
        if (a[1].s.empty())
            Raise(errInvalidCall);
        c = a[1].s[0];
    } else {
        c = static_cast<char>(ToLong(a[1]) & 0xFF);
    }
    return Value::Str(std::string(n, c));
}

Value Str(Interp&, Args& a) {
    if (IsNull(a[0]))
        return a[0];
    double d = ToDouble(a[0]);
    std::string s = ToStr(a[0].type == VType::String ? Value::Dbl(d) : a[0]);
    return Value::Str(d >= 0 ? " " + s : s);
}

// The number at the start of the text; blanks anywhere are skipped.
Value Val(Interp&, Args& a) {
    std::string s = ToStr(a[0]), t;
    for (char c : s)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            t += c;
    double best = 0;
    for (std::size_t n = t.size(); n > 0; --n) {
        double x = 0;
        if (ParseNumber(t.substr(0, n), x)) {
            best = x;
            break;
        }
    }
    return Value::Dbl(best);
}

Value Chr(Interp&, Args& a) {
    std::int32_t n = ToLong(a[0]);
    if (n < 0 || n > 255)
        Raise(errInvalidCall);
    return Value::Str(std::string(1, static_cast<char>(n)));
}

Value Asc(Interp&, Args& a) {
    std::string s = ToStr(a[0]);
    if (s.empty())
        Raise(errInvalidCall);
    return Value::Long(static_cast<unsigned char>(s[0]));
}

// ---- conversions

Value CStr(Interp&, Args& a) {
    return Value::Str(ToStr(a[0]));
}
Value CInt(Interp&, Args& a) {
    std::int32_t v = ToLong(a[0]);
    if (v < -32768 || v > 32767)
        Raise(errOverflow);
    return Value::Long(v);
}
Value CLng(Interp&, Args& a) {
    return Value::Long(ToLong(a[0]));
}
Value CDbl(Interp&, Args& a) {
    return Value::Dbl(ToDouble(a[0]));
}
Value CBool(Interp&, Args& a) {
    return Value::Bool(ToBool(a[0]));
}
Value CDate(Interp&, Args& a) {
    return Value::Date(ToDate(a[0]));
}

Value IsNumeric(Interp&, Args& a) {
    Value v = a[0].type == VType::Object && a[0].obj ? Scalar(a[0]) : a[0];
    double x;
    switch (v.type) {
    case VType::Empty:
    case VType::Boolean:
    case VType::Long:
    case VType::Double:
        return Value::Bool(true);
    case VType::String:
        return Value::Bool(ParseNumber(v.s, x));
    default:
        return Value::Bool(false);
    }
}

Value IsDate(Interp&, Args& a) {
    double x;
    if (a[0].type == VType::Date)
        return Value::Bool(true);
    return Value::Bool(a[0].type == VType::String && ParseDate(a[0].s, x));
}

Value IsEmpty(Interp&, Args& a) {
    return Value::Bool(a[0].type == VType::Empty);
}
Value IsNullFn(Interp&, Args& a) {
    return Value::Bool(a[0].type == VType::Null);
}
Value IsObject(Interp&, Args& a) {
    return Value::Bool(a[0].type == VType::Object);
}

// ---- numbers

Value Abs(Interp&, Args& a) {
    if (IsNull(a[0]))
        return a[0];
    if (a[0].type == VType::Long || a[0].type == VType::Boolean)
        return Value::Long(std::abs(static_cast<std::int64_t>(a[0].l)));
    return Value::Dbl(std::fabs(ToDouble(a[0])));
}

Value Rounded(const Value& v, double (*f)(double)) {
    if (IsNull(v))
        return v;
    if (v.type == VType::Long || v.type == VType::Boolean || v.type == VType::Empty)
        return Value::Long(v.l);
    double r = f(ToDouble(v));
    return v.type == VType::Date ? Value::Date(r) : Value::Dbl(r);
}
Value Int(Interp&, Args& a) {
    return Rounded(a[0], [](double x) { return std::floor(x); });
}
Value Fix(Interp&, Args& a) {
    return Rounded(a[0], [](double x) { return std::trunc(x); });
}

Value Round(Interp&, Args& a) {
    if (IsNull(a[0]))
        return a[0];
    std::int32_t places = a.size() > 1 ? ToLong(a[1]) : 0;
    if (places < 0 || places > 15)
        Raise(errInvalidCall);
    if (places == 0 && (a[0].type == VType::Long || a[0].type == VType::Boolean))
        return Value::Long(a[0].l);
    double x = ToDouble(a[0]);
    double scale = std::pow(10.0, places);
    double scaled = Reread(x * scale);
    return Value::Dbl(RoundHalfEven(scaled) / scale);
}

Value Sqr(Interp&, Args& a) {
    double x = ToDouble(a[0]);
    if (x < 0)
        Raise(errInvalidCall);
    return Value::Dbl(std::sqrt(x));
}

Value Rnd(Interp& in, Args& a) {
    double arg = a.empty() ? 1 : ToDouble(a[0]);
    return Value::Dbl(in.NextRandom(arg));
}

Value Randomize(Interp& in, Args& a) {
    in.Randomize(a.empty() ? win::Now() * 86400.0 : ToDouble(a[0]));
    return {};
}

// ---- dates

Value Now(Interp&, Args&) {
    return Value::Date(win::Now());
}
Value Date(Interp&, Args&) {
    return Value::Date(std::floor(win::Now()));
}
Value Time(Interp&, Args&) {
    double t = win::Now();
    return Value::Date(t - std::floor(t));
}

// Whole seconds of the time of day, and the date's parts.
struct Stamp {
    int year, month, day, hour, minute, second;
    double days; // whole days
};

Stamp Parts(double v) {
    double whole = std::trunc(v);
    long secs = std::lround(std::fabs(v - whole) * 86400.0);
    if (secs >= 86400)
        secs = 86399;
    win::DateParts p = win::DecodeDateTime(whole);
    return {p.year,
            p.month,
            p.day,
            static_cast<int>(secs / 3600),
            static_cast<int>(secs / 60 % 60),
            static_cast<int>(secs % 60),
            whole};
}

template <int Stamp::*Field> Value Part(Interp&, Args& a) {
    if (IsNull(a[0]))
        return a[0];
    return Value::Long(Parts(ToDate(a[0])).*Field);
}

double MakeDate(int year, int month, int day, double timeOfDay) {
    win::TDateTime t = 0;
    if (!win::TryEncodeDate(year, month, day, t))
        Raise(errInvalidCall);
    return t + (t < 0 ? -timeOfDay : timeOfDay);
}

double TimeOfDay(double v) {
    return std::fabs(v - std::trunc(v));
}

Value DateAdd(Interp&, Args& a) {
    std::string unit = Lower(ToStr(a[0]));
    double n = std::trunc(ToDouble(a[1]));
    double d = ToDate(a[2]);
    if (std::fabs(n) > 1e7 * 366)
        Raise(errInvalidCall);
    if (unit == "yyyy" || unit == "q" || unit == "m") {
        long months = static_cast<long>(n) * (unit == "yyyy" ? 12 : unit == "q" ? 3 : 1);
        Stamp s = Parts(d);
        long total = s.year * 12L + (s.month - 1) + months;
        int year = static_cast<int>(total / 12), month = static_cast<int>(total % 12) + 1;
        if (year < 100 || year > 9999)
            Raise(errInvalidCall);
        int day = std::min(s.day, win::DaysInMonth(year, month));
        return Value::Date(MakeDate(year, month, day, TimeOfDay(d)));
    }
    double perDay;
    if (unit == "d" || unit == "y" || unit == "w")
        perDay = 1;
    else if (unit == "ww")
        perDay = 1.0 / 7;
    else if (unit == "h")
        perDay = 24;
    else if (unit == "n")
        perDay = 24 * 60;
    else if (unit == "s")
        perDay = 24 * 3600;
    else
        Raise(errInvalidCall);
    return Value::Date(d + n / perDay);
}

Value DateDiff(Interp&, Args& a) {
    std::string unit = Lower(ToStr(a[0]));
    double d1 = ToDate(a[1]), d2 = ToDate(a[2]);
    Stamp s1 = Parts(d1), s2 = Parts(d2);
    if (unit == "yyyy")
        return Value::Long(s2.year - s1.year);
    if (unit == "q")
        return Value::Long((s2.year * 4 + (s2.month - 1) / 3) - (s1.year * 4 + (s1.month - 1) / 3));
    if (unit == "m")
        return Value::Long((s2.year * 12 + s2.month) - (s1.year * 12 + s1.month));
    if (unit == "d" || unit == "y")
        return Value::Long(static_cast<std::int64_t>(s2.days - s1.days));
    if (unit == "w")
        return Value::Long(static_cast<std::int64_t>((s2.days - s1.days) / 7));
    if (unit == "ww") {
        // Sundays crossed: day 1 (1899-12-31) was a Sunday.
        auto week = [](double days) { return std::floor((days - 1) / 7); };
        return Value::Long(static_cast<std::int64_t>(week(s2.days) - week(s1.days)));
    }
    auto secs = [](const Stamp& s) {
        return static_cast<std::int64_t>(s.days) * 86400 + s.hour * 3600 + s.minute * 60 + s.second;
    };
    std::int64_t t1 = secs(s1), t2 = secs(s2);
    auto boundaries = [&](std::int64_t unitSecs) {
        auto floorDiv = [](std::int64_t x, std::int64_t y) {
            return x / y - ((x % y != 0) && ((x < 0) != (y < 0)));
        };
        return Value::Long(floorDiv(t2, unitSecs) - floorDiv(t1, unitSecs));
    };
    if (unit == "h")
        return boundaries(3600);
    if (unit == "n")
        return boundaries(60);
    if (unit == "s")
        return boundaries(1);
    Raise(errInvalidCall);
}

// ---- Format

const char* const kMonths[] = {"January",   "February", "March",    "April",
                               "May",       "June",     "July",     "August",
                               "September", "October",  "November", "December"};
const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                             "Thursday", "Friday", "Saturday"};

std::string Pad2(int v) {
    return (v < 10 ? "0" : "") + std::to_string(v);
}

std::string FormatDateWith(double v, const std::string& f) {
    Stamp s = Parts(v);
    int dow = win::DecodeDateTime(s.days).dayOfWeek; // 1 = Sunday
    std::string out;
    bool afterHour = false;
    for (std::size_t i = 0; i < f.size();) {
        auto starts = [&](const char* tok) {
            std::size_t n = std::char_traits<char>::length(tok);
            return Lower(f.substr(i, n)) == tok;
        };
        if (f[i] == '"') {
            std::size_t e = f.find('"', i + 1);
            if (e == std::string::npos)
                e = f.size();
            out += f.substr(i + 1, e - i - 1);
            i = e + 1;
        } else if (f[i] == '\\' && i + 1 < f.size()) {
            out += f[i + 1];
            i += 2;
        } else if (starts("am/pm")) {
            out += s.hour < 12 ? "AM" : "PM";
            i += 5;
        } else if (starts("yyyy")) {
            out += std::to_string(s.year);
            i += 4;
        } else if (starts("yy")) {
            out += Pad2(s.year % 100);
            i += 2;
        } else if (starts("mmmm")) {
            out += kMonths[s.month - 1];
            i += 4;
        } else if (starts("mmm")) {
            out += std::string(kMonths[s.month - 1]).substr(0, 3);
            i += 3;
        } else if (starts("mm") || starts("m")) {
            bool two = starts("mm");
            int v2 = afterHour ? s.minute : s.month;
            out += two ? Pad2(v2) : std::to_string(v2);
            i += two ? 2 : 1;
            afterHour = false;
            continue;
        } else if (starts("nn")) {
            out += Pad2(s.minute);
            i += 2;
        } else if (starts("n")) {
            out += std::to_string(s.minute);
            i += 1;
        } else if (starts("dddd")) {
            out += kDays[dow - 1];
            i += 4;
        } else if (starts("ddd")) {
            out += std::string(kDays[dow - 1]).substr(0, 3);
            i += 3;
        } else if (starts("dd")) {
            out += Pad2(s.day);
            i += 2;
        } else if (starts("d")) {
            out += std::to_string(s.day);
            i += 1;
        } else if (starts("hh") || starts("h")) {
            bool two = starts("hh");
            bool twelve = Lower(f).find("am/pm") != std::string::npos;
            int h = twelve ? (s.hour % 12 == 0 ? 12 : s.hour % 12) : s.hour;
            out += two ? Pad2(h) : std::to_string(h);
            i += two ? 2 : 1;
            afterHour = true;
            continue;
        } else if (starts("ss")) {
            out += Pad2(s.second);
            i += 2;
        } else if (starts("s")) {
            out += std::to_string(s.second);
            i += 1;
        } else {
            out += f[i++];
            continue;
        }
        afterHour = false;
    }
    return out;
}

std::string Group(std::string digits) {
    std::string out;
    int n = 0;
    for (std::size_t i = digits.size(); i > 0; --i) {
        if (n && n % 3 == 0)
            out.insert(out.begin(), ',');
        out.insert(out.begin(), digits[i - 1]);
        ++n;
    }
    return out;
}

std::string FormatNumberWith(double x, const std::string& f) {
    // One section: literal text around a pattern of 0, #, ",", "." and "%".
    std::size_t first = f.find_first_of("0#.");
    std::size_t last = f.find_last_of("0#.,");
    if (first == std::string::npos)
        return f;
    std::string prefix = f.substr(0, first), pattern = f.substr(first, last - first + 1),
                suffix = f.substr(last + 1);
    bool percent = f.find('%') != std::string::npos;
    if (percent)
        x *= 100;
    std::size_t dot = pattern.find('.');
    std::string intPart = pattern.substr(0, dot);
    std::string decPart = dot == std::string::npos ? "" : pattern.substr(dot + 1);
    // Beyond 30 places a double has nothing left to show.
    int decimals = std::min<int>(
        30, static_cast<int>(std::count_if(decPart.begin(), decPart.end(),
                                           [](char c) { return c == '0' || c == '#'; })));
    int minDecimals =
        std::min<int>(decimals, static_cast<int>(std::count(decPart.begin(), decPart.end(), '0')));
    int minInt = static_cast<int>(std::count(intPart.begin(), intPart.end(), '0'));
    bool grouping = intPart.find(',') != std::string::npos;
    double scale = std::pow(10.0, decimals);
    double r = std::round(Reread(std::fabs(x) * scale)) / scale; // Format rounds half up
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, r);
    std::string s(buf);
    for (char& c : s) // a C locale with another point must not leak in
        if (c == ',')
            c = '.';
    std::string ip = s.substr(0, s.find('.'));
    std::string dp = decimals ? s.substr(s.find('.') + 1) : "";
    while (static_cast<int>(dp.size()) > minDecimals && !dp.empty() && dp.back() == '0')
        dp.pop_back();
    if (ip == "0" && minInt == 0)
        ip.clear();
    while (static_cast<int>(ip.size()) < minInt)
        ip.insert(0, "0");
    if (grouping)
        ip = Group(ip);
    std::string out = ip;
    if (!dp.empty() || (dot != std::string::npos && minDecimals > 0))
        out += "." + dp;
    bool negative = x < 0 && (r != 0);
    return (negative ? "-" : "") + prefix + out + suffix;
}

Value Format(Interp&, Args& a) {
    const Value& v = a[0];
    if (IsNull(v))
        return v;
    if (a.size() < 2 || ToStr(a[1]).empty())
        return Value::Str(ToStr(v));
    std::string f = ToStr(a[1]), lf = Lower(f);
    bool isDate = v.type == VType::Date;
    double num = 0;
    bool isNum = v.type != VType::String ? v.IsNumericType() || v.type == VType::Empty
                                         : ParseNumber(v.s, num);
    if (lf == "general date")
        return Value::Str(FormatDate(ToDate(v)));
    if (lf == "long date")
        return Value::Str(FormatDateWith(ToDate(v), "dddd, mmmm d, yyyy"));
    if (lf == "short date")
        return Value::Str(FormatDateWith(ToDate(v), "m/d/yyyy"));
    if (lf == "long time")
        return Value::Str(FormatDateWith(ToDate(v), "h:nn:ss AM/PM"));
    if (lf == "short time")
        return Value::Str(FormatDateWith(ToDate(v), "hh:nn"));
    if (lf == "general number")
        return Value::Str(FormatNumber(ToDouble(v)));
    if (lf == "fixed")
        return Value::Str(FormatNumberWith(ToDouble(v), "0.00"));
    if (lf == "standard")
        return Value::Str(FormatNumberWith(ToDouble(v), "#,##0.00"));
    if (lf == "percent")
        return Value::Str(FormatNumberWith(ToDouble(v), "0.00%"));
    if (lf == "yes/no" || lf == "true/false" || lf == "on/off") {
        bool b = ToBool(v);
        if (lf == "yes/no")
            return Value::Str(b ? "Yes" : "No");
        if (lf == "on/off")
            return Value::Str(b ? "On" : "Off");
        return Value::Str(b ? "True" : "False");
    }
    double dateValue = 0;
    if (isDate || (v.type == VType::String && !isNum && ParseDate(v.s, dateValue)))
        return Value::Str(FormatDateWith(isDate ? v.d : dateValue, f));
    if (isNum)
        return Value::Str(FormatNumberWith(ToDouble(v), f));
    return Value::Str(ToStr(v));
}

// ---- arrays, objects, log

Value ArrayFn(Interp& in, Args& a) {
    in.CheckArray(a.size());
    Value out = Value::Array(0);
    for (const Value& v : a)
        out.arr->items.push_back(in.CopyOf(v));
    return out;
}

Value UBound(Interp&, Args& a) {
    if (a[0].type != VType::Array)
        Raise(errTypeMismatch, "UBound");
    if (a.size() > 1 && ToLong(a[1]) != 1)
        Raise(errSubscript);
    return Value::Long(static_cast<std::int64_t>(a[0].arr->items.size()) - 1);
}

Value LBound(Interp&, Args& a) {
    if (a[0].type != VType::Array)
        Raise(errTypeMismatch, "LBound");
    return Value::Long(0);
}

Value CreateObject(Interp& in, Args& a) {
    return Value::Obj(in.CreateObject(ToStr(a[0])));
}

// No window: the text goes to the host's log and the answer is the box's
// default button, as if the user had pressed Enter.
Value MsgBox(Interp& in, Args& a) {
    in.Log(IsNull(a[0]) ? std::string("Null") : ToStr(a[0]));
    std::int32_t flags = Given(a, 1) ? ToLong(a[1]) : 0;
    static const int answers[6][3] = {{1, 1, 1}, {1, 2, 2}, {3, 4, 5},
                                      {6, 7, 2}, {6, 7, 7}, {4, 2, 2}};
    int kind = flags & 0xF;
    int button = (flags >> 8) & 0x3;
    if (kind > 5 || button > 2)
        return Value::Long(1);
    return Value::Long(answers[kind][button]);
}

const std::unordered_map<std::string, Builtin>& Table() {
    static const std::unordered_map<std::string, Builtin> table = {
        {"len", {Len, 1, 1, LenWhole}},
        {"left", {Left, 2, 2}},
        {"right", {Right, 2, 2}},
        {"mid", {Mid, 2, 3}},
        {"instr", {InStr, 2, 4}},
        {"instrrev", {InStrRev, 2, 4}},
        {"replace", {Replace, 3, 6}},
        {"split", {Split, 1, 4}},
        {"join", {Join, 1, 2}},
        {"ucase", {UCase, 1, 1}},
        {"lcase", {LCase, 1, 1}},
        {"trim", {Trim, 1, 1}},
        {"ltrim", {LTrim, 1, 1}},
        {"rtrim", {RTrim, 1, 1}},
        {"space", {Space, 1, 1}},
        {"string", {String, 2, 2}},
        {"str", {Str, 1, 1}},
        {"val", {Val, 1, 1}},
        {"cstr", {CStr, 1, 1}},
        {"cint", {CInt, 1, 1}},
        {"clng", {CLng, 1, 1}},
        {"cdbl", {CDbl, 1, 1}},
        {"cbool", {CBool, 1, 1}},
        {"cdate", {CDate, 1, 1}},
        {"chr", {Chr, 1, 1}},
        {"asc", {Asc, 1, 1}},
        {"now", {Now, 0, 0}},
        {"date", {Date, 0, 0}},
        {"time", {Time, 0, 0}},
        {"year", {Part<&Stamp::year>, 1, 1}},
        {"month", {Part<&Stamp::month>, 1, 1}},
        {"day", {Part<&Stamp::day>, 1, 1}},
        {"hour", {Part<&Stamp::hour>, 1, 1}},
        {"minute", {Part<&Stamp::minute>, 1, 1}},
        {"second", {Part<&Stamp::second>, 1, 1}},
        {"dateadd", {DateAdd, 3, 3}},
        {"datediff", {DateDiff, 3, 5}},
        {"format", {Format, 1, 4}},
        {"isnumeric", {IsNumeric, 1, 1}},
        {"isdate", {IsDate, 1, 1}},
        {"isempty", {IsEmpty, 1, 1}},
        {"isnull", {IsNullFn, 1, 1}},
        {"isobject", {IsObject, 1, 1}},
        {"abs", {Abs, 1, 1}},
        {"int", {Int, 1, 1}},
        {"fix", {Fix, 1, 1}},
        {"round", {Round, 1, 2}},
        {"sqr", {Sqr, 1, 1}},
        {"rnd", {Rnd, 0, 1}},
        {"randomize", {Randomize, 0, 1}},
        {"array", {ArrayFn, 0, 1 << 20}},
        {"ubound", {UBound, 1, 2}},
        {"lbound", {LBound, 1, 2}},
        {"createobject", {CreateObject, 1, 2}},
        {"msgbox", {MsgBox, 1, 5}},
    };
    return table;
}

} // namespace

const Builtin* FindBuiltin(const std::string& lowerName) {
    const auto& table = Table();
    auto it = table.find(lowerName);
    return it == table.end() ? nullptr : &it->second;
}

} // namespace basic
