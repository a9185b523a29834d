#pragma once
// What one scan item has counted in a run. The enumerator's statistics hold
// it, the progress record keeps the last copy per item, and the two item
// events carry it to the bus, each writing it in its own wire order. It sits
// this low because the enumerators and the bus records both use it and
// neither may include the other.
#include <cstdint>

namespace RC {

struct ItemCounts {
    uint32_t enumerated = 0; // files the enumerator reported
    uint32_t scanned = 0;    // file results received
    uint32_t level2 = 0;     // results of level 2 (risks)
    uint32_t level3 = 0;     // results of level 3 (threats)
};

} // namespace RC
