#pragma once

#include "foundation/RCRefCounted.h"

#include <memory>

namespace RC {

class RCThread;
struct RCThreadData;

using RCThreadRoutine = void(__cdecl*)(void* context);

// Told on the worker thread, after the routine has returned.
class IThreadExitListener
{
public:
    virtual void OnThreadExit(RCThread* thread) = 0;

protected:
    ~IThreadExitListener() = default;
};

// One routine on a thread of its own.
//
// The creator holds the object through an RCRefPtr; a started thread holds a
// reference of its own until the routine (and the exit listener) have
// returned, so the owner may let go at any time and the object is then
// deleted on the worker thread. Start, Join and the queries may be called
// from any thread; the routine and the listener run without the lock held.
class RCThread : private RCRefCounted
{
public:
    RCThread(RCThreadRoutine routine, void* context);
    ~RCThread() override;

    using RCRefCounted::AddRef;
    using RCRefCounted::GetRefCount;
    using RCRefCounted::Release;

    // False without a routine, while still running, or when the thread
    // cannot be created.
    [[nodiscard]] bool Start();
    // Waits, in waits of 10 seconds and without limit, until the routine
    // has returned, then closes the thread's handles.
    void Join();
    // One wait of 10 seconds: false when the routine is still running.
    bool TryJoin();
    bool WaitStarted(unsigned long milliseconds);

    unsigned long GetThreadId();
    bool IsRunning();
    void SetExitListener(IThreadExitListener* listener);

private:
    static unsigned __stdcall ThreadProc(void* argument);
    void CloseHandlesLocked();

    std::unique_ptr<RCThreadData> data_;
};

} // namespace RC
