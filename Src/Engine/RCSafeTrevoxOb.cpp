#include "Src/Engine/RCSafeTrevoxOb.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "foundation/RCAutoLock.h"
#include "foundation/RCCriticalSection.h"

namespace RC {

struct RCSafeTrevoxOb::Record {
    mutable RCCriticalSection lock;
    uint32_t percent RC_GUARDED_BY(lock) = 0;
    std::vector<ScanItem> items RC_GUARDED_BY(lock);
    ScanState state RC_GUARDED_BY(lock) = ScanState::NotStarted;
    RunCounts counts RC_GUARDED_BY(lock);
    uint32_t currentShowType RC_GUARDED_BY(lock) = kEndOfRunShowType;
    std::wstring currentItemName RC_GUARDED_BY(lock);
    std::wstring currentFile RC_GUARDED_BY(lock);
    ItemRow rows[kShowTypeCount] RC_GUARDED_BY(lock);
    // Written before the first run only.
    std::atomic<IScanObCallback*> callback{nullptr};

    ScanStatusBlock Status() const RC_REQUIRES(lock)
    {
        ScanStatusBlock block;
        block.state = state;
        block.counts = counts;
        return block;
    }
    ScanProgressBlock Progress() const RC_REQUIRES(lock)
    {
        ScanProgressBlock block;
        block.percent = percent;
        block.counts = counts;
        block.currentShowType = currentShowType;
        block.currentFile = currentFile;
        return block;
    }
};

namespace {

uint32_t SystemTicks()
{
    return GetTickCount();
}

std::atomic<RCSafeTrevoxOb::TickSource> g_ticks{&SystemTicks};

// Process-wide: shared by every task. A lost update between threads only
// changes which call is dropped.
std::atomic<uint32_t> g_lastProgress{0};
std::atomic<uint32_t> g_lastItemProgress{0};

constexpr uint32_t kThrottleMs = 50;

bool PassesThrottle(std::atomic<uint32_t>& last)
{
    const uint32_t now = g_ticks.load(std::memory_order_relaxed)();
    const uint32_t previous = last.load(std::memory_order_relaxed);
    if (previous != 0 && now - previous < kThrottleMs)
        return false;
    last.store(now, std::memory_order_relaxed);
    return true;
}

bool IsItem(uint32_t showType)
{
    return showType < kShowTypeCount;
}

} // namespace

RCSafeTrevoxOb::RCSafeTrevoxOb() : record_(new Record()) {}

RCSafeTrevoxOb::~RCSafeTrevoxOb() = default;

void RCSafeTrevoxOb::Reset()
{
    Record& r = *record_;
    RCAutoLock guard(r.lock);
    r.percent = 0;
    r.counts = RunCounts();
    for (ItemRow& row : r.rows)
        row = ItemRow();
    r.currentFile.clear();
    r.currentItemName.clear();
    r.currentShowType = kEndOfRunShowType;
}

void RCSafeTrevoxOb::SetCallback(IScanObCallback* callback)
{
    record_->callback = callback;
}

IScanObCallback* RCSafeTrevoxOb::GetCallback() const
{
    return record_->callback;
}

ScanStatusBlock RCSafeTrevoxOb::GetStatus() const
{
    RCAutoLock guard(record_->lock);
    return record_->Status();
}

ScanProgressBlock RCSafeTrevoxOb::GetProgress() const
{
    RCAutoLock guard(record_->lock);
    return record_->Progress();
}

ItemRow RCSafeTrevoxOb::GetItemRow(uint32_t showType) const
{
    if (!IsItem(showType))
        return ItemRow();
    RCAutoLock guard(record_->lock);
    return record_->rows[showType];
}

std::vector<ScanItem> RCSafeTrevoxOb::GetItems() const
{
    RCAutoLock guard(record_->lock);
    return record_->items;
}

void RCSafeTrevoxOb::SetItems(std::vector<ScanItem> items)
{
    RCAutoLock guard(record_->lock);
    record_->items = std::move(items);
}

ScanState RCSafeTrevoxOb::GetState() const
{
    RCAutoLock guard(record_->lock);
    return record_->state;
}

void RCSafeTrevoxOb::SetState(ScanState state)
{
    RCAutoLock guard(record_->lock);
    record_->state = state;
}

void RCSafeTrevoxOb::SetPercent(uint32_t percent)
{
    RCAutoLock guard(record_->lock);
    record_->percent = percent;
}

void RCSafeTrevoxOb::RaisePercent(uint32_t percent)
{
    RCAutoLock guard(record_->lock);
    record_->percent = std::max(record_->percent, percent);
}

void RCSafeTrevoxOb::SetCurrentItem(uint32_t showType, const std::wstring& name)
{
    RCAutoLock guard(record_->lock);
    record_->currentShowType = showType;
    record_->currentItemName = name;
}

void RCSafeTrevoxOb::SetCurrentFile(const std::wstring& path)
{
    RCAutoLock guard(record_->lock);
    record_->currentFile = path;
}

void RCSafeTrevoxOb::IncrementFilesFound()
{
    RCAutoLock guard(record_->lock);
    ++record_->counts.filesFound;
}

void RCSafeTrevoxOb::IncrementLevel3Found()
{
    RCAutoLock guard(record_->lock);
    ++record_->counts.level3Found;
}

void RCSafeTrevoxOb::IncrementLevel2Found()
{
    RCAutoLock guard(record_->lock);
    ++record_->counts.level2Found;
}

void RCSafeTrevoxOb::SetItemCounts(uint32_t showType, const ItemCounts& counts)
{
    if (!IsItem(showType))
        return;
    RCAutoLock guard(record_->lock);
    record_->rows[showType].counts = counts;
}

void RCSafeTrevoxOb::ChangeItemStatus(uint32_t showType, ItemStatus status)
{
    Record& r = *record_;
    RCAutoLock guard(r.lock);
    ItemRow none; // a show type of 46 or above has no row: its notification carries zeros
    ItemRow& row = IsItem(showType) ? r.rows[showType] : none;
    if (IsItem(showType))
        row.status = status;
    if (IScanObCallback* callback = r.callback)
        callback->OnItemStatusChange(showType, &row);
}

void RCSafeTrevoxOb::FireState()
{
    IScanObCallback* callback = record_->callback;
    if (callback == nullptr)
        return;
    RCAutoLock guard(record_->lock);
    const ScanStatusBlock block = record_->Status();
    callback->OnScanStateChange(&block);
}

void RCSafeTrevoxOb::FireProgress()
{
    IScanObCallback* callback = record_->callback;
    if (callback == nullptr || !PassesThrottle(g_lastProgress))
        return;
    RCAutoLock guard(record_->lock);
    const ScanProgressBlock block = record_->Progress();
    callback->OnScanProgressChange(&block);
}

void RCSafeTrevoxOb::FireItemProgress(uint32_t showType)
{
    IScanObCallback* callback = record_->callback;
    if (callback == nullptr || !PassesThrottle(g_lastItemProgress))
        return;
    Record& r = *record_;
    RCAutoLock guard(r.lock);
    const ItemRow row = IsItem(showType) ? r.rows[showType] : ItemRow();
    callback->OnItemProgressChange(showType, &row);
}

void RCSafeTrevoxOb::SetTickSource(TickSource source)
{
    g_ticks.store(source != nullptr ? source : &SystemTicks);
}

} // namespace RC
