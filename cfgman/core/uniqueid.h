#pragma once
// Identifiers of new account rows and sent-message rows: the current
// millisecond m, a random number below m, the time as "sshhyymmdd" and the
// first three digits of the random number; 13 to 19 characters.
#include <functional>
#include <string>

namespace cfgman {

// One identifier from the clock (win::Now) and the random number r.
[[nodiscard]] std::string FormatUniqueId(int millisecond, int r, const std::string& sshhyymmdd);

// Draws identifiers until taken() says one is free (two rows made within
// one second would otherwise meet); waits 40 ms before each draw and seeds
// the generator from the clock.
[[nodiscard]] std::string MakeUniqueId(const std::function<bool(const std::string&)>& taken = {});

} // namespace cfgman
