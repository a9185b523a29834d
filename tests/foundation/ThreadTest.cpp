#include "foundation/RCEvent.h"
#include "foundation/RCRefPtr.h"
#include "foundation/RCThread.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// Generous bound on waits for another thread: guards against a hang, never
// measures speed.
constexpr DWORD kHangGuardMs = 60000;

struct Shared {
    RC::RCEvent release{true};
    RC::RCEvent deleted{true};
    std::atomic<DWORD> routineThread{0};
    std::atomic<DWORD> deletingThread{0};
};

void __cdecl BlockUntilReleased(void* context)
{
    auto* shared = static_cast<Shared*>(context);
    shared->routineThread = ::GetCurrentThreadId();
    shared->release.Wait(kHangGuardMs);
}

class ObservedThread : public RC::RCThread
{
public:
    explicit ObservedThread(Shared* shared) : RCThread(&BlockUntilReleased, shared), shared_(shared) {}
    ~ObservedThread() override
    {
        shared_->deletingThread = ::GetCurrentThreadId();
        shared_->deleted.Set();
    }

private:
    Shared* shared_;
};

struct ExitRecorder : RC::IThreadExitListener {
    void OnThreadExit(RC::RCThread* thread) override
    {
        exited = thread;
        done.Set();
    }
    RC::RCThread* exited = nullptr;
    RC::RCEvent done{true};
};

TEST(Thread, ARoutineIsNeededToStart)
{
    RCRefPtr<RC::RCThread> noRoutine(new RC::RCThread(nullptr, nullptr));
    EXPECT_FALSE(noRoutine->Start());
    EXPECT_EQ(noRoutine->GetRefCount(), 1);
}

TEST(Thread, RunsTellsItsListenerAndCanRunAgain)
{
    Shared shared;
    ExitRecorder listener;
    RCRefPtr<RC::RCThread> thread(new RC::RCThread(&BlockUntilReleased, &shared));
    thread->SetExitListener(&listener);

    ASSERT_TRUE(thread->Start());
    EXPECT_FALSE(thread->Start());  // not while the routine runs
    ASSERT_TRUE(thread->WaitStarted(kHangGuardMs));
    EXPECT_TRUE(thread->IsRunning());
    while (shared.routineThread == 0)
        ::Sleep(1);
    EXPECT_EQ(thread->GetThreadId(), shared.routineThread.load());

    shared.release.Set();
    thread->Join();
    ASSERT_TRUE(listener.done.Wait(kHangGuardMs));
    EXPECT_EQ(listener.exited, thread.Get());
    EXPECT_FALSE(thread->IsRunning());
    EXPECT_EQ(thread->GetThreadId(), 0u);

    listener.done.Reset();
    ASSERT_TRUE(thread->Start());
    ASSERT_TRUE(listener.done.Wait(kHangGuardMs));
    EXPECT_TRUE(thread->TryJoin());
}

TEST(Thread, OutlivesItsOwnerUntilTheRoutineReturns)
{
    Shared shared;
    RCRefPtr<RC::RCThread> owner(new ObservedThread(&shared));
    ASSERT_TRUE(owner->Start());
    ASSERT_TRUE(owner->WaitStarted(kHangGuardMs));

    owner.Reset();
    EXPECT_FALSE(shared.deleted.Wait(0));

    shared.release.Set();
    ASSERT_TRUE(shared.deleted.Wait(kHangGuardMs));
    EXPECT_EQ(shared.deletingThread.load(), shared.routineThread.load());
}

TEST(Event, TellsATimeOutAndOpensByName)
{
    RC::RCEvent autoReset(false);
    bool timedOut = false;
    EXPECT_FALSE(autoReset.Wait(0, timedOut));
    EXPECT_TRUE(timedOut);

    const std::wstring name = L"KivoTest-Event-" + std::to_wstring(::GetCurrentProcessId());
    RC::RCEvent created(true);
    ASSERT_TRUE(created.CreateWithSecurity(name, true, true));
    EXPECT_FALSE(created.AlreadyExisted());
    RC::RCEvent opened(true);
    ASSERT_TRUE(opened.Open(name));
    EXPECT_TRUE(opened.Wait(0));  // created signalled
    EXPECT_TRUE(RC::RCEvent(true, name).AlreadyExisted());
}

} // namespace
