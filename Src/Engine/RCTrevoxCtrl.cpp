#include "Src/Engine/RCTrevoxCtrl.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <map>

#include "Src/Engine/Enumerator/RCAvEnumFileFilter.h"
#include "Src/Engine/Enumerator/RCEnumThreads.h"
#include "Src/Engine/RCScanPlan.h"
#include "Src/Engine/Scanner/RCAvFileScan.h"
#include "foundation/RCAutoLock.h"
#include "foundation/RCCriticalSection.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCRefPtr.h"

namespace RC {

namespace {

constexpr uint32_t kStateScanning = 1;
constexpr uint32_t kStateSuspended = 2;
constexpr uint32_t kStateStopped = 3;
constexpr uint32_t kStateCompleted = 4;

constexpr uint32_t kStatusEnumerating = 1;
constexpr uint32_t kStatusScanning = 2;
constexpr uint32_t kStatusFinished = 3;

constexpr int32_t kCustomPathsGroup = 0x200;
constexpr uint32_t kFirstPercent = 20;
constexpr uint32_t kPercentSpan = 79;

constexpr uint32_t kMaxScannedFileSize = 52428800;

// Where the scan stands while it is suspended. The critical section belongs
// to the thread that suspended, so only that thread leaves it.
struct PauseGate {
    RCCriticalSection section;
    std::atomic<bool> paused{false};
    std::atomic<bool> stopped{false};
    DWORD owner = 0;
};

uint32_t Interlocked(uint32_t& counter)
{
    return static_cast<uint32_t>(InterlockedIncrement(reinterpret_cast<volatile LONG*>(&counter)));
}

uint32_t ReadInterlocked(const uint32_t& counter)
{
    return static_cast<uint32_t>(
        InterlockedCompareExchange(reinterpret_cast<volatile LONG*>(const_cast<uint32_t*>(&counter)), 0, 0));
}

// A path with a drive letter; anything else (relative, UNC) is not scanned.
bool IsDrivePath(const std::wstring& path)
{
    return path.size() >= 4 && path[1] == L':';
}

} // namespace

struct RCSafeTrevoxCtrl::State {
    int32_t scanType = 0;
    std::vector<std::wstring> customPaths;
    std::unique_ptr<PauseGate> gate{new PauseGate()};
    std::unique_ptr<RCAvFileScan> fileScan;
    std::unique_ptr<RCEnumThreads> enumThreads;
    std::atomic<bool> running{false};
    std::atomic<bool> enumerationDone{false};
    RCEnumThreads::EnumeratorMap enumerators;
    std::vector<uint32_t> itemOrder;
    uint32_t lastTaskId = 0;  // the enumeration thread's alone
    RCSafeTrevoxOb observer;
    std::unique_ptr<RCTrojaneList> trojans{new RCTrojaneList()};
    bool initialized = false;
    std::atomic<bool> stopBeforeStart{false};
    std::atomic<bool> stopRequested{false};
    int32_t currentShowType = static_cast<int32_t>(kEndOfRunShowType);
    std::wstring currentItemName;
    RCRefPtr<RCAvEnumFileFilter> filter;

