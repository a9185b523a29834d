#include "Src/Engine/RCTrevoxCtrl.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <new>
#include <optional>

#include "Src/Engine/Enumerator/RCAvEnumFileFilter.h"
#include "Src/Engine/Enumerator/RCEnumThreads.h"
#include "Src/Engine/RCItemTally.h"
#include "Src/Engine/RCScanPlan.h"
#include "Src/Engine/Scanner/RCAvFileScan.h"
#include "foundation/RCAutoLock.h"
#include "foundation/RCCriticalSection.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCEvent.h"
#include "foundation/RCNoThrowBoundary.h"
#include "foundation/RCRefPtr.h"
#include "foundation/RCThreadChecker.h"

namespace RC {

namespace {

constexpr int32_t kCustomPathsGroup = 0x200;
constexpr uint32_t kMaxScannedFileSize = 52428800;

// Where a run stands. Starting lasts from the start until the query thread
// begins; a stop that comes then waits for that moment.
enum class RunState { kIdle, kStarting, kScanning, kSuspended, kStopping };

// A path with a drive letter; anything else (relative, UNC) is not scanned.
bool IsDrivePath(const std::wstring& path)
{
    return path.size() >= 4 && path[1] == L':';
}

} // namespace

enum class RCSafeTrevoxCtrl::RunEvent { kStart, kStartFailed, kQueryBegin, kSuspend, kResume, kStop, kEnd };

// What a transition leaves to its caller for after the run lock.
struct RCSafeTrevoxCtrl::Step {
    bool answer = false;
    bool beginRun = false;    // prepare the run and start its worker
    bool stopWorkers = false; // stop the enumeration and abort the queue
};

struct RCSafeTrevoxCtrl::State {
    // The bus thread's: the plan for the next run and the objects' lifetimes.
    ScanType scanType{};
    std::vector<std::wstring> customPaths;
    RCEnumThreads::EnumeratorMap planEnumerators;
    std::vector<uint32_t> planOrder;
    bool initialized = false;
    RCRunFaults faults;

    // The run's: written by a start while no worker of it exists, read by the
    // workers until the run has ended.
    RCEnumThreads::EnumeratorMap enumerators;
    std::vector<uint32_t> itemOrder;
    RCRefPtr<RCAvEnumFileFilter> filter;
    std::atomic<bool> enumerationDone{false};
    // The run's own machinery failed after it began, or lost an answer:
    // whatever it reached, it missed something and ends as stopped.
    std::atomic<bool> failed{false};
    // The enumeration thread's alone.
    uint32_t lastTaskId = 0;
    int32_t currentShowType = static_cast<int32_t>(kEndOfRunShowType);
    std::wstring currentItemName;

    std::unique_ptr<RCAvFileScan> fileScan;
    std::unique_ptr<RCEnumThreads> enumThreads;
    RCSafeTrevoxOb observer;
    std::unique_ptr<RCTrojaneList> trojans{new RCTrojaneList()};

    RCCriticalSection runLock;
    RunState run RC_GUARDED_BY(runLock) = RunState::kIdle;
    bool stopRequested RC_GUARDED_BY(runLock) = false;

    // The pause gate: signalled while open. The flags let a worker pass
    // without a wait on the event (a trip to the wineserver per file).
    RCEvent gate{true};
    std::atomic<bool> paused{false};
    std::atomic<bool> stopped{false};

    // The run's items: their counters, statuses and the percentage.
    RCItemTally tally{observer, enumerators};

