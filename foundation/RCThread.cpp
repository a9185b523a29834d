#include "foundation/RCThread.h"

#include "foundation/RCAutoLock.h"
#include "foundation/RCEvent.h"
#include "foundation/RCHandles.h"
#include "foundation/RCNoThrowBoundary.h"
#include "foundation/RCRefPtr.h"
#include "foundation/RCThreadAnnotations.h"

#include <process.h>

#include <new>

namespace RC {

namespace {
constexpr DWORD kJoinWaitMs = 10000;
constexpr DWORD kPollMs = 100;

// Marks this library's worker threads, so that code they call can tell them
// from the host's threads. Freed with the library, when none of them runs.
class WorkerMark {
public:
    WorkerMark() : index_(::TlsAlloc()) {}
    ~WorkerMark()
    {
        if (index_ != TLS_OUT_OF_INDEXES)
            ::TlsFree(index_);
    }
    void Set(void* thread) const
    {
        if (index_ != TLS_OUT_OF_INDEXES)
            ::TlsSetValue(index_, thread);
    }
    bool IsSet() const { return index_ != TLS_OUT_OF_INDEXES && ::TlsGetValue(index_) != nullptr; }

private:
    const DWORD index_;
};

const WorkerMark& Mark()
{
    static const WorkerMark mark;
    return mark;
}
} // namespace

struct RCThreadData {
    RCCriticalSection lock;
    void* context = nullptr;
    RCThreadRoutine routine = nullptr;
    bool running RC_GUARDED_BY(lock) = false;
    unsigned long threadId RC_GUARDED_BY(lock) = 0;
    // Kept until a join has seen the thread leave: joiners wait on copies.
    unique_handle threadHandle RC_GUARDED_BY(lock);
    // The reference on the library that the next thread started takes over.
    HMODULE pin RC_GUARDED_BY(lock) = nullptr;
    IThreadExitListener* exitListener RC_GUARDED_BY(lock) = nullptr;
    RCEvent startedEvent{true};
};

namespace {
void CloseHandles(RCThreadData& data) RC_REQUIRES(data.lock)
{
    data.threadHandle.reset();
    data.running = false;
    data.threadId = 0;
}
} // namespace

RCThread::RCThread(RCThreadRoutine routine, void* context) : data_(new (std::nothrow) RCThreadData)
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

        // The thread holds the library that holds its code until it has left
        // it: a host may free the library as soon as the module lets go.
        HMODULE pin = nullptr;
        if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                  reinterpret_cast<LPCWSTR>(&RCThread::ThreadProc), &pin))
            return false;
        AddRef(); // the worker's own reference, taken over by ThreadProc
        unsigned id = 0;
        HANDLE handle =
            reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &RCThread::ThreadProc, this, CREATE_SUSPENDED, &id));
        if (!handle)
            ::FreeLibrary(pin);
        data_->pin = handle ? pin : nullptr;
        data_->threadId = id;
        data_->threadHandle.reset(handle);
        if (handle) {
            data_->running = true;
            data_->startedEvent.Reset();
            if (::ResumeThread(handle) != static_cast<DWORD>(-1))
                return true;
            // The thread has not run a single instruction of ours: it is
            // ended where it stands, and the reference and the pin it would
            // have taken over are given back here. A pin whose thread cannot
            // be seen gone stays taken: the library then never unloads, which
            // is better than unloading under a thread that might still run.
            if (::TerminateThread(handle, 0) && ::WaitForSingleObject(handle, kJoinWaitMs) == WAIT_OBJECT_0)
                ::FreeLibrary(data_->pin);
            data_->pin = nullptr;
        }
        CloseHandles(*data_);
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

    HMODULE pin = nullptr;
    {
        RCAutoLock guard(data.lock);
        pin = data.pin;
        data.pin = nullptr;
        data.startedEvent.Set();
        data.running = true;
    }

    Mark().Set(self);
    // An exception must not end the process from the top of this thread:
    // the routine simply counts as returned.
    RCNoThrowBoundary("RCThread routine", [&] { data.routine(data.context); });

    IThreadExitListener* listener = nullptr;
    {
        RCAutoLock guard(data.lock);
        data.running = false;
        listener = data.exitListener;
    }
    if (listener)
        listener->OnThreadExit(self);
    keepAlive.Reset(); // may delete the object, here on the worker
    if (pin)
        ::FreeLibraryAndExitThread(pin, 0); // never returns into code that may be gone
    return 0;
}

void RCThread::Join()
{
    while (!TryJoin()) {}
}

bool RCThread::TryJoin()
{
    if (!data_)
        return true;
    // Each joiner waits on a handle of its own: another joiner may close the
    // object's handle the moment the thread is gone.
    unique_handle handle;
    unsigned long id = 0;
    {
        RCAutoLock guard(data_->lock);
        if (!data_->threadHandle || data_->threadId == ::GetCurrentThreadId())
            return true; // nothing to wait for, or the thread itself, which cannot wait for its end
        HANDLE copy = nullptr;
        if (::DuplicateHandle(::GetCurrentProcess(), data_->threadHandle.get(), ::GetCurrentProcess(), &copy,
                              SYNCHRONIZE, FALSE, 0)) {
            handle.reset(copy);
            id = data_->threadId;
        } else if (::WaitForSingleObject(data_->threadHandle.get(), 0) == WAIT_OBJECT_0) {
            // Without a copy the joiner only looks, under the lock that keeps
            // another joiner from closing the handle meanwhile.
            CloseHandles(*data_);
            return true;
        }
    }
    if (!handle) {
        ::Sleep(kPollMs); // still there as far as anyone can tell: look again later
        return false;
    }
    // Signalled once the thread has left, not merely the routine.
    const DWORD result = ::WaitForSingleObject(handle.get(), kJoinWaitMs);
    if (result == WAIT_TIMEOUT)
        return false;
    // A wait that failed has not seen the thread leave: its handles stay.
    if (result != WAIT_OBJECT_0)
        return true;
    RCAutoLock guard(data_->lock);
    if (data_->threadId == id) // not started again meanwhile
        CloseHandles(*data_);
    return true;
}

bool RCThread::IsCurrentWorker()
{
    return Mark().IsSet();
}

bool RCThread::WaitStarted(unsigned long milliseconds)
{
    return data_ && data_->startedEvent.Wait(milliseconds);
}

bool RCThread::WaitForEventOrExit(RCEvent& event)
{
    unique_handle thread;
    if (data_) {
        RCAutoLock guard(data_->lock);
        HANDLE copy = nullptr;
        if (data_->threadHandle && ::DuplicateHandle(::GetCurrentProcess(), data_->threadHandle.get(),
                                                     ::GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0))
            thread.reset(copy);
    }
    if (!thread) {
        // Nothing to wait on: look at the event while the routine runs.
        while (IsRunning())
            if (event.Wait(kPollMs))
                return true;
        return event.Wait(0);
    }
    const HANDLE both[2] = {event.GetHandle(), thread.get()};
    if (::WaitForMultipleObjects(2, both, FALSE, INFINITE) == WAIT_OBJECT_0)
        return true;
    return event.Wait(0); // set just before the thread left
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
