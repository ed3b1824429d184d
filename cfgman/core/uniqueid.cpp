#include "cfgman/core/uniqueid.h"

#include "platform/win/datetime.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <thread>

namespace cfgman {

std::string FormatUniqueId(int millisecond, int r, const std::string& sshhyymmdd) {
    const std::string random = std::to_string(r);
    return std::to_string(millisecond) + random + sshhyymmdd + random.substr(0, 3);
}

std::string MakeUniqueId(const std::function<bool(const std::string&)>& taken) {
    // A bounded number of draws: a clock a test has stopped still ends.
    std::string id;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        std::mt19937 rng(static_cast<unsigned>(
            std::chrono::steady_clock::now().time_since_epoch().count() + attempt));
        const win::DateParts p = win::DecodeDateTime(win::Now());
        const int m = p.msec;
        const int r = m > 0 ? std::uniform_int_distribution<int>(0, m - 1)(rng) : 0;
        char time[16];
        std::snprintf(time, sizeof time, "%02d%02d%02d%02d%02d", p.second, p.hour, p.year % 100,
                      p.month, p.day);
        id = FormatUniqueId(m, r, time);
        if (!taken || !taken(id))
            return id;
    }
    throw std::runtime_error("No free row identifier could be drawn");
}

} // namespace cfgman
