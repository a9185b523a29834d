#include "Src/Engine/RCItemTally.h"

#include <algorithm>

#include "foundation/RCAutoLock.h"
#include "foundation/RCDebugger.h"

namespace RC {

namespace {

constexpr uint32_t kPercentSpan = 79;

} // namespace

RCItemTally::RCItemTally(RCSafeTrevoxOb& observer, const RCEnumThreads::EnumeratorMap& enumerators)
    : observer_(observer), enumerators_(enumerators)
{
}

void RCItemTally::Reset()
{
    RCAutoLock guard(lock_);
    for (const auto& entry : enumerators_) {
        ItemStats& stats = StatsOf(entry.second.Get());
        const uint32_t weight = stats.weight;
        const uint32_t expected = stats.expected;
        stats = ItemStats();
        stats.weight = weight;
        stats.expected = expected;
    }
}

void RCItemTally::ItemStarted(IAvEnumFile* item)
{
    RCAutoLock guard(lock_);
    DecideStatus(item->GetShowType(), StatsOf(item));
}

void RCItemTally::FileFound(IAvEnumFile* item, bool counted)
{
    RCAutoLock guard(lock_);
    ItemStats& stats = StatsOf(item);
    if (counted)
        ++stats.counts.enumerated;
    DecideStatus(item->GetShowType(), stats);
}

void RCItemTally::EnumerationFinished(IAvEnumFile* item)
{
    RCAutoLock guard(lock_);
    ItemStats& stats = StatsOf(item);
    stats.enumerationFinished = 1;
    DecideStatus(item->GetShowType(), stats);
}

uint32_t RCItemTally::Queried(IAvEnumFile* item, const FileQueryTask& task)
{
    RCAutoLock guard(lock_);
    ItemStats& stats = StatsOf(item);
    stats.dirty = 1;
    if (task.IsMarker())
        stats.endMarkerQueried = 1;
    return ++stats.queried;
}

void RCItemTally::Answered(IAvEnumFile* item, const FileQueryTask& task)
{
    RCAutoLock guard(lock_);
    ItemStats& stats = StatsOf(item);
    stats.dirty = 1;
    const uint32_t answered = ++stats.answered;
    const ThreatLevel level = task.level();
    RC_LOG(Detail,
           L"scanType = %d, total = %d, current = %d, taskid = %d, scanItem = %s, scanSubItem = %s, level = %d, "
           L"subLevel = %d",
           static_cast<int>(task.showType), static_cast<int>(stats.queried), static_cast<int>(answered),
           static_cast<int>(task.taskId), task.path.c_str(), task.subItem.c_str(), static_cast<int>(level),
           static_cast<int>(task.result.subLevel));
    if (!task.IsMarker()) {
        ++stats.counts.scanned;
        if (level == ThreatLevel::Threat)
            ++stats.counts.level3;
        else if (level == ThreatLevel::Risk)
            ++stats.counts.level2;
    }
    DecideStatus(static_cast<int32_t>(task.showType), stats);
    UpdatePercent();
}

void RCItemTally::DecideStatus(int32_t showType, ItemStats& stats)
{
    if (showType < 0 || showType >= static_cast<int32_t>(kEndOfRunShowType))
        return;
    const uint32_t item = static_cast<uint32_t>(showType);
    observer_.SetItemCounts(item, stats.counts);

    ItemStatus status = ItemStatus::Scanning;
    if (!stats.enumerationFinished)
        status = ItemStatus::Enumerating;
    else if (stats.endMarkerQueried && stats.answered == stats.queried)
        status = ItemStatus::Finished;
    const ItemStatus previous = observer_.GetItemRow(item).status;
    if (status == previous)
        return;
    RC_LOG(Progress, L"ShowType = %d, From Status = %d to %d", showType, static_cast<int>(previous),
           static_cast<int>(status));
    // Queued under the lock: the next status of the item, and every
    // notification that shows this one, come after it.
    observer_.ChangeItemStatus(item, status);
}

uint32_t RCItemTally::ItemDone(ItemStats& stats)
{
    if (!stats.dirty)
        return stats.doneCache;
    stats.dirty = 0;
    const ItemCounts& counts = stats.counts;
    const uint32_t product = counts.scanned * stats.weight; // 32-bit, as the progress bar always had it
    uint32_t done;
    if (stats.enumerationFinished && counts.enumerated != 0) {
        done = static_cast<uint32_t>(static_cast<double>(product) / counts.enumerated);
    } else if (stats.expected == 0) {
        const uint32_t byCount = static_cast<uint32_t>(counts.scanned / 500.0);
        const uint32_t ceiling = static_cast<uint32_t>(stats.weight * 0.8);
        done = std::min(byCount, ceiling);
    } else {
        done = static_cast<uint32_t>(static_cast<double>(product) / std::max(stats.expected, counts.enumerated));
    }
    stats.doneCache = std::min(done, stats.weight);
    return stats.doneCache;
}

uint32_t RCItemTally::PercentOf(const std::vector<ItemStats*>& items)
{
    uint32_t done = 0;
    uint32_t weights = 0;
    for (ItemStats* stats : items) {
        done += ItemDone(*stats);
        weights += stats->weight;
    }
    if (weights == 0)
        return kFirstPercent;
    return kFirstPercent + done * kPercentSpan / weights;
}

void RCItemTally::UpdatePercent()
{
    std::vector<ItemStats*> items;
    for (const auto& entry : enumerators_)
        if (entry.second)
            items.push_back(&StatsOf(entry.second.Get()));
    observer_.RaisePercent(PercentOf(items));
}

} // namespace RC
