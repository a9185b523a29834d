#include "foundation/RCEvent.h"
#include "foundation/RCRefPtr.h"
#include "foundation/RCThread.h"
#include "foundation/RCThreadChecker.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// Generous bound on waits for another thread: guards against a hang, never
// measures speed.
constexpr DWORD kHangGuardMs = 60000;

struct Shared {
    RC::RCEvent running{true};
    RC::RCEvent release{true};
    RC::RCEvent deleted{true};
    std::atomic<DWORD> routineThread{0};
    std::atomic<DWORD> deletingThread{0};
};

void __cdecl BlockUntilReleased(void* context)
{
    auto* shared = static_cast<Shared*>(context);
    shared->routineThread = ::GetCurrentThreadId();
    shared->running.Set();
    shared->release.Wait(kHangGuardMs);
}

class ObservedThread : public RC::RCThread {
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

TEST(Thread, StartsOneRunAtATimeAndCanRunAgainAfterJoin)
{
    RCRefPtr<RC::RCThread> noRoutine(new RC::RCThread(nullptr, nullptr));
    EXPECT_FALSE(noRoutine->Start());
    EXPECT_EQ(noRoutine->GetRefCount(), 1);

    Shared shared;
    RCRefPtr<RC::RCThread> thread(new RC::RCThread(&BlockUntilReleased, &shared));
    ASSERT_TRUE(thread->Start());
    EXPECT_FALSE(thread->Start()); // not while the routine runs
    ASSERT_TRUE(shared.running.Wait(kHangGuardMs));
    EXPECT_TRUE(thread->IsRunning());
    shared.release.Set();
    thread->Join();
    EXPECT_FALSE(thread->IsRunning());

    shared.running.Reset();
    ASSERT_TRUE(thread->Start());
    EXPECT_TRUE(shared.running.Wait(kHangGuardMs));
    thread->Join();
}

// A host may free the library as soon as the module's joins are over: a
// join waits for the thread to leave, exit listener included.
TEST(Thread, JoinReturnsOnceTheThreadHasLeftNotWhenItsRoutineReturns)
{
    struct SlowExit : RC::IThreadExitListener {
        RC::RCEvent entered{true};
        std::atomic<bool> done{false};
        void OnThreadExit(RC::RCThread*) override { entered.Set(), ::Sleep(300), done = true; }
    } listener;
    Shared shared;
    shared.release.Set();
    RCRefPtr<RC::RCThread> thread(new RC::RCThread(&BlockUntilReleased, &shared));
    thread->SetExitListener(&listener);
    ASSERT_TRUE(thread->Start());
    ASSERT_TRUE(listener.entered.Wait(kHangGuardMs)); // the routine has returned
    thread->Join();
    EXPECT_TRUE(listener.done);
}

TEST(Thread, OutlivesItsOwnerUntilTheRoutineReturns)
{
    Shared shared;
    RCRefPtr<RC::RCThread> owner(new ObservedThread(&shared));
    ASSERT_TRUE(owner->Start());
    ASSERT_TRUE(shared.running.Wait(kHangGuardMs));

    owner.Reset();
    EXPECT_FALSE(shared.deleted.Wait(0));

    shared.release.Set();
    ASSERT_TRUE(shared.deleted.Wait(kHangGuardMs));
    EXPECT_EQ(shared.deletingThread.load(), shared.routineThread.load());
}

// Outside the suite a failed check is logged and the call goes on.
TEST(ThreadCheck, AFailedCheckInAHostsProcessLetsTheCallGoOn)
{
    ASSERT_TRUE(::SetEnvironmentVariableW(L"KIVO_THREAD_CHECKS_FATAL", nullptr));
    RC::RCThreadCheckFailed(__FILE__, __LINE__);
    RC::RCThreadCheckFailed(__FILE__, __LINE__);
}

} // namespace
