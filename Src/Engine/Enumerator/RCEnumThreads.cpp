#include "Src/Engine/Enumerator/RCEnumThreads.h"

#include <windows.h>

#include <atomic>

#include "engine/Wow64FsRedirectionGuard.h"
#include "foundation/RCAutoLock.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCNoThrowBoundary.h"
#include "foundation/RCThread.h"

namespace RC {

// Stands between the enumerators and the sink. The running enumerator is
// published when it announces its walk, that is after its Enum has cleared
// its stop flag, so a StopScan can never be erased by the start of the walk
// it meant to stop: one that came earlier is handed on at that moment.
struct RCEnumThreads::Data : IAvEnumFileEvent {
    bool OnEnumStart() override { return sink->OnEnumStart(); }
    bool OnEnumItemStart(IAvEnumFile* enumerator) override
    {
        {
            RCAutoLock slots(slotsLock);
            current = enumerator;
            if (stop)
                enumerator->Stop();
        }
        return sink->OnEnumItemStart(enumerator);
    }
    bool OnEnumFile(IAvEnumFile* enumerator, const std::wstring& path, const std::wstring& subItem) override
    {
        return sink->OnEnumFile(enumerator, path, subItem);
    }
    bool OnEnumFileEnd(IAvEnumFile* enumerator) override { return sink->OnEnumFileEnd(enumerator); }
    void OnEnumEnd(bool stopped) override { sink->OnEnumEnd(stopped); }

    RCCriticalSection lock;
    std::vector<RCRefPtr<IAvEnumFile>> tasks RC_GUARDED_BY(lock);
    RCCriticalSection slotsLock;
    // From StartScan until the run reports its end.
    bool inRun RC_GUARDED_BY(slotsLock) = false;
    RCRefPtr<RCThread> worker RC_GUARDED_BY(slotsLock);
    // The worker of the previous run, which the next worker waits for before
    // it begins; taken by that worker, so that exactly one thread joins it.
    RCRefPtr<RCThread> joinBeforeRun RC_GUARDED_BY(slotsLock);
    RCRefPtr<IAvEnumFile> current RC_GUARDED_BY(slotsLock);
    IAvEnumFileEvent* sink = nullptr; // set before the first run
    std::atomic<bool> stop{true};
    RCRunFaults faults;
};

namespace {

void JoinAndDrop(RCRefPtr<RCThread>& thread)
{
    if (thread)
        thread->Join();
    thread.Reset();
}

} // namespace

RCEnumThreads::RCEnumThreads() : data_(new Data()) {}

// The workers run on this object: they are waited for even when the owner
// forgot UnInitialize.
RCEnumThreads::~RCEnumThreads()
{
    UnInitialize();
}

bool RCEnumThreads::SetEnumEvent(IAvEnumFileEvent* sink)
{
    data_->sink = sink;
    return true;
}

void RCEnumThreads::SetFaults(const RCRunFaults& faults)
{
    data_->faults = faults;
}

void RCEnumThreads::SetScanTasks(EnumeratorMap& enumerators, const std::vector<uint32_t>& showTypes)
{
    RCAutoLock guard(data_->lock);
    data_->tasks.clear();
    for (uint32_t showType : showTypes)
        data_->tasks.push_back(enumerators[showType]);
}

bool RCEnumThreads::StartScan()
{
    Data& d = *data_;
    RCAutoLock slots(d.slotsLock);
    // Marked as begun here rather than by the worker, so that two quick
    // starts can never start two workers.
    if (d.inRun)
        return true;
    RC_LOG(Lifecycle, L"Start enter");
    d.stop = false;
    RCRefPtr<RCThread> worker(new RCThread(&RCEnumThreads::RunScanThread, this));
    if (d.faults.noWorker || !worker->Start()) {
        RC_LOG(Failure, L"Start: the worker did not start");
        return false;
    }
    d.inRun = true;
    d.joinBeforeRun = std::move(d.worker);
    d.worker = std::move(worker);
    RC_LOG(Lifecycle, L"Start Leave");
    return true;
}

void __cdecl RCEnumThreads::RunScanThread(void* context)
{
    RCEnumThreads* self = static_cast<RCEnumThreads*>(context);
    Data& d = *self->data_;
    RC_LOG(Lifecycle, L"Thread id = %x", static_cast<unsigned>(GetCurrentThreadId()));
    RCRefPtr<RCThread> previous;
    {
        RCAutoLock guard(d.slotsLock);
        previous = std::move(d.joinBeforeRun);
    }
    JoinAndDrop(previous);

    Wow64FsRedirectionGuard redirection;
    redirection.Disable();
    self->ProcessScanTasks();
    redirection.Revert();
}

void RCEnumThreads::ProcessScanTasks()
{
    Data& d = *data_;
    RC_LOG(Detail, L"ProcessScanTasks enum enter");
    std::vector<RCRefPtr<IAvEnumFile>> tasks;
    {
        RCAutoLock guard(d.lock);
        tasks = d.tasks;
    }
    // A run that cannot begin (its queue did not start) walks nothing.
    if (!RCNoThrowBoundary("RCEnumThreads::OnEnumStart", false, [&] { return d.OnEnumStart(); }))
        d.stop = true;
    for (const RCRefPtr<IAvEnumFile>& task : tasks) {
        if (d.stop)
            break;
        if (task) {
            task->SetEnumEvent(&d);
            RCNoThrowBoundary("RCEnumThreads::Enum", [&] { task->Enum(); });
            task->SetEnumEvent(nullptr);
        }
        RCAutoLock slots(d.slotsLock);
        d.current.Reset();
    }
    // From here a start begins the next run, whose worker waits for this one.
    {
        RCAutoLock slots(d.slotsLock);
        d.inRun = false;
    }
    d.OnEnumEnd(d.stop);
    RC_LOG(Detail, L"ProcessScanTasks enum leave");
}

void RCEnumThreads::StopScan()
{
    Data& d = *data_;
    // The list's flag first: the stopped enumerator may return at once, and
    // the run must not start the next one. Idle, there is nothing to stop.
    RCAutoLock slots(d.slotsLock);
    if (!d.inRun)
        return;
    RC_LOG(Lifecycle, L"Stop enter");
    d.stop = true;
    if (d.current)
        d.current->Stop();
    RC_LOG(Lifecycle, L"Stop leave");
}

void RCEnumThreads::UnInitialize()
{
    Data& d = *data_;
    RC_LOG(Lifecycle, L"Uninit enter");
    RCRefPtr<RCThread> worker;
    RCRefPtr<RCThread> older;
    {
        RCAutoLock slots(d.slotsLock);
        worker = std::move(d.worker);
        older = std::move(d.joinBeforeRun);
    }
    JoinAndDrop(worker);
    JoinAndDrop(older);
    RC_LOG(Lifecycle, L"Uninit leave");
}

} // namespace RC
