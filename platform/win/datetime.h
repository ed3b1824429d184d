#pragma once
// Dates and times as the programs keep them: a day count from 1899-12-30
// with the time of day as the fraction, and a clock that tests can set.
#include <cstdint>
#include <functional>

namespace win {

using TDateTime = double;

struct DateParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, msec = 0;
    int dayOfWeek = 7; // 1 = Sunday .. 7 = Saturday
};

// False when a part is out of range; out is left unchanged then.
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out);
[[nodiscard]] TDateTime EncodeDateTime(const DateParts& p);
[[nodiscard]] DateParts DecodeDateTime(TDateTime t);
[[nodiscard]] bool IsLeapYear(int year);
[[nodiscard]] int DaysInMonth(int year, int month);

// Local time now, unless a test has set the clock.
[[nodiscard]] TDateTime Now();
// The moment now as seconds since 1970 (UTC): the moment a test has set,
// else the local time a test has set (read in the local zone), else the
// system's clock. Unlike a local time it names one moment also in the hour
// that repeats when summer time ends.
[[nodiscard]] std::int64_t NowUnix();
// Milliseconds from an arbitrary start, never going back.
[[nodiscard]] std::uint64_t GetTickCount();

// Test control: a fixed time (or {} to go back to the real clock), and a
// tick source that replaces the monotonic clock.
void SetClock(std::function<TDateTime()> source);
void SetUnixClock(std::function<std::int64_t()> source);
void SetTickSource(std::function<std::uint64_t()> source);

} // namespace win
