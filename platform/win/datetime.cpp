#include "platform/win/datetime.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <mutex>
#include <sys/time.h>

namespace win {

namespace {

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
long DaysFromCivil(long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

void CivilFromDays(long z, int& y, int& m, int& d) {
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long yy = static_cast<long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

constexpr long kUnixToDelphi = 25569; // 1970-01-01 as a day number

std::mutex g_mutex;
std::function<TDateTime()> g_clock;
std::function<std::uint64_t()> g_ticks;
std::function<std::int64_t()> g_unixClock;

} // namespace

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month))
        return false;
    out = static_cast<TDateTime>(
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
        kUnixToDelphi);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        msec < 0 || msec > 999)
        return false;
    out = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec) / 86400000.0;
    return true;
}

TDateTime EncodeDateTime(const DateParts& p) {
    TDateTime date = 0, time = 0;
    TryEncodeDate(p.year, p.month, p.day, date);
    TryEncodeTime(p.hour, p.minute, p.second, p.msec, time);
    // Before 1899-12-30 the time of day still counts forward from midnight.
    return date < 0 ? date - time : date + time;
}

DateParts DecodeDateTime(TDateTime t) {
    DateParts p;
    double whole = std::trunc(t);
    long long ms = std::llround(std::fabs(t - whole) * 86400000.0);
    if (ms >= 86400000)
        ms = 86399999;
    long day = static_cast<long>(whole);
    CivilFromDays(day - kUnixToDelphi, p.year, p.month, p.day);
    p.hour = static_cast<int>(ms / 3600000);
    p.minute = static_cast<int>(ms / 60000 % 60);
    p.second = static_cast<int>(ms / 1000 % 60);
    p.msec = static_cast<int>(ms % 1000);
    // Day 1 (1899-12-31) was a Sunday.
    long dow = (day - 1) % 7;
    if (dow < 0)
        dow += 7;
    p.dayOfWeek = static_cast<int>(dow) + 1;
    return p;
}

TDateTime Now() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_clock)
            return g_clock();
    }
    struct timeval tv;
    ::gettimeofday(&tv, nullptr);
    struct tm tm;
    time_t secs = tv.tv_sec;
    ::localtime_r(&secs, &tm);
    DateParts p;
    p.year = tm.tm_year + 1900;
    p.month = tm.tm_mon + 1;
    p.day = tm.tm_mday;
    p.hour = tm.tm_hour;
    p.minute = tm.tm_min;
    p.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
    p.msec = static_cast<int>(tv.tv_usec / 1000);
    return EncodeDateTime(p);
}

std::int64_t NowUnix() {
    std::function<TDateTime()> local;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_unixClock)
            return g_unixClock();
        local = g_clock;
    }
    if (!local)
        return static_cast<std::int64_t>(std::time(nullptr));
    const DateParts p = DecodeDateTime(local());
    std::tm t{};
    t.tm_year = p.year - 1900;
    t.tm_mon = p.month - 1;
    t.tm_mday = p.day;
    t.tm_hour = p.hour;
    t.tm_min = p.minute;
    t.tm_sec = p.second;
    t.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&t));
}

std::uint64_t GetTickCount() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_ticks)
            return g_ticks();
    }
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SetClock(std::function<TDateTime()> source) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_clock = std::move(source);
}

void SetUnixClock(std::function<std::int64_t()> source) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_unixClock = std::move(source);
}

void SetTickSource(std::function<std::uint64_t()> source) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_ticks = std::move(source);
}

} // namespace win
