#include "Src/Engine/Scanner/RCAvFileScan.h"

#include <windows.h>

#include <atomic>
#include <ctime>
#include <map>
#include <new>
#include <stdexcept>
#include <vector>

#include "engine/EngineObjectIds.h"
#include "engine/IScanProxy.h"
#include "engine/RCWrapImpl.h"
#include "foundation/RCAutoLock.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCEvent.h"
#include "foundation/RCNoThrowBoundary.h"
#include "foundation/RCRefPtr.h"
#include "foundation/RCThread.h"

namespace RC {

namespace {

int64_t SystemSeconds()
{
    return static_cast<int64_t>(std::time(nullptr));
}

ScanResult EmptyResult()
{
    ScanResult result;
    std::memset(&result, 0, sizeof result);
    return result;
}

} // namespace

struct RCAvFileScan::State {
    struct Answer {
        uint32_t taskId;
        ScanResult result;
    };

    RCEvent stopEvent{true};
    RCEvent resultsEvent{false};
    RCEvent startedEvent{false};
    // Set while the enumeration thread waits for room (waitingForRoom,
    // under pendingLock) once the pending map is half empty, or when a
    // batch after a full gathering leaves any room.
    RCEvent roomEvent{false};
    bool waitingForRoom = false;
    // Set by the enumeration thread as it begins to wait for room: the
    // query thread then stops gathering answers and hands them over.
    RCEvent roomWanted{false};
    RCRefPtr<RCThread> queryThread;
    std::atomic<bool> idle{true};
    std::atomic<bool> allSubmitted{false};
    std::atomic<int64_t> timeBase{0};
    std::atomic<bool> paused{false};
    std::atomic<bool> lostAnswers{false};
    IAvFileScanEvent* sink = nullptr;
    RCCriticalSection pendingLock;
    RCCriticalSection resultsLock;
    std::map<uint32_t, FileQueryTask> pending;
    std::vector<Answer> results;
    IScanProxy* proxy = nullptr;
    IEngineAssist* assist = nullptr;
    Timing timing;
    RCRunFaults faults;
};

RCAvFileScan::RCAvFileScan() : state_(new State()) {}

RCAvFileScan::~RCAvFileScan() = default;

void RCAvFileScan::SetSink(IAvFileScanEvent* sink)
{
    state_->sink = sink;
}

void RCAvFileScan::SetTiming(const Timing& timing)
{
    state_->timing = timing;
}

void RCAvFileScan::SetFaults(const RCRunFaults& faults)
{
    state_->faults = faults;
}

int64_t RCAvFileScan::Now() const
{
    return state_->timing.now != nullptr ? state_->timing.now() : SystemSeconds();
}

bool RCAvFileScan::Init(const wchar_t* engineArgument)
{
    State& s = *state_;
    RC_LOG(Lifecycle, L"Init enter");
    const bool stopMade = s.stopEvent.Create(std::wstring(), true);
    const bool resultsMade = s.resultsEvent.Create(std::wstring(), false);
    const bool startedMade = s.startedEvent.Create(std::wstring(), false);
    const bool roomMade = s.roomEvent.Create(std::wstring(), false) && s.roomWanted.Create(std::wstring(), false);
    if (s.faults.noQueueEvents)
        s.resultsEvent.Close();
    const bool eventsMade = stopMade && resultsMade && startedMade && roomMade && !s.faults.noQueueEvents;
    if (!eventsMade)
        RC_LOG(Failure, L"Init events not created %d", static_cast<int>(GetLastError()));

    // A second Init keeps the objects of the first rather than leaking them.
    if (s.assist == nullptr)
        s.assist = RCCreateEngineObject<IEngineAssist>(RCHalvaneWrap(), kEngineAssistObjectId);
    if (s.proxy == nullptr) {
        s.proxy = RCCreateEngineObject<IScanProxy>(RCQuentorWrap(), kScanProxyObjectId);
        if (s.proxy != nullptr) {
            s.proxy->Init(engineArgument != nullptr ? engineArgument : L"");
            s.proxy->SetResultCallback(this, &RCAvFileScan::ScanResultCallback);
            s.proxy->SetAssist(s.assist);
        }
    }
    RC_LOG(Lifecycle, L"Init leave");
    return eventsMade;
}

void RCAvFileScan::UnInit()
{
    State& s = *state_;
    RC_LOG(Lifecycle, L"Terminate enter");
    if (s.proxy != nullptr) {
        RC_LOG(Lifecycle, L"Uninit Proxy");
        s.proxy->UnInit();
        RCDestroyEngineObject(RCQuentorWrap(), kScanProxyObjectId, s.proxy);
    }
    RCDestroyEngineObject(RCHalvaneWrap(), kEngineAssistObjectId, s.assist);
    RC_LOG(Lifecycle, L"Terminate leave");
}

bool RCAvFileScan::StartScan()
{
    State& s = *state_;
    RC_LOG(Lifecycle, L"StartScan enter");
    if (!s.idle)
        return false;
    // The query thread waits on these two: without them it could neither
    // take an answer nor be stopped, so no run begins.
    if (s.stopEvent.GetHandle() == nullptr || s.resultsEvent.GetHandle() == nullptr ||
        s.startedEvent.GetHandle() == nullptr || s.roomEvent.GetHandle() == nullptr ||
        s.roomWanted.GetHandle() == nullptr) {
        RC_LOG(Failure, L"StartScan no events");
        return false;
    }
    s.idle = false;
    s.allSubmitted = false;
    s.paused = false;
    s.lostAnswers = false;
    s.timeBase = Now();
    {
        RCAutoLock guard(s.pendingLock);
        s.pending.clear();
    }
    {
        RCAutoLock guard(s.resultsLock);
        s.results.clear();
    }
    if (s.assist != nullptr)
        s.assist->BeginRun();
    RC_LOG(Lifecycle, L"Start Proxy");
    if (s.proxy != nullptr)
        s.proxy->Start();
    RC_LOG(Lifecycle, L"Start proxy completed");

    s.stopEvent.Reset();
    s.queryThread = new RCThread(&RCAvFileScan::RunScanThread, this);
    // A query thread that ends before it is ready (its start threw) never
    // says so: the wait also ends with the thread.
    if (s.faults.noQueryThread || !s.queryThread->Start() || !s.queryThread->WaitForEventOrExit(s.startedEvent)) {
        // Without a query thread no answer and no end would ever be
        // reported: the run does not begin.
        s.queryThread.Reset();
        if (s.proxy != nullptr)
            s.proxy->Stop();
        s.idle = true;
        RC_LOG(Failure, L"StartScan no query thread");
        return false;
    }
    RC_LOG(Lifecycle, L"StartScan leaver");
    return true;
}

bool RCAvFileScan::AddFileQueryTask(FileQueryTask* task)
{
    State& s = *state_;
    if (s.sink == nullptr || task == nullptr)
        return false;
    s.sink->OnFileQueryBegin(task);

    if (task->IsMarker()) {
        if (!task->IsEndOfRun()) {
            s.sink->OnFileQueryEnd(task); // an item-end marker passes straight through
            return true;
        }
        s.allSubmitted = true;
        if (s.proxy != nullptr)
            s.proxy->EndOfQueries();
        CheckCompletion();
        return true;
    }

    if (!WaitForRoom()) {
        RC_LOG(LostWork, L"Add File Query Task dropped: the run is stopping");
        return false;
    }
    {
        // Copied before the map takes it: a copy that fails leaves no
        // half-built entry for the time-out to count as scanned.
        FileQueryTask copy = *task;
        RCAutoLock guard(s.pendingLock);
        s.pending.insert_or_assign(task->taskId, std::move(copy));
    }
    RC_LOG(Detail, L"Add File Query Task %d, file = %s", static_cast<int>(task->taskId), task->path.c_str());
    if (s.proxy != nullptr && s.proxy->AddQuery(task->taskId, task->path.c_str()))
        return true;
    RC_LOG(LostWork, L"Add File Query Task failed");
    if (!s.idle)
        OnTrevoxResult(task->taskId, EmptyResult());
    return false;
}

void __cdecl RCAvFileScan::ScanResultCallback(void* context, uint32_t taskId, const wchar_t* /*path*/,
                                              const ScanResult* result)
{
    RCAvFileScan* self = static_cast<RCAvFileScan*>(context);
    if (self == nullptr || !self->state_ || result == nullptr)
        return;
    // An answer that cannot be stored is left to the time-out, like one never sent.
    RCNoThrowBoundary("RCAvFileScan::ScanResultCallback", [&] {
        State& s = *self->state_;
        State::Answer answer{taskId, *result};
        RCAutoLock guard(s.resultsLock);
        // The query thread takes the whole list at once, so only the first answer
        // of a batch needs to wake it; every signal is a trip to the wineserver.
        const bool wasEmpty = s.results.empty();
        s.results.push_back(std::move(answer));
        if (wasEmpty)
            s.resultsEvent.Set();
    });
}

void __cdecl RCAvFileScan::RunScanThread(void* context)
{
    RCAvFileScan* self = static_cast<RCAvFileScan*>(context);
    RC_LOG(Lifecycle, L"Thread id = %x", static_cast<unsigned>(GetCurrentThreadId()));
    // A thread that ends early strands every answer still to come; the
    // stop lets an enumeration waiting for room go on to the run's end.
    if (!RCNoThrowBoundary("RCAvFileScan::QueryLoop", false, [self] { return self->QueryLoop(), true; })) {
        self->state_->lostAnswers = true;
        self->state_->stopEvent.Set();
    }
}

void RCAvFileScan::QueryLoop()
{
    State& s = *state_;
    if (s.sink != nullptr)
        s.sink->OnQueryBegin();
    if (s.faults.throwAtQueryBegin)
        throw std::runtime_error("query thread fault");
    s.startedEvent.Set();

    const HANDLE events[2] = {s.stopEvent.GetHandle(), s.resultsEvent.GetHandle()};
    // The answer list and this batch trade buffers and both keep their
    // capacity for the whole run. A list that grew anew for every batch
    // would churn blocks of hundreds of KiB through the heap, and each
    // long-lived block placed in one of their holes meanwhile (a threat the
    // run keeps) would make the heap grow: peak memory would rise with the
    // number of files scanned.
    std::vector<State::Answer> batch;
    for (;;) {
        const DWORD outcome = WaitForMultipleObjects(2, events, FALSE, s.timing.idleWaitMs);
        if (outcome == WAIT_OBJECT_0)
            break;
        if (outcome == WAIT_OBJECT_0 + 1) {
            {
                RCAutoLock guard(s.resultsLock);
                batch.swap(s.results);
            }
            for (const State::Answer& answer : batch)
                if (!s.idle)
                    OnTrevoxResult(answer.taskId, answer.result);
            batch.clear();
            // A stop, the end of the run or an enumeration that waits for
            // room cuts the gathering short.
            const HANDLE gatherEnds[2] = {s.stopEvent.GetHandle(), s.roomWanted.GetHandle()};
            const bool gatheredFully = s.timing.gatherMs == 0 ||
                                       WaitForMultipleObjects(2, gatherEnds, FALSE, s.timing.gatherMs) == WAIT_TIMEOUT;
            if (gatheredFully) {
                // Queries the engine may never answer can keep the map
                // above half: after a whole gathering, what room there is
                // goes to the enumeration. Not after a gathering its wait
                // cut short: beside an engine slower than the enumeration
                // the next batch would hold an answer or two, and waking it
                // for each slot costs four trips to the wineserver per file.
                RCAutoLock guard(s.pendingLock);
                FreeRoom(s.timing.maxPending - 1);
            }
        } else if (outcome == WAIT_TIMEOUT) {
            CheckTimeOut();
        }
        // Any other outcome waits again: leaving would strand the pending
        // queries, whose end the enumeration thread is waiting for.
    }
    {
        RCAutoLock guard(s.resultsLock);
        s.results.clear(); // answers of a run that has ended
    }
    if (s.sink != nullptr)
        s.sink->OnQueryEnd();
    RC_LOG(Lifecycle, L"Break from scan");
}

void RCAvFileScan::OnTrevoxResult(uint32_t taskId, const ScanResult& result)
{
    State& s = *state_;
    s.timeBase = Now();
    FileQueryTask task;
    {
        RCAutoLock guard(s.pendingLock);
        auto found = s.pending.find(taskId);
        if (found == s.pending.end()) {
            RC_LOG(LostWork, L"miss one call back id = %d", static_cast<int>(taskId));
            return;
        }
        task = std::move(found->second);
        s.pending.erase(found);
        FreeRoom(s.timing.maxPending / 2);
    }
    if (s.sink != nullptr) {
        task.result = result;
        RC_LOG(Detail, L"taskid = %d file = %s complted with level = %d", static_cast<int>(taskId), task.path.c_str(),
               static_cast<int>(task.result.level));
        Report(task);
    }
    CheckCompletion();
}

void RCAvFileScan::Report(FileQueryTask& task)
{
    State& s = *state_;
    // A report that fails costs this answer only: the thread goes on with
    // the next one, and the run, which missed something, says so at its end.
    const bool reported = RCNoThrowBoundary("RCAvFileScan::OnFileQueryEnd", false, [&] {
        if (RCRunFaults::Names(s.faults.answerThatThrows, task.path))
            throw std::bad_alloc();
        s.sink->OnFileQueryEnd(&task);
        return true;
    });
    if (!reported) {
        s.lostAnswers = true;
        RC_LOG(Failure, L"answer lost: taskid = %d file = %s", static_cast<int>(task.taskId), task.path.c_str());
    }
}

bool RCAvFileScan::LostAnswers() const
{
    return state_->lostAnswers;
}

void RCAvFileScan::CheckTimeOut()
{
    State& s = *state_;
    if (s.idle || s.paused)
        return;
    RC_LOG(Lifecycle, L"Check time out enter");
    if (Now() - s.timeBase > s.timing.silenceSeconds) {
        RCAutoLock guard(s.pendingLock);
        for (auto it = s.pending.begin(); it != s.pending.end() && !s.idle;) {
            if (s.sink != nullptr) {
                RC_LOG(Progress, L"task id = %d is timeout", static_cast<int>(it->first));
                Report(it->second);
            }
            it = s.pending.erase(it);
        }
        FreeRoom(s.timing.maxPending / 2);
    }
    CheckCompletion();
    RC_LOG(Lifecycle, L"Check timeout leave");
}

bool RCAvFileScan::WaitForRoom()
{
    State& s = *state_;
    const HANDLE events[2] = {s.stopEvent.GetHandle(), s.roomEvent.GetHandle()};
    for (;;) {
        {
            RCAutoLock guard(s.pendingLock);
            s.waitingForRoom = !s.idle && s.pending.size() >= s.timing.maxPending;
            if (!s.waitingForRoom)
                return true;
        }
        s.roomWanted.Set();
        // Room comes with an answer or with the silent engine's time-out;
        // the wait is bounded only so that the map is looked at again.
        if (WaitForMultipleObjects(2, events, FALSE, s.timing.idleWaitMs) == WAIT_OBJECT_0)
            return false;
    }
}

void RCAvFileScan::FreeRoom(size_t atMost)
{
    State& s = *state_;
    if (s.waitingForRoom && s.pending.size() <= atMost) {
        s.waitingForRoom = false; // one wake is enough
        s.roomEvent.Set();
    }
}

void RCAvFileScan::CheckCompletion()
{
    State& s = *state_;
    size_t pending;
    {
        RCAutoLock guard(s.pendingLock);
        pending = s.pending.size();
    }
    if (pending == 0 && s.allSubmitted)
        s.stopEvent.Set();
}

void RCAvFileScan::Abort()
{
    State& s = *state_;
    RC_LOG(Lifecycle, L"Abort enter");
    {
        RCAutoLock guard(s.pendingLock);
        s.pending.clear();
        s.stopEvent.Set();
    }
    RC_LOG(Lifecycle, L"Abort leaver");
}

void RCAvFileScan::WaitingStop()
{
    State& s = *state_;
    if (s.idle)
        return;
    RC_LOG(Lifecycle, L"Stop enter");
    if (s.queryThread && s.queryThread->IsRunning())
        s.queryThread->Join();
    s.queryThread.Reset();
    if (s.proxy != nullptr) {
        RC_LOG(Lifecycle, L"Stop Proxy");
        s.proxy->Stop();
    }
    {
        // Between runs the queue keeps no answer buffer. The proxy may still
        // have answered while it stopped, so the buffer goes after it.
        RCAutoLock guard(s.resultsLock);
        std::vector<State::Answer>().swap(s.results);
    }
    {
        RCAutoLock guard(s.pendingLock);
        s.pending.clear();
    }
    s.idle = true;
    RC_LOG(Lifecycle, L"Stop leave");
}

void RCAvFileScan::Pause()
{
    state_->paused = true;
}

void RCAvFileScan::Resume()
{
    state_->paused = false;
    state_->timeBase = Now();
}

void RCAvFileScan::NotifyFile(const std::wstring& path)
{
    if (state_->proxy != nullptr)
        state_->proxy->NotifyFile(path.c_str());
}

} // namespace RC
