// Dates (Julian day numbers and their text forms) and index key bytes.
#include "platform/xbase/expr/expr.h"
#include "platform/xbase/xbnumber.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace xbase::expr {

std::string Context::MemoText(int) const {
    return {};
}

bool Context::IsNull(int) const {
    return false;
}

std::int32_t Context::Today() const {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return JulianFromYmd(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

namespace {

bool Leap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysIn(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && Leap(y) ? 29 : days[m - 1];
}

enum class Order { MDY, DMY, YMD };

struct Layout {
    Order order;
    char sep;
};

Layout LayoutOf(DateFormat f) {
    switch (f) {
    case DateFormat::American:
        return {Order::MDY, '/'};
    case DateFormat::Ansi:
        return {Order::YMD, '.'};
    case DateFormat::British:
    case DateFormat::French:
        return {Order::DMY, '/'};
    case DateFormat::German:
        return {Order::DMY, '.'};
    case DateFormat::Italian:
    case DateFormat::Spanish:
        return {Order::DMY, '-'};
    case DateFormat::Japan:
        return {Order::YMD, '/'};
    case DateFormat::Usa:
        return {Order::MDY, '-'};
    }
    return {Order::MDY, '/'};
}

void StoreBe(std::string& out, std::uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Bytes of a double that sort like the numbers: positives get the sign bit
// set, negatives have every bit inverted; big-endian.
std::string SortableDouble(double d) {
    if (d == 0)
        d = 0; // -0 sorts with 0
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    if (bits & 0x8000000000000000ULL)
        bits = ~bits;
    else
        bits |= 0x8000000000000000ULL;
    std::string out;
    StoreBe(out, bits, 8);
    return out;
}

std::string SortableInt(double n) {
    double c = std::trunc(n);
    if (c > 2147483647.0)
        c = 2147483647.0;
    if (c < -2147483648.0)
        c = -2147483648.0;
    auto u = static_cast<std::uint32_t>(static_cast<std::int32_t>(c)) ^ 0x80000000U;
    std::string out;
    StoreBe(out, u, 4);
    return out;
}

} // namespace

std::int32_t JulianFromYmd(int y, int m, int d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysIn(y, m))
        return 0;
    int a = (14 - m) / 12;
    int yy = y + 4800 - a;
    int mm = m + 12 * a - 3;
    return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

void YmdFromJulian(std::int32_t j, int& y, int& m, int& d) {
    if (j <= 0) {
        y = m = d = 0;
        return;
    }
    long a = j + 32044L;
    long b = (4 * a + 3) / 146097;
    long c = a - 146097 * b / 4;
    long dd = (4 * c + 3) / 1461;
    long e = c - 1461 * dd / 4;
    long mm = (5 * e + 2) / 153;
    d = static_cast<int>(e - (153 * mm + 2) / 5 + 1);
    m = static_cast<int>(mm + 3 - 12 * (mm / 10));
    y = static_cast<int>(100 * b + dd - 4800 + mm / 10);
}

std::string Dtos(std::int32_t julian) {
    int y, m, d;
    YmdFromJulian(julian, y, m, d);
    if (julian <= 0 || y < 1 || y > 9999)
        return std::string(8, ' ');
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
    return buf;
}

std::string Dtoc(std::int32_t julian, const Settings& s) {
    Layout l = LayoutOf(s.dateFormat);
    int y, m, d;
    YmdFromJulian(julian, y, m, d);
    bool blank = julian <= 0 || y < 1 || y > 9999;
    char ys[8], ms[4], ds[4];
    if (blank) {
        std::snprintf(ys, sizeof ys, "%s", s.century ? "    " : "  ");
        std::snprintf(ms, sizeof ms, "  ");
        std::snprintf(ds, sizeof ds, "  ");
    } else {
        std::snprintf(ys, sizeof ys, s.century ? "%04d" : "%02d", s.century ? y : y % 100);
        std::snprintf(ms, sizeof ms, "%02d", m);
        std::snprintf(ds, sizeof ds, "%02d", d);
    }
    std::string sep(1, l.sep);
    switch (l.order) {
    case Order::MDY:
        return std::string(ms) + sep + ds + sep + ys;
    case Order::DMY:
        return std::string(ds) + sep + ms + sep + ys;
    case Order::YMD:
        return std::string(ys) + sep + ms + sep + ds;
    }
    return {};
}

std::int32_t Ctod(std::string_view text, const Settings& s) {
    std::vector<std::string> parts;
    std::vector<std::size_t> digits;
    std::string cur;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            cur += c;
        } else if (!cur.empty()) {
            parts.push_back(cur);
            cur.clear();
        }
    }
    if (!cur.empty())
        parts.push_back(cur);
    if (parts.size() != 3)
        return 0;
    for (const auto& p : parts)
        if (p.size() > 4)
            return 0;
    Layout l = LayoutOf(s.dateFormat);
    int a = std::atoi(parts[0].c_str()), b = std::atoi(parts[1].c_str()),
        c = std::atoi(parts[2].c_str());
    int y, m, d;
    std::size_t ylen;
    switch (l.order) {
    case Order::MDY:
        m = a, d = b, y = c, ylen = parts[2].size();
        break;
    case Order::DMY:
        d = a, m = b, y = c, ylen = parts[2].size();
        break;
    default:
        y = a, m = b, d = c, ylen = parts[0].size();
        break;
    }
    if (ylen <= 2) { // two-digit year: the first year at or after the epoch
        int base = (s.epoch / 100) * 100;
        y += base;
        if (y < s.epoch)
            y += 100;
    }
    return JulianFromYmd(y, m, d);
}

std::string KeyBytes(const Value& v, const KeyInfo& key) {
    auto mismatch = [] { throw ExprError("Key value does not match the key type", 0); };
    switch (key.type) {
    case KeyType::Character: {
        if (v.type != Type::Character)
            mismatch();
        std::string k = v.text.substr(0, static_cast<std::size_t>(key.length));
        k.resize(static_cast<std::size_t>(key.length), ' ');
        return k;
    }
    case KeyType::Numeric:
        if (v.type != Type::Numeric)
            mismatch();
        return SortableDouble(v.number);
    case KeyType::Integer:
        if (v.type != Type::Numeric)
            mismatch();
        return SortableInt(v.number);
    case KeyType::Date:
        if (v.type != Type::Date && v.type != Type::DateTime)
            mismatch();
        return SortableDouble(v.julian);
    case KeyType::DateTime:
        if (v.type != Type::Date && v.type != Type::DateTime)
            mismatch();
        return SortableDouble(v.julian + (v.type == Type::DateTime ? v.millis / 86400000.0 : 0));
    case KeyType::Logical:
        if (v.type != Type::Logical)
            mismatch();
        return v.logical ? "T" : "F";
    }
    return {};
}

std::string SearchKeyBytes(std::string_view text, const KeyInfo& key, const Settings& settings) {
    switch (key.type) {
    case KeyType::Character:
        return std::string(text.substr(0, static_cast<std::size_t>(key.length)));
    case KeyType::Numeric:
    case KeyType::Integer: {
        std::string t(text);
        Value v = Value::Num(NumberFromText(t.c_str()));
        return KeyBytes(v, key);
    }
    case KeyType::Date:
    case KeyType::DateTime: {
        std::int32_t j = 0;
        std::string t(text);
        int y, m, d;
        if (t.size() == 8 && std::sscanf(t.c_str(), "%4d%2d%2d", &y, &m, &d) == 3 &&
            t.find_first_not_of("0123456789") == std::string::npos)
            j = JulianFromYmd(y, m, d);
        else
            j = Ctod(t, settings);
        return KeyBytes(Value::Date(j), key);
    }
    case KeyType::Logical: {
        std::string t(text);
        bool b = !t.empty() && std::string("TtYy").find(
                                   t[0] == '.' && t.size() > 1 ? t[1] : t[0]) != std::string::npos;
        return b ? "T" : "F";
    }
    }
    return {};
}

} // namespace xbase::expr
