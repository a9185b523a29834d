// The progress arithmetic of a run: an item's done units and the percentage
// over the items, against figures worked out by hand.
#include <gtest/gtest.h>

#include "Engine/RCTrevoxCtrl.h"

using namespace RC;

namespace {

struct Figures {
    uint32_t enumerated;
    uint32_t scanned;
    uint32_t weight;
    uint32_t expected;
    bool finished;
};

ItemStats StatsOf(const Figures& f)
{
    ItemStats stats;
    stats.enumerated = f.enumerated;
    stats.scanned = f.scanned;
    stats.weight = f.weight;
    stats.expected = f.expected;
    stats.enumerationFinished = f.finished;
    stats.dirty = 1;
    return stats;
}

} // namespace

TEST(RCSafeTrevoxCtrlProgress, DoneUnitsAndPercentFollowTheCountsOfEachItem)
{
    struct DoneCase {
        Figures figures;
        uint32_t done;
    };
    const DoneCase doneCases[] = {
        {{0, 1200, 72, 0, false}, 2},                   // no estimate: one unit per 500 files...
        {{0, 100000, 72, 0, false}, 57},                // ...up to four fifths of the weight
        {{6, 5, 72, 0, true}, 60},                      // enumerated: the share of what was found
        {{0, 0, 12, 100, true}, 0},                     // finished with nothing found: the estimate
        {{40, 30, 10, 100, false}, 3},                  // the estimate while it is the larger...
        {{400, 300, 10, 100, false}, 7},                // ...else what was found so far
        {{5, 50, 2, 10, false}, 2},                     // never more than the weight
        {{100000000, 100000000, 100, 0, true}, 14},     // the product wraps at 32 bits
    };
    for (const DoneCase& c : doneCases) {
        ItemStats stats = StatsOf(c.figures);
        EXPECT_EQ(c.done, RCSafeTrevoxCtrl::ItemDone(stats)) << "scanned " << c.figures.scanned;
        EXPECT_EQ(c.done, stats.doneCache);
        EXPECT_EQ(0, stats.dirty);
    }

    // A clean item keeps its last value whatever its counters say now.
    ItemStats cached = StatsOf({6, 5, 72, 0, true});
    cached.dirty = 0;
    cached.doneCache = 33;
    EXPECT_EQ(33u, RCSafeTrevoxCtrl::ItemDone(cached));

    struct PercentCase {
        std::vector<Figures> items;
        uint32_t percent;
    };
    const PercentCase percentCases[] = {
        {{}, 20},
        {{{6, 5, 72, 0, true}}, 85},                                                 // 20 + 60 * 79 / 72
        {{{1, 1, 2, 1, true}, {0, 500, 18, 1000, false}, {0, 0, 12, 100, false}}, 47},  // 20 + 11 * 79 / 32
        {{{3, 3, 30, 5000, true}, {10, 10, 60, 20000, true}}, 99},
    };
    for (const PercentCase& c : percentCases) {
        std::vector<ItemStats> stats;
        for (const Figures& f : c.items)
            stats.push_back(StatsOf(f));
        std::vector<ItemStats*> items;
        for (ItemStats& s : stats)
            items.push_back(&s);
        EXPECT_EQ(c.percent, RCSafeTrevoxCtrl::PercentOf(items)) << c.items.size() << " items";
    }
}
