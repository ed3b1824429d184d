#pragma once
// A list entry of a window that stands for a table row: its caption and
// the row's record number, which the commands go to before they act.
#include <cstdint>
#include <string>

namespace cfgman {

struct TRowItem {
    std::string Caption;
    std::int32_t RecNo = 0;
};

} // namespace cfgman
