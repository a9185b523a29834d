#pragma once
// The statistics of one enumerator's scan item. Owned by the enumerator,
// written by the scan controller (on the enumeration and query threads, under
// the controller's rules); zero until the controller sets weight and expected
// count right after creating the enumerator.
#include <cstdint>

#include "foundation/ItemCounts.h"

namespace RC {

struct ItemStats {
    ItemCounts counts; // what the item reports
    // The controller's own bookkeeping for the item's status and share.
    uint32_t weight = 0;
    uint32_t expected = 0;
    uint32_t doneCache = 0;
    uint8_t dirty = 0;
    uint8_t enumerationFinished = 0;
    uint8_t endMarkerQueried = 0;
    uint32_t queried = 0;
    uint32_t answered = 0;
};

} // namespace RC
