#include "cfgman/core/schedule.h"
#include "cfgman/core/text.h"

#include "data/dataset.h"
#include "platform/win/formatdatetime.h"

#include <cctype>

namespace cfgman {

std::string ScheduleDateText(win::TDateTime date) {
    return win::FormatDateTime("mm/dd/yy", date);
}

std::string ScheduleTimeText(win::TDateTime time) {
    return win::FormatDateTime("hh:nnAM/PM", time);
}

std::optional<win::TDateTime> ParseScheduleDate(const std::string& text) {
    try {
        return data::StrToDate(Trim(text));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<int> ParseScheduleTime(const std::string& text) {
    std::string s;
    for (char c : text)
        if (c != ' ' && c != '_')
            s += char(std::toupper(static_cast<unsigned char>(c)));
    int half = 0; // 0: 24-hour, 1: AM, 2: PM
    if (s.size() > 2 &&
        (s.compare(s.size() - 2, 2, "AM") == 0 || s.compare(s.size() - 2, 2, "PM") == 0)) {
        half = s[s.size() - 2] == 'A' ? 1 : 2;
        s.resize(s.size() - 2);
    }
    const auto colon = s.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2 || s.size() - colon != 3)
        return std::nullopt;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (i != colon && !std::isdigit(static_cast<unsigned char>(s[i])))
            return std::nullopt;
    int h = std::stoi(s.substr(0, colon));
    const int m = std::stoi(s.substr(colon + 1));
    if (m > 59)
        return std::nullopt;
    if (half == 0) {
        if (h > 23)
            return std::nullopt;
    } else {
        if (h < 1 || h > 12)
            return std::nullopt;
        h = h % 12 + (half == 2 ? 12 : 0);
    }
    return h * 60 + m;
}

std::string TimeOfDay(int minutes) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d:%02d", (minutes / 60) % 24, minutes % 60);
    return buf;
}

std::optional<int> ParseInterval(const std::string& text) {
    const std::string s = Trim(text);
    if (s.empty())
        return 0;
    if (s.size() > 4)
        return std::nullopt;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
    return std::stoi(s);
}

} // namespace cfgman
