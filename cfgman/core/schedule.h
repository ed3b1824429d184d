#pragma once
// The texts of an account's poll schedule as the account windows show them
// ("mm/dd/yy" and "hh:mmAM/PM") and as the table holds them (a date field
// and "hh:mm"), and the checks made before anything is stored.
#include "platform/win/datetime.h"

#include <optional>
#include <string>

namespace cfgman {

[[nodiscard]] std::string ScheduleDateText(win::TDateTime date); // "mm/dd/yy"
[[nodiscard]] std::string ScheduleTimeText(win::TDateTime time); // "hh:mmAM"
// A date text in the system's short date form; nothing when it is no date.
[[nodiscard]] std::optional<win::TDateTime> ParseScheduleDate(const std::string& text);
// "h:mm" or "hh:mm", 24-hour, or with "AM"/"PM" (any case, blanks allowed);
// minutes since midnight, nothing when it is no time of day.
[[nodiscard]] std::optional<int> ParseScheduleTime(const std::string& text);
// "hh:mm" of minutes since midnight.
[[nodiscard]] std::string TimeOfDay(int minutes);

// FREQVAL holds four digits.
inline constexpr int kMaxInterval = 9999;
// The interval box: empty is 0; nothing when it is no whole number that fits.
[[nodiscard]] std::optional<int> ParseInterval(const std::string& text);

} // namespace cfgman
