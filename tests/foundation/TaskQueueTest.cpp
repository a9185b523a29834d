#include "foundation/RCEvent.h"
#include "foundation/RCRefCountImpl1.h"
#include "foundation/RCSafeTaskQueue.h"
#include "foundation/RCSafeThreadMgr.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

constexpr DWORD kHangGuardMs = 60000;

// Runs until cancelled when blocking, else returns at once; counts both.
class RecordingTask : public RC::RCRefCountImpl1<RC::RCSafeTask>
{
public:
    explicit RecordingTask(bool blocking = false) : m_blocking(blocking) {}

    void Run(int) override
    {
        ++runs;
        started.Set();
        if (m_blocking)
            cancelled.Wait(kHangGuardMs);
        finished.Set();
    }
    void Cancel(int) override
    {
        ++cancels;
        cancelled.Set();
    }

    std::atomic<int> runs{0};
    std::atomic<int> cancels{0};
    RC::RCEvent started{true};
    RC::RCEvent cancelled{true};
    RC::RCEvent finished{true};

private:
    bool m_blocking;
};

TEST(TaskQueue, NumbersTasksFromOneAndNeverReusesIds)
{
    RC::RCSafeTaskQueue queue;
    RCRefPtr<RecordingTask> first(new RecordingTask);
    RCRefPtr<RecordingTask> second(new RecordingTask);
    EXPECT_EQ(queue.Push(nullptr), 0u);
    EXPECT_EQ(queue.Push(first.Get()), 1u);
    EXPECT_EQ(queue.Push(second.Get()), 2u);
    EXPECT_EQ(first->GetRefCount(), 2);

    EXPECT_EQ(queue.Pop().Get(), first.Get());
    EXPECT_EQ(first->GetRefCount(), 1);
    EXPECT_TRUE(queue.Remove(2));
    EXPECT_FALSE(queue.Remove(2));
    EXPECT_FALSE(queue.Pop());

    EXPECT_EQ(queue.Push(first.Get()), 3u);
    queue.Clear();
    EXPECT_EQ(first->GetRefCount(), 1);
}

TEST(TaskQueue, OneWorkerRunsTwoTasksQueuedBeforeItWoke)
{
    RC::RCSafeTaskQueue queue;
    RCRefPtr<RecordingTask> first(new RecordingTask);
    RCRefPtr<RecordingTask> second(new RecordingTask);
    queue.Push(first.Get());
    queue.Push(second.Get());  // the auto-reset event is signalled once for both

    RC::RCSafeThreadMgr pool;
    ASSERT_TRUE(pool.Start(&queue));
    ASSERT_TRUE(first->finished.Wait(kHangGuardMs));
    ASSERT_TRUE(second->finished.Wait(kHangGuardMs));
    EXPECT_TRUE(pool.Stop());
    EXPECT_EQ(first->runs, 1);
    EXPECT_EQ(second->runs, 1);
}

TEST(TaskQueue, CancelsQueuedAndRunningTasksAndStopLeavesTheRestQueued)
{
    RC::RCSafeTaskQueue queue;
    RC::RCSafeThreadMgr pool;
    EXPECT_FALSE(pool.Start(nullptr));
    ASSERT_TRUE(pool.Start(&queue));

    RCRefPtr<RecordingTask> running(new RecordingTask(true));
    const uint32_t runningId = queue.Push(running.Get());
    ASSERT_TRUE(running->started.Wait(kHangGuardMs));

    // The only worker is busy: these stay queued.
    RCRefPtr<RecordingTask> queued(new RecordingTask);
    RCRefPtr<RecordingTask> leftOver(new RecordingTask);
    const uint32_t queuedId = queue.Push(queued.Get());
    queue.Push(leftOver.Get());

    EXPECT_EQ(pool.CancelTask(0), 0);
    EXPECT_EQ(pool.CancelTask(queuedId), 2);
    EXPECT_EQ(pool.CancelTask(999), 0);

    RCRefPtr<RecordingTask> second(new RecordingTask(true));
    EXPECT_EQ(pool.CancelTask(runningId), 1);
    ASSERT_TRUE(running->finished.Wait(kHangGuardMs));
    EXPECT_EQ(running->cancels, 1);

    ASSERT_TRUE(leftOver->finished.Wait(kHangGuardMs));
    const uint32_t secondId = queue.Push(second.Get());
    ASSERT_TRUE(second->started.Wait(kHangGuardMs));
    RCRefPtr<RecordingTask> notRun(new RecordingTask);
    queue.Push(notRun.Get());

    EXPECT_TRUE(pool.Stop());
    EXPECT_EQ(second->cancels, 1);
    EXPECT_EQ(queued->runs, 0);
    EXPECT_NE(secondId, runningId);
    EXPECT_TRUE(queue.Remove(secondId + 1));  // still queued after Stop
}

} // namespace
