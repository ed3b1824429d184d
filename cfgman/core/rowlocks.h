#pragma once
// Record locks taken before a change that must not stop halfway, released
// whatever happens: a row another program holds refuses the whole change.
#include "data/dataset.h"
#include "data/xbtable.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace cfgman {

class TRowLocks {
public:
    TRowLocks() = default;
    TRowLocks(const TRowLocks&) = delete;
    TRowLocks& operator=(const TRowLocks&) = delete;
    ~TRowLocks() {
        for (auto& [partner, recNo] : held_)
            partner->Unlock(recNo);
    }
    // Raises EDatabaseError naming the row and ending with outcome when
    // another program holds it.
    void Take(data::TXbTable& partner, std::int32_t recNo, const std::string& file,
              const std::string& outcome = "nothing was deleted.") {
        if (!partner.Lock(recNo))
            throw data::EDatabaseError("Record " + std::to_string(recNo) + " of " + file +
                                       " is locked by another user; " + outcome);
        held_.emplace_back(&partner, recNo);
    }

private:
    std::vector<std::pair<data::TXbTable*, std::int32_t>> held_;
};

} // namespace cfgman