    // From StartScan to the end state: running only begins when the query
    // thread starts, and a second start or a new plan must not slip into
    // that gap.
    std::atomic<bool> inProgress{false};
    // Decides and publishes item statuses one at a time, so that a status
    // computed from older counters never overwrites a newer one.
    RCCriticalSection statusLock;
    // Orders the run-state changes of the bus thread (suspend, resume, stop)
    // against the start and end of the run on the worker threads: no
    // suspended after the end state, no stop lost just as the run begins.
    RCCriticalSection stateLock;
};

RCSafeTrevoxCtrl::RCSafeTrevoxCtrl() : state_(new State()) {}

RCSafeTrevoxCtrl::~RCSafeTrevoxCtrl()
{
    UnInitialize();
    OpenGate();
}

RCTrojaneList* RCSafeTrevoxCtrl::GetTrojaneList()
{
    return state_->trojans.get();
}

RCSafeTrevoxOb* RCSafeTrevoxCtrl::GetObserver()
{
    return &state_->observer;
}

bool RCSafeTrevoxCtrl::Initialize(const wchar_t* engineArgument)
{
    State& s = *state_;
    if (s.initialized)
        return true;
    RC_LOG(3, L"Initialize enter");
    s.observer.Reset();
    s.trojans->Init();
    s.fileScan.reset(new RCAvFileScan());
    s.fileScan->SetSink(this);
    s.fileScan->Init(engineArgument);
    s.enumThreads.reset(new RCEnumThreads());
    s.enumThreads->SetEnumEvent(this);
    s.initialized = true;
    RC_LOG(3, L"Initialize leave");
    return true;
}

void RCSafeTrevoxCtrl::UnInitialize()
{
    State& s = *state_;
    RC_LOG(3, L"Uninitialize enter");
    if (!s.initialized)
        return;
    StopScan();
    RC_LOG(4, L"Stop scan completed");
    s.enumThreads->UnInitialize();
    s.enumThreads.reset();
    s.fileScan->UnInit();
    s.fileScan.reset();
    OpenGate();
    s.observer.Reset();
    s.trojans->UnInit();
    s.initialized = false;
    RC_LOG(3, L"Uninitialize leave");
}

void RCSafeTrevoxCtrl::SetScanTypeInfo(const ScanTypeInfo& info)
{
    State& s = *state_;
    RC_LOG(3, L"Enter");
    if (s.running || s.inProgress)
        return;
    s.scanType = info.scanType;
    s.customPaths = info.customPaths;
    RunScanTask();
    if (s.enumThreads)
        s.enumThreads->SetScanTasks(s.enumerators, s.itemOrder);
}

void RCSafeTrevoxCtrl::RunScanTask()
{
    State& s = *state_;
    RC_LOG(3, L"RCTrvox::RunScanTask Enter");
    s.enumerators.clear();
    s.itemOrder.clear();

    ScanTypeInfo info;
    info.scanType = s.scanType;
    info.customPaths = s.customPaths;
    for (const RCScanPlan::Item& item : RCScanPlan().Build(info)) {
        RCRefPtr<IAvEnumFile> enumerator = RCScanPlan::CreateEnumerator(item);
        if (!enumerator)
            continue;
        s.enumerators[static_cast<uint32_t>(item.showType)] = enumerator;
        s.itemOrder.push_back(static_cast<uint32_t>(item.showType));
    }

    std::vector<ScanItem> items;
    for (uint32_t showType : s.itemOrder) {
        if (FindEnumerator(showType) != nullptr)
            items.push_back(ScanItem{showType, RCScanPlan::DisplayName(static_cast<int32_t>(showType))});
    }
    s.observer.SetItems(std::move(items));
    RC_LOG(3, L"RCTrvox::RunScanTask Leave");
}

bool RCSafeTrevoxCtrl::StartScan()
{
    State& s = *state_;
    RC_LOG(3, L"RCTrvox::StartScan Enter");
    if (s.running || s.inProgress || !s.enumThreads)
        return false;
    s.inProgress = true;
    s.stopBeforeStart = false;
    s.stopRequested = false;
    s.observer.Reset();

    s.trojans->CancelOperation();
    s.trojans->Clear();

    RCRefPtr<RCAvEnumFileFilter> filter(new RCAvEnumFileFilter());
    filter->maxFileSize = kMaxScannedFileSize;
    filter->minFileSize = 0;
    filter->checkExecutableImage = 0;
    filter->checkExtension = 1;
    s.filter = filter;

    s.lastTaskId = 0;
    s.enumerationDone = false;
    for (auto& entry : s.enumerators) {
        if (!entry.second)
            continue;
        ItemStats& stats = *entry.second->GetItemStats();
        const uint32_t weight = stats.weight;
        const uint32_t expected = stats.expected;
        stats = ItemStats();
        stats.weight = weight;
        stats.expected = expected;
    }

    OpenGate();
    s.gate->stopped = false;

    // The previous run's worker may still be on its last steps after the
    // end state; it must be gone, or the enumeration threads would take this
    // start for part of that run.
    s.enumThreads->UnInitialize();
    s.enumThreads->StartScan();
    RC_LOG(3, L"RCTrvox::StartScan Leave");
    return true;
}

bool RCSafeTrevoxCtrl::SuspendScan()
{
    State& s = *state_;
    RCAutoLock guard(s.stateLock);
    if (!s.running)
        return false;
    RC_LOG(3, L"RCTrvox::SuspendScan Enter");
    s.observer.SetState(kStateSuspended);
    s.observer.FireState();
    if (s.fileScan)
        s.fileScan->Pause();
    PauseGate& gate = *s.gate;
    if (!gate.paused) {
        gate.section.Lock();
        gate.owner = GetCurrentThreadId();
        gate.paused = true;
    }
    RC_LOG(3, L"RCTrvox::SuspendScan Leave");
    return true;
}

bool RCSafeTrevoxCtrl::ResumeScan()
{
    State& s = *state_;
    RCAutoLock guard(s.stateLock);
    if (!s.running)
        return false;
    RC_LOG(3, L"RCTrvox::ResumeScan Enter");
    if (s.fileScan)
        s.fileScan->Resume();
    OpenGate();
    s.observer.SetState(kStateScanning);
    s.observer.FireState();
    RC_LOG(3, L"RCTrvox::ResumeScan Leave");
    return true;
}

void RCSafeTrevoxCtrl::StopScan()
{
    State& s = *state_;
    {
        RCAutoLock guard(s.stateLock);
        s.stopRequested = true;
        if (!s.running) {
            s.stopBeforeStart = true;
            return;
        }
    }
    RC_LOG(3, L"RCTrvox::StopScan Enter");
    s.gate->stopped = true;
    OpenGate();
    if (s.enumThreads)
        s.enumThreads->StopScan();
    if (s.fileScan)
        s.fileScan->Abort();
    RC_LOG(3, L"RCTrvox::StopScan Leave");
}

void RCSafeTrevoxCtrl::OpenGate()
{
    PauseGate& gate = *state_->gate;
    if (!gate.paused || gate.owner != GetCurrentThreadId())
        return;
    gate.paused = false;
    gate.owner = 0;
    gate.section.Unlock();
}

bool RCSafeTrevoxCtrl::CheckStopped()
{
    PauseGate& gate = *state_->gate;
    if (gate.stopped)
        return true;
    if (!gate.paused)
        return false;
    // Held here for as long as the scan is suspended; a stop releases the
    // gate after marking it, so a released worker learns of it at once.
    gate.section.Lock();
    gate.section.Unlock();
    return gate.stopped;
}

void RCSafeTrevoxCtrl::ForwardThreatPaths(const std::vector<uint32_t>& taskIds)
{
    State& s = *state_;
    for (uint32_t taskId : taskIds) {
        FileQueryTask threat;
        if (s.trojans->FindThreat(taskId, threat) && s.fileScan)
            s.fileScan->NotifyFile(threat.path);
    }
}

bool RCSafeTrevoxCtrl::FireScanStartEvent()
{
    State& s = *state_;
    RC_LOG(3, L"RCSafeTrevoxCtrl::OnTrevoxStart");
    RCAutoLock guard(s.stateLock);
    s.running = true;
    s.observer.SetState(kStateScanning);
    s.observer.FireState();
    return true;
}

void RCSafeTrevoxCtrl::FireScanEndEvent()
{
    State& s = *state_;
    {
        // The run lets go before it tells: a peer that answers the end state
        // with a new plan or a new start must find the controller idle. A
        // start that comes this early waits for this worker in StartScan.
        RCAutoLock guard(s.stateLock);
        s.observer.SetState(s.stopRequested ? kStateStopped : kStateCompleted);
        s.running = false;
        s.inProgress = false;
        s.observer.FireState();
    }
    RC_LOG(3, L"RCSafeTrevoxCtrl::FireScanEndEvent");
}

IAvEnumFile* RCSafeTrevoxCtrl::FindEnumerator(uint32_t showType) const
{
    const auto found = state_->enumerators.find(showType);
    return found != state_->enumerators.end() ? found->second.Get() : nullptr;
}

bool RCSafeTrevoxCtrl::OnEnumStart()
{
    State& s = *state_;
    RC_LOG(4, L"On Enumed start");
    s.observer.SetPercent(kFirstPercent);
    if (s.fileScan)
        s.fileScan->StartScan();
    const bool proceed = !CheckStopped();
    RC_LOG(4, L"On Enumed start leave");
    return proceed;
}

bool RCSafeTrevoxCtrl::OnEnumItemStart(IAvEnumFile* enumerator)
{
    State& s = *state_;
    if (enumerator == nullptr)
        return false;
    s.currentShowType = enumerator->GetShowType();
    s.currentItemName = RCScanPlan::DisplayName(s.currentShowType);
    s.observer.SetCurrentItem(static_cast<uint32_t>(s.currentShowType), s.currentItemName);
    CalcItemStatus(s.currentShowType, enumerator->GetItemStats());
    return !CheckStopped();
}

bool RCSafeTrevoxCtrl::OnEnumFile(IAvEnumFile* enumerator, const std::wstring& path, const std::wstring& subItem)
{
    State& s = *state_;
    if (enumerator == nullptr)
        return false;
    if (IsDrivePath(path)) {
        s.observer.SetCurrentFile(path);
        s.observer.FireProgress();
        const bool skipped = s.filter && s.filter->IsFileFiltered(path);
        ItemStats* stats = enumerator->GetItemStats();
        const int32_t scanGroup = enumerator->GetScanGroup();
        const int32_t showType = enumerator->GetShowType();
        if (!skipped || scanGroup == kCustomPathsGroup) {
            ++stats->enumerated;
            s.observer.IncrementFilesFound();
        }
        if (!skipped) {
            FileQueryTask task;
            task.taskId = ++s.lastTaskId;
            task.scanGroup = static_cast<uint32_t>(scanGroup);
            task.showType = static_cast<uint32_t>(showType);
            task.path = path;
            task.subItem = subItem;
            RC_LOG(5, L"scanType = %d, scanSubType = %d, file = %s", static_cast<int>(scanGroup),
                   static_cast<int>(showType), path.c_str());
            if (s.fileScan)
                s.fileScan->AddFileQueryTask(&task);
        }
        CalcItemStatus(showType, stats);
        s.observer.FireItemProgress(static_cast<uint32_t>(showType));
    }
    return !CheckStopped();
}

bool RCSafeTrevoxCtrl::OnEnumFileEnd(IAvEnumFile* enumerator)
{
    State& s = *state_;
    if (enumerator != nullptr) {
        const int32_t showType = enumerator->GetShowType();
        RC_LOG(4, L"scanType = %d, is enumed", static_cast<int>(showType));
        ItemStats* stats = enumerator->GetItemStats();
        stats->enumerationFinished = 1;
        CalcItemStatus(showType, stats);
        s.observer.FireItemProgress(static_cast<uint32_t>(showType));

        FileQueryTask marker;
        marker.taskId = ++s.lastTaskId;
        marker.showType = static_cast<uint32_t>(showType);
        if (s.fileScan)
            s.fileScan->AddFileQueryTask(&marker);
    }
    return !CheckStopped();
}

void RCSafeTrevoxCtrl::OnEnumEnd(bool stopped)
{
    State& s = *state_;
    s.enumerationDone = true;
    if (!s.fileScan)
        return;
    if (!stopped) {
        FileQueryTask endOfRun;
        endOfRun.taskId = ++s.lastTaskId;
        endOfRun.showType = kEndOfRunShowType;
        s.fileScan->AddFileQueryTask(&endOfRun);
    }
    s.fileScan->WaitingStop();
    FireScanEndEvent();
    RC_LOG(3, L"On Enumed end");
}

bool RCSafeTrevoxCtrl::OnQueryBegin()
{
    State& s = *state_;
    RC_LOG(4, L"On Query begin");
    bool stopNow;
    {
        RCAutoLock guard(s.stateLock);
        FireScanStartEvent();
        stopNow = s.stopBeforeStart;
    }
    if (stopNow) {
        StopScan();
        return false;
    }
    CheckStopped();
    RC_LOG(4, L"On Query begin leave");
    return true;
}

bool RCSafeTrevoxCtrl::OnFileQueryBegin(FileQueryTask* task)
{
    State& s = *state_;
    if (task == nullptr || task->showType >= kEndOfRunShowType)
        return true;
    IAvEnumFile* enumerator = FindEnumerator(task->showType);
    if (enumerator == nullptr)
        return false;
    ItemStats& stats = *enumerator->GetItemStats();
    stats.dirty = 1;
    // Counted before the flag is raised: whoever sees the marker as queried
    // also sees it counted, so the item cannot look finished a step early.
    const uint32_t queried = Interlocked(stats.queried);
    if (task->IsMarker())
        stats.endMarkerQueried = 1;
    if (s.enumerationDone) {
        if (!task->IsMarker())
            s.observer.SetCurrentFile(task->path);
        s.observer.FireProgress();
        s.observer.FireItemProgress(task->showType);
    }
    RC_LOG(5, L"scanType = %d, total = %d, scanItem = %s, scanSubItem = %s", static_cast<int>(task->showType),
           static_cast<int>(queried), task->path.c_str(), task->subItem.c_str());
    return !CheckStopped();
}

bool RCSafeTrevoxCtrl::OnFileQueryEnd(FileQueryTask* task)
{
    State& s = *state_;
    if (task == nullptr || task->showType >= kEndOfRunShowType)
        return true;
    IAvEnumFile* enumerator = FindEnumerator(task->showType);
    if (enumerator == nullptr) {
        RC_LOG(2, L"Drop one result %d", static_cast<int>(task->taskId));
        return false;
    }
    ItemStats& stats = *enumerator->GetItemStats();
    stats.dirty = 1;
    const uint32_t answered = Interlocked(stats.answered);
    RC_LOG(5,
           L"scanType = %d, total = %d, current = %d, taskid = %d, scanItem = %s, scanSubItem = %s, level = %d, "
           L"subLevel = %d",
           static_cast<int>(task->showType), static_cast<int>(ReadInterlocked(stats.queried)),
           static_cast<int>(answered), static_cast<int>(task->taskId), task->path.c_str(), task->subItem.c_str(),
           static_cast<int>(task->result.level), static_cast<int>(task->result.subLevel));

    if (!task->IsMarker()) {
        ++stats.scanned;
        if (task->result.level == 3) {
            ++stats.level3;
            if (s.trojans->AddThreat(*task) != 0)
                s.observer.IncrementLevel3Found();
        } else if (task->result.level == 2) {
            ++stats.level2;
            if (s.trojans->AddThreat(*task) != 0)
                s.observer.IncrementLevel2Found();
        }
    }
    CalcItemStatus(static_cast<int32_t>(task->showType), &stats);
    UpdatePercent();
    if (s.enumerationDone && !task->IsMarker())
        s.observer.SetCurrentFile(task->path);
    s.observer.FireProgress();
    s.observer.FireItemProgress(task->showType);
    return !CheckStopped();
}

bool RCSafeTrevoxCtrl::OnQueryEnd()
{
    RC_LOG(3, L"OnQueryend");
    return true;
}

void RCSafeTrevoxCtrl::CalcItemStatus(int32_t showType, ItemStats* stats)
{
    State& s = *state_;
    if (showType < 0 || showType >= static_cast<int32_t>(kEndOfRunShowType) || stats == nullptr)
        return;
    const uint32_t item = static_cast<uint32_t>(showType);
    RCAutoLock guard(s.statusLock);
    ItemRow counts;
    counts.enumerated = stats->enumerated;
    counts.scanned = stats->scanned;
    counts.level2 = stats->level2;
    counts.level3 = stats->level3;
    s.observer.SetItemCounts(item, counts);

    uint32_t status = kStatusScanning;
    if (!stats->enumerationFinished)
        status = kStatusEnumerating;
    else if (stats->endMarkerQueried && ReadInterlocked(stats->answered) == ReadInterlocked(stats->queried))
        status = kStatusFinished;
    const uint32_t previous = s.observer.GetItemStatus(item).status;
    if (status == previous)
        return;
    RC_LOG(4, L"ShowType = %d, From Status = %d to %d", showType, static_cast<int>(previous),
           static_cast<int>(status));
    s.observer.SetItemStatus(item, status);
    s.observer.FireItemStatus(item);
}

uint32_t RCSafeTrevoxCtrl::ItemDone(ItemStats& stats)
{
    if (!stats.dirty)
        return stats.doneCache;
    stats.dirty = 0;
    const uint32_t product = stats.scanned * stats.weight;  // 32-bit, as the progress bar always had it
    uint32_t done;
    if (stats.enumerationFinished && stats.enumerated != 0) {
        done = static_cast<uint32_t>(static_cast<double>(product) / stats.enumerated);
    } else if (stats.expected == 0) {
        const uint32_t byCount = static_cast<uint32_t>(stats.scanned / 500.0);
        const uint32_t ceiling = static_cast<uint32_t>(stats.weight * 0.8);
        done = std::min(byCount, ceiling);
    } else {
        done = static_cast<uint32_t>(static_cast<double>(product) / std::max(stats.expected, stats.enumerated));
    }
    stats.doneCache = std::min(done, stats.weight);
    return stats.doneCache;
}

uint32_t RCSafeTrevoxCtrl::PercentOf(const std::vector<ItemStats*>& items)
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

void RCSafeTrevoxCtrl::UpdatePercent()
{
    State& s = *state_;
    std::vector<ItemStats*> items;
    for (const auto& entry : s.enumerators)
        if (entry.second)
            items.push_back(entry.second->GetItemStats());
    s.observer.SetPercent(PercentOf(items));
}

} // namespace RC
