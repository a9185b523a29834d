#include "Src/Engine/Enumerator/RCEnumThreads.h"

#include <windows.h>

#include <atomic>

#include "engine/Wow64FsRedirectionGuard.h"
#include "foundation/RCAutoLock.h"
#include "foundation/RCDebugger.h"
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

    std::vector<RCRefPtr<IAvEnumFile>> tasks;
    RCCriticalSection lock;       // the task list, held for a whole run
    RCCriticalSection slotsLock;  // worker, previousWorker and current
    RCRefPtr<RCThread> worker;
    RCRefPtr<RCThread> previousWorker;
    // What the next worker waits for before it begins: taken from
    // previousWorker by StartScan, so that a worker can never find itself
    // there (a stop that comes before the new worker has begun moves that
    // worker into previousWorker).
    RCRefPtr<RCThread> joinBeforeRun;
    IAvEnumFileEvent* sink = nullptr;
    std::atomic<bool> stop{true};
    std::atomic<bool> idle{true};
    RCRefPtr<IAvEnumFile> current;
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
    // Marked as begun here rather than by the worker, so that two quick
    // starts can never start two workers.
    bool expected = true;
    if (!d.idle.compare_exchange_strong(expected, false))
        return true;
    RC_LOG(3, L"Start enter");
    d.stop = false;
    RCRefPtr<RCThread> worker(new RCThread(&RCEnumThreads::RunScanThread, this));
    {
        RCAutoLock guard(d.slotsLock);
        d.worker = worker;
        d.joinBeforeRun = std::move(d.previousWorker);
    }
    if (!worker->Start())
        d.idle = true;
    RC_LOG(3, L"Start Leave");
    return true;
}

void __cdecl RCEnumThreads::RunScanThread(void* context)
{
    RCEnumThreads* self = static_cast<RCEnumThreads*>(context);
    Data& d = *self->data_;
    RC_LOG(3, L"Thread id = %x", static_cast<unsigned>(GetCurrentThreadId()));
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
    d.idle = true;
}

void RCEnumThreads::ProcessScanTasks()
{
    Data& d = *data_;
    RC_LOG(5, L"ProcessScanTasks enum enter");
    RCAutoLock guard(d.lock);
    if (d.sink == nullptr)
        return;
    d.OnEnumStart();
    for (const RCRefPtr<IAvEnumFile>& task : d.tasks) {
        if (d.stop)
            break;
        if (task) {
            task->SetEnumEvent(&d);
            task->Enum();
            task->SetEnumEvent(nullptr);
        }
        RCAutoLock slots(d.slotsLock);
        d.current.Reset();
    }
    d.OnEnumEnd(d.stop);
    RC_LOG(5, L"ProcessScanTasks enum leave");
}

void RCEnumThreads::StopScan()
{
    Data& d = *data_;
    if (d.idle)
        return;
    RC_LOG(3, L"Stop enter");
    // The list's flag first: the stopped enumerator may return at once, and
    // the run must not start the next one.
    d.stop = true;
    {
        RCAutoLock slots(d.slotsLock);
        if (d.current)
            d.current->Stop();
        if (d.worker)
            d.previousWorker = std::move(d.worker);
    }
    RC_LOG(3, L"Stop leave");
}

void RCEnumThreads::UnInitialize()
{
    Data& d = *data_;
    RC_LOG(3, L"Uninit enter");
    RCRefPtr<RCThread> worker;
    RCRefPtr<RCThread> previous;
    RCRefPtr<RCThread> older;
    {
        RCAutoLock slots(d.slotsLock);
        worker = std::move(d.worker);
        previous = std::move(d.previousWorker);
        older = std::move(d.joinBeforeRun);
    }
    JoinAndDrop(worker);
    JoinAndDrop(previous);
    JoinAndDrop(older);
    RC_LOG(3, L"Uninit leave");
}

} // namespace RC
