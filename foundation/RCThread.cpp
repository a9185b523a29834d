#include "foundation/RCThread.h"

#include "foundation/RCAutoLock.h"
#include "foundation/RCEvent.h"
#include "foundation/RCHandles.h"
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
    : m_data(new (std::nothrow) RCThreadData)
{
    if (m_data) {
        m_data->routine = routine;
        m_data->context = context;
    }
}

RCThread::~RCThread() = default;

bool RCThread::Start()
{
    if (!m_data)
        return false;
    {
        RCAutoLock guard(m_data->lock);
        if (!m_data->routine || m_data->running)
            return false;

        AddRef();  // the worker's own reference, taken over by ThreadProc
        unsigned id = 0;
        HANDLE handle = reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &RCThread::ThreadProc, this,
                                                                  CREATE_SUSPENDED, &id));
        m_data->threadId = id;
        m_data->threadHandle.reset(handle);
        if (handle) {
            m_data->running = true;
            m_data->startedEvent.Reset();
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
    RCThreadData& data = *self->m_data;

    {
        RCAutoLock guard(data.lock);
        data.startedEvent.Set();
        data.running = true;
    }

    data.routine(data.context);

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
    m_data->threadHandle.reset();
    m_data->finishedHandle.reset();
    m_data->running = false;
    m_data->threadId = 0;
}

void RCThread::Join()
{
    if (!m_data)
        return;
    for (;;) {
        HANDLE handle;
        {
            RCAutoLock guard(m_data->lock);
            handle = m_data->threadHandle.get();
        }
        if (!handle)
            return;
        const DWORD result = ::WaitForSingleObject(handle, kJoinWaitMs);
        if (result == WAIT_TIMEOUT)
            continue;
        if (result != WAIT_OBJECT_0)
            return;
        RCAutoLock guard(m_data->lock);
        CloseHandlesLocked();
        return;
    }
}

bool RCThread::TryJoin()
{
    if (!m_data)
        return true;
    HANDLE handle;
    {
        RCAutoLock guard(m_data->lock);
        handle = m_data->threadHandle.get();
    }
    if (!handle)
        return true;
    const DWORD result = ::WaitForSingleObject(handle, kJoinWaitMs);
    if (result == WAIT_TIMEOUT)
        return false;
    if (result == WAIT_OBJECT_0) {
        RCAutoLock guard(m_data->lock);
        CloseHandlesLocked();
    }
    return true;
}

bool RCThread::WaitStarted(unsigned long milliseconds)
{
    return m_data && m_data->startedEvent.Wait(milliseconds);
}

unsigned long RCThread::GetThreadId()
{
    if (!m_data)
        return 0;
    RCAutoLock guard(m_data->lock);
    return m_data->running ? m_data->threadId : 0;
}

bool RCThread::IsRunning()
{
    if (!m_data)
        return false;
    RCAutoLock guard(m_data->lock);
    return m_data->running;
}

void RCThread::SetExitListener(IThreadExitListener* listener)
{
    if (!m_data)
        return;
    RCAutoLock guard(m_data->lock);
    m_data->exitListener = listener;
}

} // namespace RC
