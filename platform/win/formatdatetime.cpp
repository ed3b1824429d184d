#include "platform/win/formatdatetime.h"

#include <cctype>
#include <cstdio>

namespace win {

namespace {

const char* const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonths[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

char Up(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool StartsWithNoCase(const std::string& s, size_t at, const char* word) {
    for (size_t i = 0; word[i]; ++i)
        if (at + i >= s.size() || Up(s[at + i]) != Up(word[i]))
            return false;
    return true;
}

std::string Num(int v, int width) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", width, v);
    return buf;
}

// Whether an AM/PM specifier follows, which turns the hour into a 12-hour one.
bool Uses12Hour(const std::string& f, size_t from) {
    char quote = 0;
    for (size_t i = from; i < f.size(); ++i) {
        if (quote) {
            if (f[i] == quote)
                quote = 0;
            continue;
        }
        if (f[i] == '\'' || f[i] == '"')
            quote = f[i];
        else if (StartsWithNoCase(f, i, "am/pm") || StartsWithNoCase(f, i, "a/p") ||
                 StartsWithNoCase(f, i, "ampm"))
            return true;
    }
    return false;
}

void Format(std::string& out, const std::string& f, const DateParts& p, TDateTime t,
            const FormatSettings& fs, int depth) {
    // Nested formats ("c", "ddddd", "t") cannot recurse further than this.
    if (depth > 2)
        return;
    char lastToken = 0;
    size_t i = 0;
    while (i < f.size()) {
        char c = f[i];
        char u = Up(c);
        size_t run = 1;
        while (i + run < f.size() && Up(f[i + run]) == u)
            ++run;
        switch (u) {
        case 'Y':
            out += run <= 2 ? Num(p.year % 100, 2) : Num(p.year, 4);
            i += run;
            break;
        case 'M':
            if (lastToken == 'H') {
                out += run == 1 ? std::to_string(p.minute) : Num(p.minute, 2);
                i += run > 2 ? 2 : run;
                break;
            }
            if (run == 1)
                out += std::to_string(p.month);
            else if (run == 2)
                out += Num(p.month, 2);
            else if (run == 3)
                out += kShortMonths[p.month - 1];
            else
                out += kLongMonths[p.month - 1];
            i += run > 4 ? 4 : run;
            break;
        case 'D':
            if (run == 1)
                out += std::to_string(p.day);
            else if (run == 2)
                out += Num(p.day, 2);
            else if (run == 3)
                out += kShortDays[p.dayOfWeek - 1];
            else if (run == 4)
                out += kLongDays[p.dayOfWeek - 1];
            else if (run == 5)
                Format(out, fs.ShortDateFormat, p, t, fs, depth + 1);
            else
                Format(out, fs.LongDateFormat, p, t, fs, depth + 1);
            i += run > 6 ? 6 : run;
            break;
        case 'H': {
            int h = p.hour;
            if (Uses12Hour(f, i + run)) {
                h %= 12;
                if (h == 0)
                    h = 12;
            }
            out += run == 1 ? std::to_string(h) : Num(h, 2);
            i += run > 2 ? 2 : run;
            break;
        }
        case 'N':
            out += run == 1 ? std::to_string(p.minute) : Num(p.minute, 2);
            i += run > 2 ? 2 : run;
            break;
        case 'S':
            out += run == 1 ? std::to_string(p.second) : Num(p.second, 2);
            i += run > 2 ? 2 : run;
            break;
        case 'Z':
            out += run < 3 ? std::to_string(p.msec) : Num(p.msec, 3);
            i += run >= 3 ? 3 : run;
            break;
        case 'T':
            Format(out, run == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat, p, t, fs, depth + 1);
            i += run > 2 ? 2 : run;
            break;
        case 'C':
            Format(out, fs.ShortDateFormat, p, t, fs, depth + 1);
            if (p.hour || p.minute || p.second || p.msec) {
                out += ' ';
                Format(out, fs.LongTimeFormat, p, t, fs, depth + 1);
            }
            i += 1;
            break;
        case 'A':
            if (StartsWithNoCase(f, i, "am/pm")) {
                std::string s = p.hour < 12 ? "am" : "pm";
                if (f[i] == 'A')
                    s = p.hour < 12 ? "AM" : "PM";
                out += s;
                i += 5;
            } else if (StartsWithNoCase(f, i, "a/p")) {
                out += p.hour < 12 ? (f[i] == 'A' ? "A" : "a") : (f[i] == 'A' ? "P" : "p");
                i += 3;
            } else if (StartsWithNoCase(f, i, "ampm")) {
                out += p.hour < 12 ? fs.TimeAMString : fs.TimePMString;
                i += 4;
            } else {
                out += c;
                i += 1;
            }
            break;
        case '/':
            out += fs.DateSeparator;
            i += 1;
            break;
        case ':':
            out += fs.TimeSeparator;
            i += 1;
            break;
        case '\'':
        case '"': {
            size_t close = f.find(c, i + 1);
            if (close == std::string::npos)
                close = f.size();
            out += f.substr(i + 1, close - i - 1);
            i = close + 1;
            break;
        }
        default:
            out += c;
            i += 1;
            continue; // literals leave the last token alone ("hh:mm")
        }
        if (u != '\'' && u != '"' && u != '/' && u != ':')
            lastToken = u;
    }
}

} // namespace

FormatSettings& DefaultFormatSettings() {
    static FormatSettings settings;
    return settings;
}

std::string FormatDateTime(const std::string& format, TDateTime t) {
    return FormatDateTime(format, t, DefaultFormatSettings());
}

std::string FormatDateTime(const std::string& format, TDateTime t, const FormatSettings& fs) {
    std::string out;
    DateParts p = DecodeDateTime(t);
    Format(out, format.empty() ? std::string("c") : format, p, t, fs, 0);
    return out;
}

std::string DateToStr(TDateTime t) {
    return FormatDateTime("ddddd", t);
}
std::string TimeToStr(TDateTime t) {
    return FormatDateTime("tt", t);
}
std::string DateTimeToStr(TDateTime t) {
    return FormatDateTime("c", t);
}

} // namespace win
