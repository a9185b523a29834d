#include "foundation/RCRefCountImpl1.h"
#include "foundation/RCSafeThreadMgr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

namespace {

// Runs until it is cancelled; bounded, so that a pool that never cancels
// fails its test instead of hanging it.
struct HeldTask : RC::RCRefCountImpl1<RC::RCSafeTask> {
    void Run(int) override { started.Set(), release.Wait(20000); }
    void Cancel(int) override { ++cancels, release.Set(); }
    RC::RCEvent started, release;
    std::atomic<int> cancels{0};
};

TEST(TaskQueue, OneWorkerRunsEveryQueuedTaskAndCancelsByIdWhereverTheTaskIs)
{
    RC::RCSafeTaskQueue queue;
    RCRefPtr<HeldTask> first(new HeldTask), second(new HeldTask), third(new HeldTask);
    EXPECT_EQ(0u, queue.Push(nullptr));
    EXPECT_EQ(1u, queue.Push(first.Get()));
    EXPECT_EQ(2u, queue.Push(second.Get()));
    EXPECT_EQ(3u, queue.Push(third.Get()));
    EXPECT_TRUE(queue.Remove(3));
    EXPECT_FALSE(queue.Remove(3));

    RC::RCSafeThreadMgr pool;
    EXPECT_FALSE(pool.Start(nullptr));
    ASSERT_TRUE(pool.Start(&queue));
    ASSERT_TRUE(first->started.Wait(20000));
    EXPECT_EQ(0, pool.CancelTask(3));
    EXPECT_EQ(1, pool.CancelTask(1)); // running: cancelled, which ends it
    // Both pushes signalled once before the worker woke: it still finds the second.
    ASSERT_TRUE(second->started.Wait(20000));
    EXPECT_EQ(4u, queue.Push(third.Get())); // ids are never reused
    EXPECT_EQ(2, pool.CancelTask(4));       // still queued behind the running one: removed
    EXPECT_TRUE(pool.Stop());               // cancels the running task and joins
    EXPECT_EQ(2, first->cancels + second->cancels);
    EXPECT_EQ(0, third->cancels);
    EXPECT_FALSE(queue.Pop());
}

// A task that throws has ended: the worker goes on with the next one, and no
// stop or cancel reaches the task that threw.
TEST(TaskQueue, ATaskThatThrowsEndsThereAndTheWorkerGoesOn)
{
    struct ThrowingTask : RC::RCRefCountImpl1<RC::RCSafeTask> {
        void Run(int) override { throw std::runtime_error("task failed"); }
        void Cancel(int) override { ++cancels; }
        std::atomic<int> cancels{0};
    };
    RC::RCSafeTaskQueue queue;
    RCRefPtr<ThrowingTask> thrower(new ThrowingTask);
    RCRefPtr<HeldTask> next(new HeldTask);
    ASSERT_EQ(1u, queue.Push(thrower.Get()));
    ASSERT_EQ(2u, queue.Push(next.Get()));
    RC::RCSafeThreadMgr pool;
    ASSERT_TRUE(pool.Start(&queue));
    ASSERT_TRUE(next->started.Wait(20000));
    EXPECT_EQ(0, pool.CancelTask(1));
    EXPECT_TRUE(pool.Stop());
    EXPECT_EQ(0, thrower->cancels);
    EXPECT_EQ(1, next->cancels);
}

TEST(Event, OpensAnEventByNameWithTheRightToSetAndResetIt)
{
    const std::wstring name = L"KivoEventOpen-" + std::to_wstring(::GetCurrentProcessId());
    RC::RCEvent opened;
    EXPECT_FALSE(opened.Open(name));
    EXPECT_FALSE(opened.Open(L""));
    RC::RCEvent created(true, name);
    ASSERT_TRUE(opened.Open(name));
    created.Set();
    EXPECT_TRUE(opened.Wait(0));
    opened.Reset();
    EXPECT_FALSE(created.Wait(0));
}

} // namespace