    // The delivery's calls come one at a time; each run binds its workers.
    RCSequenceChecker bus;
    RCThreadChecker enumerationThread;
    RCThreadChecker queryThread;
};

RCSafeTrevoxCtrl::RCSafeTrevoxCtrl() : state_(new State())
{
    state_->gate.Set();
}

RCSafeTrevoxCtrl::~RCSafeTrevoxCtrl()
{
    UnInitialize();
}

void RCSafeTrevoxCtrl::SetFaults(const RCRunFaults& faults)
{
    State& s = *state_;
    s.faults = faults;
    if (s.fileScan)
        s.fileScan->SetFaults(faults);
    if (s.enumThreads)
        s.enumThreads->SetFaults(faults);
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
    RC_CHECK_SEQUENCE(state_->bus);
    State& s = *state_;
    if (s.initialized)
        return true;
    RC_LOG(Lifecycle, L"Initialize enter");
    s.observer.Reset();
    s.trojans->Init();
    s.fileScan.reset(new RCAvFileScan());
    s.fileScan->SetSink(this);
    s.fileScan->SetFaults(s.faults);
    // A queue without its events has logged it; the run's start then fails
    // and says so with its end state.
    static_cast<void>(s.fileScan->Init(engineArgument));
    s.enumThreads.reset(new RCEnumThreads());
    s.enumThreads->SetEnumEvent(this);
    s.enumThreads->SetFaults(s.faults);
    s.initialized = true;
    RC_LOG(Lifecycle, L"Initialize leave");
    return true;
}

void RCSafeTrevoxCtrl::UnInitialize()
{
    RC_CHECK_SEQUENCE(state_->bus);
    State& s = *state_;
    RC_LOG(Lifecycle, L"Uninitialize enter");
    if (!s.initialized)
        return;
    StopScan();
    RC_LOG(Progress, L"Stop scan completed");
    // Waits for the run's end: a stop that came before the run began is
    // carried out when the query thread begins.
    s.enumThreads->UnInitialize();
    s.enumThreads.reset();
    s.fileScan->UnInit();
    s.fileScan.reset();
    s.observer.Reset();
    s.trojans->UnInit();
    s.initialized = false;
    RC_LOG(Lifecycle, L"Uninitialize leave");
}

RCSafeTrevoxCtrl::Step RCSafeTrevoxCtrl::Transition(RunEvent event)
{
    State& s = *state_;
    RCAutoLock guard(s.runLock);
    Step step;
    std::optional<ScanState> publish;
    const bool active = s.run == RunState::kScanning || s.run == RunState::kSuspended;
    switch (event) {
    case RunEvent::kStart:
        // Peers clear their view of the task before the run's own states
        // arrive. Queued under the run lock, so that it comes after the end
        // state of a run that ended before this start, and before the end
        // state of one that this start finds still running.
        if (IScanObCallback* callback = s.observer.GetCallback()) {
            const ScanStatusBlock cleared;
            callback->OnScanStateChange(&cleared);
        }
        // A start before the run has begun is that run's start again: it
        // withdraws a stop given in between, and no second worker starts.
        step.answer = s.run == RunState::kIdle || s.run == RunState::kStarting;
        step.beginRun = s.run == RunState::kIdle;
        if (step.answer) {
            s.run = RunState::kStarting;
            s.stopRequested = false;
        }
        break;
    case RunEvent::kStartFailed:
        s.run = RunState::kIdle;
        publish = ScanState::Stopped;
        break;
    case RunEvent::kQueryBegin:
        if (s.run != RunState::kStarting)
            break;
        RC_LOG(Lifecycle, L"RCSafeTrevoxCtrl::OnTrevoxStart");
        publish = ScanState::Scanning;
        step.answer = !s.stopRequested;
        s.run = s.stopRequested ? RunState::kStopping : RunState::kScanning;
        step.stopWorkers = s.stopRequested;
        break;
    case RunEvent::kSuspend:
        // The run lasts until its end state, a stopping one too: peers see
        // the suspend, while the workers, already let go, finish the stop.
        step.answer = active || s.run == RunState::kStopping;
        if (!step.answer)
            break;
        RC_LOG(Lifecycle, L"RCTrvox::SuspendScan Enter");
        publish = ScanState::Suspended;
        if (!active)
            break;
        s.run = RunState::kSuspended;
        s.fileScan->Pause();
        s.gate.Reset();
        s.paused = true;
        break;
    case RunEvent::kResume:
        step.answer = active || s.run == RunState::kStopping;
        if (!step.answer)
            break;
        RC_LOG(Lifecycle, L"RCTrvox::ResumeScan Enter");
        publish = ScanState::Scanning;
        if (!active)
            break;
        s.run = RunState::kScanning;
        s.fileScan->Resume();
        s.paused = false;
        s.gate.Set();
        break;
    case RunEvent::kStop:
        if (s.run == RunState::kStarting)
            s.stopRequested = true; // carried out when the query thread begins
        step.answer = active || s.run == RunState::kStopping;
        if (!step.answer)
            break;
        RC_LOG(Lifecycle, L"RCTrvox::StopScan Enter");
        s.stopRequested = true;
        s.run = RunState::kStopping;
        step.stopWorkers = true;
        break;
    case RunEvent::kEnd:
        // A run that never began failed to start: it ends as stopped.
        publish =
            s.stopRequested || s.run == RunState::kStarting || s.failed ? ScanState::Stopped : ScanState::Completed;
        s.run = RunState::kIdle;
        RC_LOG(Lifecycle, L"RCSafeTrevoxCtrl::FireScanEndEvent");
        break;
    }
    if (step.stopWorkers) {
        // The flag before the gate opens, so that a released worker learns
        // of the stop at once.
        s.stopped = true;
        s.paused = false;
        s.gate.Set();
    }
    if (publish) {
        // Queued under the run lock, so that states reach peers in the order
        // they were decided.
        s.observer.SetState(*publish);
        s.observer.FireState();
    }
    return step;
}

bool RCSafeTrevoxCtrl::Apply(RunEvent event)
{
    State& s = *state_;
    const Step step = Transition(event);
    if (step.stopWorkers) {
        s.enumThreads->StopScan();
        s.fileScan->Abort();
    }
    return step.answer;
}

void RCSafeTrevoxCtrl::SetScanTypeInfo(const ScanTypeInfo& info)
{
    RC_CHECK_SEQUENCE(state_->bus);
    State& s = *state_;
    RC_LOG(Lifecycle, L"Enter");
    if (!AcceptsPlan())
        return;
    s.scanType = info.scanType;
    s.customPaths = info.customPaths;
    RunScanTask();
}

bool RCSafeTrevoxCtrl::AcceptsPlan()
{
    State& s = *state_;
    RCAutoLock guard(s.runLock);
    return s.run == RunState::kIdle || s.run == RunState::kStarting;
}

void RCSafeTrevoxCtrl::RunScanTask()
{
    State& s = *state_;
    RC_LOG(Lifecycle, L"RCTrvox::RunScanTask Enter");
    s.planEnumerators.clear();
    s.planOrder.clear();

    ScanTypeInfo info;
    info.scanType = s.scanType;
    info.customPaths = s.customPaths;
    std::vector<ScanItem> items;
    for (const RCScanPlan::Item& item : RCScanPlan().Build(info)) {
        RCRefPtr<IAvEnumFile> enumerator = RCScanPlan::CreateEnumerator(item);
        if (!enumerator)
            continue;
        const uint32_t showType = static_cast<uint32_t>(item.showType);
        s.planEnumerators[showType] = enumerator;
        s.planOrder.push_back(showType);
        items.push_back(ScanItem{showType, RCScanPlan::DisplayName(item.showType)});
    }
    s.observer.SetItems(std::move(items));
    RC_LOG(Lifecycle, L"RCTrvox::RunScanTask Leave");
}

bool RCSafeTrevoxCtrl::StartScan()
{
    RC_CHECK_SEQUENCE(state_->bus);
    State& s = *state_;
    RC_LOG(Lifecycle, L"RCTrvox::StartScan Enter");
    if (!s.initialized) {
        if (IScanObCallback* callback = s.observer.GetCallback()) {
            const ScanStatusBlock cleared;
            callback->OnScanStateChange(&cleared);
        }
        return false;
    }
    const Step step = Transition(RunEvent::kStart);
    if (step.beginRun && !BeginRun())
        Transition(RunEvent::kStartFailed);
    RC_LOG(Lifecycle, L"RCTrvox::StartScan Leave");
    return step.answer;
}

bool RCSafeTrevoxCtrl::BeginRun()
{
    State& s = *state_;
    s.observer.Reset();
    s.trojans->CancelOperation();
    s.trojans->Clear();

    RCRefPtr<RCAvEnumFileFilter> filter(new RCAvEnumFileFilter());
    filter->maxFileSize = kMaxScannedFileSize;
    filter->minFileSize = 0;
    filter->checkExecutableImage = 0;
    filter->checkExtension = 1;
    s.filter = filter;

    // The previous run has ended: its query thread is gone and its worker
    // no longer looks at the enumerators.
    s.enumerators = s.planEnumerators;
    s.itemOrder = s.planOrder;
    s.lastTaskId = 0;
    s.enumerationDone = false;
    s.failed = false;
    s.tally.Reset();

    s.stopped = false;
    s.paused = false;
    s.gate.Set();
    if (s.gate.GetHandle() == nullptr) {
        RC_LOG(Failure, L"StartScan no pause gate");
        return false;
    }
    s.enumThreads->SetScanTasks(s.enumerators, s.itemOrder);
    // The enumeration threads log their own failure.
    return s.enumThreads->StartScan();
}

bool RCSafeTrevoxCtrl::SuspendScan()
{
    RC_CHECK_SEQUENCE(state_->bus);
    const bool ran = Apply(RunEvent::kSuspend);
    if (ran)
        RC_LOG(Lifecycle, L"RCTrvox::SuspendScan Leave");
    return ran;
}

bool RCSafeTrevoxCtrl::ResumeScan()
{
    RC_CHECK_SEQUENCE(state_->bus);
    const bool ran = Apply(RunEvent::kResume);
    if (ran)
        RC_LOG(Lifecycle, L"RCTrvox::ResumeScan Leave");
    return ran;
}

void RCSafeTrevoxCtrl::StopScan()
{
    RC_CHECK_SEQUENCE(state_->bus);
    if (state_->initialized && Apply(RunEvent::kStop))
        RC_LOG(Lifecycle, L"RCTrvox::StopScan Leave");
}

bool RCSafeTrevoxCtrl::CheckStopped()
{
    State& s = *state_;
    if (s.stopped)
        return true;
    if (!s.paused)
        return false;
    // Held here for as long as the scan is suspended.
    s.gate.Wait(INFINITE);
    return s.stopped;
}

void RCSafeTrevoxCtrl::ForwardThreatPaths(const std::vector<uint32_t>& taskIds)
{
    RC_CHECK_SEQUENCE(state_->bus);
    State& s = *state_;
    for (uint32_t taskId : taskIds) {
        FileQueryTask threat;
        if (s.trojans->FindThreat(taskId, threat) && s.fileScan)
            s.fileScan->NotifyFile(threat.path);
    }
}

IAvEnumFile* RCSafeTrevoxCtrl::FindEnumerator(uint32_t showType) const
{
    const auto found = state_->enumerators.find(showType);
    return found != state_->enumerators.end() ? found->second.Get() : nullptr;
}

bool RCSafeTrevoxCtrl::OnEnumStart()
{
    RC_BIND_THREAD(state_->enumerationThread);
    State& s = *state_;
    RC_LOG(Progress, L"On Enumed start");
    s.observer.SetPercent(RCItemTally::kFirstPercent);
    // A queue that cannot start would let files be found but never scanned:
    // the run ends instead (the queue has logged why).
    if (!s.fileScan->StartScan()) {
        s.failed = true;
        return false;
    }
    const bool proceed = !CheckStopped();
    RC_LOG(Progress, L"On Enumed start leave");
    return proceed;
}

bool RCSafeTrevoxCtrl::OnEnumItemStart(IAvEnumFile* enumerator)
{
    RC_CHECK_THREAD(state_->enumerationThread);
    State& s = *state_;
    if (enumerator == nullptr)
        return false;
    s.currentShowType = enumerator->GetShowType();
    s.currentItemName = RCScanPlan::DisplayName(s.currentShowType);
    s.observer.SetCurrentItem(static_cast<uint32_t>(s.currentShowType), s.currentItemName);
    s.tally.ItemStarted(enumerator);
    return !CheckStopped();
}

bool RCSafeTrevoxCtrl::OnEnumFile(IAvEnumFile* enumerator, const std::wstring& path, const std::wstring& subItem)
{
    RC_CHECK_THREAD(state_->enumerationThread);
    State& s = *state_;
    if (enumerator == nullptr)
        return false;
    if (IsDrivePath(path)) {
        s.observer.SetCurrentFile(path);
        s.observer.FireProgress();
        const bool skipped = s.filter && s.filter->IsFileFiltered(path);
        const int32_t scanGroup = enumerator->GetScanGroup();
        const int32_t showType = enumerator->GetShowType();
        // Counted before it is queued: its answer may come at once, and an
        // item never shows more files scanned than found.
        const bool counted = !skipped || scanGroup == kCustomPathsGroup;
        s.tally.FileFound(enumerator, counted);
        if (counted)
            s.observer.IncrementFilesFound();
        if (!skipped) {
            FileQueryTask task;
            task.taskId = ++s.lastTaskId;
            task.scanGroup = static_cast<uint32_t>(scanGroup);
            task.showType = static_cast<uint32_t>(showType);
            task.path = path;
            task.subItem = subItem;
            RC_LOG(Detail, L"scanType = %d, scanSubType = %d, file = %s", static_cast<int>(scanGroup),
                   static_cast<int>(showType), path.c_str());
            s.fileScan->AddFileQueryTask(&task);
        }
        s.observer.FireItemProgress(static_cast<uint32_t>(showType));
    }
    return !CheckStopped();
}

bool RCSafeTrevoxCtrl::OnEnumFileEnd(IAvEnumFile* enumerator)
{
    RC_CHECK_THREAD(state_->enumerationThread);
    State& s = *state_;
    if (enumerator != nullptr) {
        const int32_t showType = enumerator->GetShowType();
        RC_LOG(Progress, L"scanType = %d, is enumed", static_cast<int>(showType));
        s.tally.EnumerationFinished(enumerator);
        s.observer.FireItemProgress(static_cast<uint32_t>(showType));

        FileQueryTask marker;
        marker.taskId = ++s.lastTaskId;
        marker.showType = static_cast<uint32_t>(showType);
        s.fileScan->AddFileQueryTask(&marker);
    }
    return !CheckStopped();
}

void RCSafeTrevoxCtrl::OnEnumEnd(bool stopped)
{
    RC_CHECK_THREAD(state_->enumerationThread);
    State& s = *state_;
    s.enumerationDone = true;
    if (!stopped) {
        // Without the marker the queue would wait for it until a stop; a run
        // that cannot queue it ends without it.
        RCNoThrowBoundary("RCSafeTrevoxCtrl::OnEnumEnd", [&] {
            FileQueryTask endOfRun;
            endOfRun.taskId = ++s.lastTaskId;
            endOfRun.showType = kEndOfRunShowType;
            s.fileScan->AddFileQueryTask(&endOfRun);
        });
    }
    s.fileScan->WaitingStop();
    if (s.fileScan->LostAnswers())
        s.failed = true;
    if (s.failed)
        RC_LOG(Failure, L"the run missed answers: it ends as stopped");
    Apply(RunEvent::kEnd);
    RC_LOG(Lifecycle, L"On Enumed end");
}

bool RCSafeTrevoxCtrl::OnQueryBegin()
{
    RC_BIND_THREAD(state_->queryThread);
    RC_LOG(Progress, L"On Query begin");
    if (!Apply(RunEvent::kQueryBegin))
        return false;
    CheckStopped();
    RC_LOG(Progress, L"On Query begin leave");
    return true;
}

bool RCSafeTrevoxCtrl::OnFileQueryBegin(FileQueryTask* task)
{
    // Markers and failed submissions come on the enumeration thread.
    RC_CHECK_EITHER_THREAD(state_->queryThread, state_->enumerationThread);
    State& s = *state_;
    if (task == nullptr || task->showType >= kEndOfRunShowType)
        return true;
    IAvEnumFile* enumerator = FindEnumerator(task->showType);
    if (enumerator == nullptr)
        return false;
    const uint32_t queried = s.tally.Queried(enumerator, *task);
    if (s.enumerationDone) {
        if (!task->IsMarker())
            s.observer.SetCurrentFile(task->path);
        s.observer.FireProgress();
        s.observer.FireItemProgress(task->showType);
    }
    RC_LOG(Detail, L"scanType = %d, total = %d, scanItem = %s, scanSubItem = %s", static_cast<int>(task->showType),
           static_cast<int>(queried), task->path.c_str(), task->subItem.c_str());
    return !CheckStopped();
}

bool RCSafeTrevoxCtrl::OnFileQueryEnd(FileQueryTask* task)
{
    // Markers and failed submissions come on the enumeration thread.
    RC_CHECK_EITHER_THREAD(state_->queryThread, state_->enumerationThread);
    State& s = *state_;
    if (task == nullptr || task->showType >= kEndOfRunShowType)
        return true;
    IAvEnumFile* enumerator = FindEnumerator(task->showType);
    if (enumerator == nullptr) {
        RC_LOG(LostWork, L"Drop one result %d", static_cast<int>(task->taskId));
        return false;
    }
    const bool isFile = !task->IsMarker();
    const ThreatLevel level = task->level();
    // The trojan list tells its observer of a new threat, which posts. That
    // comes before the answer is counted: the item's last answer may finish
    // it, and a peer hears of the threat before it hears the item is done.
    // A threat that cannot be kept is still counted below, so that its item
    // ends; the run, which lost it, ends as stopped.
    if (isFile && (level == ThreatLevel::Threat || level == ThreatLevel::Risk) &&
        !RCNoThrowBoundary("RCSafeTrevoxCtrl::AddThreat", false, [&] {
            if (RCRunFaults::Names(s.faults.threatThatThrows, task->path))
                throw std::bad_alloc();
            if (s.trojans->AddThreat(*task) != 0) {
                if (level == ThreatLevel::Threat)
                    s.observer.IncrementLevel3Found();
                else
                    s.observer.IncrementLevel2Found();
            }
            return true;
        })) {
        s.failed = true;
        RC_LOG(Failure, L"threat lost: taskid = %d file = %s", static_cast<int>(task->taskId), task->path.c_str());
    }
    // A failed submission comes on the enumeration thread while the query
    // thread reports answers: the tally keeps them in step.
    s.tally.Answered(enumerator, *task);
    if (s.enumerationDone && isFile)
        s.observer.SetCurrentFile(task->path);
    s.observer.FireProgress();
    s.observer.FireItemProgress(task->showType);
    return !CheckStopped();
}

bool RCSafeTrevoxCtrl::OnQueryEnd()
{
    RC_CHECK_THREAD(state_->queryThread);
    RC_LOG(Lifecycle, L"OnQueryend");
    return true;
}

} // namespace RC
