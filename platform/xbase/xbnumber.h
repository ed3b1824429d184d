#pragma once
// Numbers as xBase text: "." is the decimal point whatever the process's
// locale. Qt programs take the user's locale at start, and under a German one
// the C library reads "3.14" as 3 and writes 3.14 as "3,14"; tables, keys and
// expressions must not change meaning with it.
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace xbase {

// strtod as in the "C" locale: leading white space, a sign, digits with a
// point and an exponent; *end as strtod sets it.
inline double NumberFromText(const char* text, char** end = nullptr) {
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", nullptr);
    return ::strtod_l(text, end, c);
}

// printf's "%.*f" as in the "C" locale.
inline std::string NumberToFixed(double v, int decimals) {
    decimals = decimals < 0 ? 0 : decimals;
    std::string buf(static_cast<std::size_t>(decimals) + 330, '\0'); // 309 digits, sign, point
    auto r =
        std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, decimals);
    buf.resize(r.ec == std::errc() ? static_cast<std::size_t>(r.ptr - buf.data()) : 0);
    return buf;
}

// printf's "%.*g" as in the "C" locale.
inline std::string NumberToGeneral(double v, int precision) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general,
                           precision < 1    ? 1
                           : precision > 40 ? 40
                                            : precision);
    return std::string(buf, r.ec == std::errc() ? r.ptr : buf);
}

} // namespace xbase
