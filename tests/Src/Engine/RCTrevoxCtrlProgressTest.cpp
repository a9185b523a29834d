// The progress arithmetic of a run: an item's done units and the percentage
// over the items, against figures worked out by hand.
#include <gtest/gtest.h>

#include "Src/Engine/RCTrevoxCtrl.h"

using namespace RC;

namespace {

// A changed item: enumerated, scanned, weight, expected, enumeration finished.
ItemStats StatsOf(uint32_t enumerated, uint32_t scanned, uint32_t weight, uint32_t expected, bool finished)
{
    return ItemStats{enumerated, scanned, 0, 0, weight, expected, 0, 1, finished};
}

} // namespace

TEST(RCSafeTrevoxCtrlProgress, DoneUnitsAndPercentFollowTheCountsOfEachItem)
{
    struct Case {
        std::vector<ItemStats> items;
        uint32_t done;  // of the first item
        uint32_t percent;
    };
    const Case cases[] = {
        {{StatsOf(0, 1200, 72, 0, false)}, 2, 22},             // no estimate: one unit per 500 files...
        {{StatsOf(0, 100000, 72, 0, false)}, 57, 82},          // ...up to four fifths of the weight
        {{StatsOf(6, 5, 72, 0, true)}, 60, 85},                // enumerated: the share of what was found
        {{StatsOf(0, 0, 12, 100, true)}, 0, 20},               // finished with nothing found
        {{StatsOf(40, 30, 10, 100, false)}, 3, 43},            // the estimate while it is the larger...
        {{StatsOf(400, 300, 10, 100, false)}, 7, 75},          // ...else what was found so far
        {{StatsOf(5, 50, 2, 10, false)}, 2, 99},               // never more than the weight
        {{StatsOf(100000000, 100000000, 100, 0, true)}, 14, 31},  // the product wraps at 32 bits
        {{StatsOf(1, 1, 2, 1, true), StatsOf(0, 500, 18, 1000, false), StatsOf(0, 0, 12, 100, false)}, 2, 47},
    };
    for (const Case& c : cases) {
        std::vector<ItemStats> stats = c.items;
        std::vector<ItemStats*> items;
        for (ItemStats& s : stats)
            items.push_back(&s);
        EXPECT_EQ(c.percent, RCSafeTrevoxCtrl::PercentOf(items)) << "scanned " << c.items[0].scanned;
        EXPECT_EQ(c.done, stats[0].doneCache);
        EXPECT_EQ(0, stats[0].dirty);
    }

    // A clean item keeps its last value whatever its counters say now.
    ItemStats cached = StatsOf(6, 5, 72, 0, true);
    cached.dirty = 0;
    cached.doneCache = 33;
    EXPECT_EQ(33u, RCSafeTrevoxCtrl::ItemDone(cached));
    EXPECT_EQ(20u, RCSafeTrevoxCtrl::PercentOf({}));
}
