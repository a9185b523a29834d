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
    explicit RecordingTask(bool blocking = false) : blocking_(blocking) {}

    void Run(int) override
    {
        ++runs;
        started.Set();
        if (blocking_)
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
    bool blocking_;
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
    RCRefPtr<RecordingTask> first(new RecordingTask(true)), second(new RecordingTask(true));
    RCRefPtr<RecordingTask> removed(new RecordingTask), left(new RecordingTask);
    const uint32_t firstId = queue.Push(first.Get());
    ASSERT_TRUE(first->started.Wait(kHangGuardMs));

    // The only worker is busy: the rest stays queued.
    EXPECT_EQ(pool.CancelTask(queue.Push(removed.Get())), 2);
    queue.Push(second.Get());
    const uint32_t leftId = queue.Push(left.Get());
    EXPECT_EQ(pool.CancelTask(0), 0);
    EXPECT_EQ(pool.CancelTask(999), 0);

    EXPECT_EQ(pool.CancelTask(firstId), 1);
    ASSERT_TRUE(second->started.Wait(kHangGuardMs));
    EXPECT_TRUE(pool.Stop());
    EXPECT_EQ(first->cancels, 1);
    EXPECT_EQ(second->cancels, 1);
    EXPECT_EQ(removed->runs, 0);
    EXPECT_TRUE(queue.Remove(leftId));
}

} // namespace
