#pragma once
// Small text helpers of the core.
#include <string>

namespace cfgman {

// Without leading and trailing blanks and tabs.
inline std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

} // namespace cfgman
