#pragma once
// The statistics of a run's items and what is decided from them: each item's
// status, which never goes back, and the run's percentage, which never falls.
//
// Threads: the enumeration thread reports what it found, the query thread
// what was queried and answered (markers and failed submissions come on the
// enumeration thread). One lock keeps the counters, the statuses decided from
// them and the percentage moving together; what it decides is queued to peers
// under it (the observer only queues), so peers hear it in the order it was
// decided.
//
// Ownership: the counters live in each enumerator's ItemStats, reached only
// under the lock. The observer and the run's enumerator map belong to the
// controller, which outlives the tally; the map changes only between runs.
#include <cstdint>
#include <vector>

#include "Src/Engine/Enumerator/IAvEnumFile.h"
#include "Src/Engine/Enumerator/ItemStats.h"
#include "Src/Engine/Enumerator/RCEnumThreads.h"
#include "Src/Engine/RCSafeTrevoxOb.h"
#include "Src/Engine/Scanner/FileQueryTask.h"
#include "foundation/RCCriticalSection.h"
#include "foundation/RCNonCopyable.h"
#include "foundation/RCThreadAnnotations.h"

namespace RC {

class RCItemTally : private RCNonCopyable {
public:
    // Where a run's percentage starts once enumeration begins.
    static constexpr uint32_t kFirstPercent = 20;

    RCItemTally(RCSafeTrevoxOb& observer, const RCEnumThreads::EnumeratorMap& enumerators);

    // A run begins: every item's counters go back to zero; each keeps the
    // weight and the expected count its plan gave it.
    void Reset();

    // Enumeration thread.
    void ItemStarted(IAvEnumFile* item);
    // counted: the file counts as found (the filter may still pass over it).
    void FileFound(IAvEnumFile* item, bool counted);
    void EnumerationFinished(IAvEnumFile* item);

    // The item's queries so far, this one included.
    uint32_t Queried(IAvEnumFile* item, const FileQueryTask& task);
    void Answered(IAvEnumFile* item, const FileQueryTask& task);

    // The done units of one item, recomputed only when it is dirty.
    static uint32_t ItemDone(ItemStats& stats);
    // kFirstPercent plus the done share of 79, over the items of a run.
    static uint32_t PercentOf(const std::vector<ItemStats*>& items);

private:
    ItemStats& StatsOf(IAvEnumFile* item) RC_REQUIRES(lock_) { return *item->GetItemStats(); }
    void DecideStatus(int32_t showType, ItemStats& stats) RC_REQUIRES(lock_);
    void UpdatePercent() RC_REQUIRES(lock_);

    RCSafeTrevoxOb& observer_;
    const RCEnumThreads::EnumeratorMap& enumerators_;
    RCCriticalSection lock_;
};

} // namespace RC
