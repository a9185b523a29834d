#pragma once

#include "foundation/RCRefCounted.h"

#include <memory>

namespace RC {

class RCEvent;
class RCThread;
struct RCThreadData;

using RCThreadRoutine = void(__cdecl*)(void* context);

// Told on the worker thread, after the routine has returned.
class IThreadExitListener {
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
// deleted on the worker thread. The thread also holds a reference on the
// library its code lives in, given back as it exits, so a host may free the
// library while a thread is still on its way out. Start, Join and the queries may be called
// from any thread; the routine and the listener run without the lock held.
class RCThread : private RCRefCounted {
public:
    RCThread(RCThreadRoutine routine, void* context);
    ~RCThread() override;

    using RCRefCounted::AddRef;
    using RCRefCounted::GetRefCount;
    using RCRefCounted::Release;

    // False without a routine, while still running, or when the thread
    // cannot be created.
    [[nodiscard]] bool Start();
    // Waits without limit until the thread has left (its routine has
    // returned and it no longer runs code of this library), then closes the
    // thread's handle. Called on the thread itself, it returns at once.
    void Join();
    // One wait of 10 seconds: false when the thread is still there. True
    // as well when the wait itself fails, which leaves the handles as they
    // were.
    bool TryJoin();
    bool WaitStarted(unsigned long milliseconds);
    // Waits until the event is set or the thread has left, whichever comes
    // first; true when the event was set. An owner that waits for its
    // routine to say it is ready is not left waiting by a routine that ends
    // before it could.
    bool WaitForEventOrExit(RCEvent& event);
    // True on a thread that an RCThread of this library started.
    static bool IsCurrentWorker();

    unsigned long GetThreadId();
    bool IsRunning();
    void SetExitListener(IThreadExitListener* listener);

private:
    static unsigned __stdcall ThreadProc(void* argument);

    std::unique_ptr<RCThreadData> data_;
};

} // namespace RC
