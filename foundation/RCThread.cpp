#include "foundation/RCThread.h"

#include "foundation/RCAutoLock.h"
#include "foundation/RCEvent.h"
#include "foundation/RCHandles.h"
#include "foundation/RCNoThrowBoundary.h"
#include "foundation/RCRefPtr.h"

#include <process.h>

#include <new>

namespace RC {

namespace {
constexpr DWORD kJoinWaitMs = 10000;
} // namespace

struct RCThreadData {
    void* context = nullptr;
    RCThreadRoutine routine = nullptr;
    bool running = false;
    unsigned long threadId = 0;
    unique_handle threadHandle;
    unique_handle finishedHandle;   // of a run whose routine has returned
    IThreadExitListener* exitListener = nullptr;
    RCCriticalSection lock;
    RCEvent startedEvent{true};
};

RCThread::RCThread(RCThreadRoutine routine, void* context)
    : data_(new (std::nothrow) RCThreadData)
{
    if (data_) {
        data_->routine = routine;
        data_->context = context;
    }
}

RCThread::~RCThread() = default;

bool RCThread::Start()
{
    if (!data_)
        return false;
    {
        RCAutoLock guard(data_->lock);
        if (!data_->routine || data_->running)
            return false;

        AddRef();  // the worker's own reference, taken over by ThreadProc
        unsigned id = 0;
        HANDLE handle = reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &RCThread::ThreadProc, this,
                                                                  CREATE_SUSPENDED, &id));
        data_->threadId = id;
        data_->threadHandle.reset(handle);
        if (handle) {
            data_->running = true;
            data_->startedEvent.Reset();
            if (::ResumeThread(handle) != static_cast<DWORD>(-1))
                return true;
        }
        CloseHandlesLocked();
    }
    // Outside the lock: without another holder this deletes the object.
    Release();
    return false;
}

unsigned __stdcall RCThread::ThreadProc(void* argument)
{
    RCThread* self = static_cast<RCThread*>(argument);
    RCRefPtr<RCThread> keepAlive = RCRefPtr<RCThread>::Adopt(self);
    RCThreadData& data = *self->data_;

    {
        RCAutoLock guard(data.lock);
        data.startedEvent.Set();
        data.running = true;
    }

    // An exception must not end the process from the top of this thread:
    // the routine simply counts as returned.
    RCNoThrowBoundary("RCThread routine", [&] { data.routine(data.context); });

    IThreadExitListener* listener = nullptr;
    {
        RCAutoLock guard(data.lock);
        data.finishedHandle = std::move(data.threadHandle);
        data.running = false;
        listener = data.exitListener;
    }
    if (listener)
        listener->OnThreadExit(self);
    keepAlive.Reset();  // may delete the object, here on the worker
    return 0;
}

void RCThread::CloseHandlesLocked()
{
    data_->threadHandle.reset();
    data_->finishedHandle.reset();
    data_->running = false;
    data_->threadId = 0;
}

void RCThread::Join()
{
    if (!data_)
        return;
    for (;;) {
        HANDLE handle;
        {
            RCAutoLock guard(data_->lock);
            handle = data_->threadHandle.get();
        }
        if (!handle)
            return;
        const DWORD result = ::WaitForSingleObject(handle, kJoinWaitMs);
        if (result == WAIT_TIMEOUT)
            continue;
        if (result != WAIT_OBJECT_0)
            return;
        RCAutoLock guard(data_->lock);
        CloseHandlesLocked();
        return;
    }
}

bool RCThread::TryJoin()
{
    if (!data_)
        return true;
    HANDLE handle;
    {
        RCAutoLock guard(data_->lock);
        handle = data_->threadHandle.get();
    }
    if (!handle)
        return true;
    const DWORD result = ::WaitForSingleObject(handle, kJoinWaitMs);
    if (result == WAIT_TIMEOUT)
        return false;
    if (result == WAIT_OBJECT_0) {
        RCAutoLock guard(data_->lock);
        CloseHandlesLocked();
    }
    return true;
}

bool RCThread::WaitStarted(unsigned long milliseconds)
{
    return data_ && data_->startedEvent.Wait(milliseconds);
}

unsigned long RCThread::GetThreadId()
{
    if (!data_)
        return 0;
    RCAutoLock guard(data_->lock);
    return data_->running ? data_->threadId : 0;
}

bool RCThread::IsRunning()
{
    if (!data_)
        return false;
    RCAutoLock guard(data_->lock);
    return data_->running;
}

void RCThread::SetExitListener(IThreadExitListener* listener)
{
    if (!data_)
        return;
    RCAutoLock guard(data_->lock);
    data_->exitListener = listener;
}

} // namespace RC
