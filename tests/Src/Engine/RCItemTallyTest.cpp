// How far a run has come: each item's done share and the percentage peers
// are shown.
#include <gtest/gtest.h>

#include <vector>

#include "Src/Engine/RCItemTally.h"

using namespace RC;

TEST(RCItemTally, DoneUnitsAndPercentFollowTheCountsOfEachItem)
{
    // A changed item: enumerated, scanned, weight, expected, enumeration finished.
    const auto statsOf = [](uint32_t enumerated, uint32_t scanned, uint32_t weight, uint32_t expected, bool finished) {
        return ItemStats{{enumerated, scanned, 0, 0}, weight, expected, 0, 1, finished};
    };
    struct Case {
        std::vector<ItemStats> items;
        uint32_t done; // of the first item
        uint32_t percent;
    };
    const Case cases[] = {
        {{statsOf(0, 1200, 72, 0, false)}, 2, 22},               // no estimate: one unit per 500 files...
        {{statsOf(0, 100000, 72, 0, false)}, 57, 82},            // ...up to four fifths of the weight
        {{statsOf(6, 5, 72, 0, true)}, 60, 85},                  // enumerated: the share of what was found
        {{statsOf(0, 0, 12, 100, true)}, 0, 20},                 // finished with nothing found
        {{statsOf(40, 30, 10, 100, false)}, 3, 43},              // the estimate while it is the larger...
        {{statsOf(400, 300, 10, 100, false)}, 7, 75},            // ...else what was found so far
        {{statsOf(5, 50, 2, 10, false)}, 2, 99},                 // never more than the weight
        {{statsOf(100000000, 100000000, 100, 0, true)}, 14, 31}, // the product wraps at 32 bits
        {{statsOf(1, 1, 2, 1, true), statsOf(0, 500, 18, 1000, false), statsOf(0, 0, 12, 100, false)}, 2, 47},
    };
    for (const Case& c : cases) {
        std::vector<ItemStats> stats = c.items;
        std::vector<ItemStats*> items;
        for (ItemStats& s : stats)
            items.push_back(&s);
        EXPECT_EQ(c.percent, RCItemTally::PercentOf(items)) << "scanned " << c.items[0].counts.scanned;
        EXPECT_EQ(c.done, stats[0].doneCache);
        EXPECT_EQ(0, stats[0].dirty);
    }

    // A clean item keeps its last value whatever its counters say now.
    ItemStats cached = statsOf(6, 5, 72, 0, true);
    cached.dirty = 0;
    cached.doneCache = 33;
    EXPECT_EQ(33u, RCItemTally::ItemDone(cached));
    EXPECT_EQ(20u, RCItemTally::PercentOf({}));

    // What peers are shown never goes down within a run; a new run starts over.
    RCSafeTrevoxOb observer;
    observer.RaisePercent(63);
    observer.RaisePercent(50);
    EXPECT_EQ(63u, observer.GetProgress().percent);
    observer.Reset();
    observer.RaisePercent(50);
    EXPECT_EQ(50u, observer.GetProgress().percent);
}
