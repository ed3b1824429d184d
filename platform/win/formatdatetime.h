#pragma once
// Date and time texts in the classic format-specifier language ("yyyy-mm-dd",
// "hh:nn:ss", "c", "ddddd", "am/pm", quoted literals), with one set of
// program-wide format settings that the table environment may change.
#include "platform/win/datetime.h"

#include <string>

namespace win {

struct FormatSettings {
    std::string ShortDateFormat = "m/d/yy";
    std::string LongDateFormat = "dddd, mmmm d, yyyy";
    std::string ShortTimeFormat = "h:nn AMPM";
    std::string LongTimeFormat = "h:nn:ss AMPM";
    char DateSeparator = '/';
    char TimeSeparator = ':';
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
};

// The settings every conversion below uses by default.
FormatSettings& DefaultFormatSettings();

// Specifiers are matched without regard to case; "m" right after an hour
// specifier means minutes.
[[nodiscard]] std::string FormatDateTime(const std::string& format, TDateTime t);
[[nodiscard]] std::string FormatDateTime(const std::string& format, TDateTime t,
                                         const FormatSettings& fs);

[[nodiscard]] std::string DateToStr(TDateTime t);     // short date format
[[nodiscard]] std::string TimeToStr(TDateTime t);     // long time format
[[nodiscard]] std::string DateTimeToStr(TDateTime t); // "c"

} // namespace win
