#pragma once
// A list entry of a window that stands for a table row: its caption, the
// row's record number, which the commands go to before they act, and its
// key, by which a command checks that the row is still the one shown.
#include <cstdint>
#include <string>

namespace cfgman {

struct TRowItem {
    std::string Caption;
    std::int32_t RecNo = 0;
    std::string Key; // UNIQUE_ID
};

} // namespace cfgman
