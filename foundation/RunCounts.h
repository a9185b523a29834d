#pragma once
// What a scan run has counted over all its items: the progress record holds
// it, the state and progress notifications hand it over whole, and the two
// run events carry it to the bus, each writing it in its own wire order. It
// sits beside ItemCounts for the same reason.
#include <cstdint>

namespace RC {

struct RunCounts {
    uint32_t filesFound = 0;  // files counted by every item
    uint32_t level2Found = 0; // distinct risks
    uint32_t level3Found = 0; // distinct threats
};

} // namespace RC
