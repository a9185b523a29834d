// The file scan queue against the substitute engine, in a folder of its own
// so that Quentor.ini steers only this program's engine.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <vector>

#include "Src/Engine/Scanner/RCAvFileScan.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCPath.h"
#include "support/CallLog.h"
#include "support/TestData.h"

using namespace RC;
using KivoTest::kEicar;

namespace {

std::atomic<int64_t> g_clock{1000};
int64_t FakeClock()
{
    return g_clock.load();
}

struct Completion {
    uint32_t taskId;
    uint32_t level;
    DWORD thread;
    ScanResult result;
};

class RecordingSink : public IAvFileScanEvent {
public:
    bool OnQueryBegin() override
    {
        queryThread = GetCurrentThreadId();
        return Note("begin");
    }
    bool OnFileQueryBegin(FileQueryTask*) override { return Note("file-begin"); }
    bool OnFileQueryEnd(FileQueryTask* task) override
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            completions_.push_back({task->taskId, task->result.level, GetCurrentThreadId(), task->result});
        }
        return Note(task->IsMarker() ? "marker-end" : "file-end");
    }
    bool OnQueryEnd() override { return Note("end"); }

    std::vector<std::string> events() const { return log_.Calls(); }
    std::atomic<DWORD> queryThread{0};
    std::vector<Completion> completions() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return completions_;
    }

private:
    bool Note(const char* event)
    {
        log_.Note(event);
        return true;
    }
    KivoTest::CallLog log_;
    mutable std::mutex lock_;
    std::vector<Completion> completions_;
};

class RCAvFileScanTest : public testing::Test {
protected:
    void SetUp() override
    {
        folder_ = RCPathJoin(RCGetExeFolder(), L"queue-files");
        CreateDirectoryW(folder_.c_str(), nullptr);
        Write(L"eicar.com", kEicar);
        Write(L"clean.exe", "MZ nothing to see");
        g_clock = 1000;
        queue_.SetSink(&sink_);
    }
    void TearDown() override
    {
        queue_.UnInit();
        DeleteFileW(IniPath().c_str());
    }

    void Write(const std::wstring& name, const std::string& bytes)
    {
        std::ofstream(RCPathJoin(folder_, name).c_str(), std::ios::binary) << bytes;
    }
    void Controls(const std::string& text) { std::ofstream(IniPath().c_str(), std::ios::binary) << text; }
    std::wstring IniPath() const { return RCPathJoin(RCGetExeFolder(), L"Quentor.ini"); }

    bool AddFile(uint32_t id, const std::wstring& name)
    {
        FileQueryTask task;
        task.taskId = id;
        task.scanGroup = 0x200;
        task.showType = 21;
        task.path = RCPathJoin(folder_, name);
        return queue_.AddFileQueryTask(&task);
    }
    void AddMarker(uint32_t showType)
    {
        FileQueryTask marker;
        marker.showType = showType;
        queue_.AddFileQueryTask(&marker);
    }
    void StartWith(const RCAvFileScan::Timing& timing = RCAvFileScan::Timing())
    {
        queue_.SetTiming(timing);
        ASSERT_TRUE(queue_.Init(L"test-task"));
        ASSERT_TRUE(queue_.StartScan());
    }

    std::wstring folder_;
    RecordingSink sink_;
    RCAvFileScan queue_;
};

} // namespace

TEST_F(RCAvFileScanTest, RunWithoutFilesEndsAtTheFinalMarker)
{
    StartWith();
    EXPECT_FALSE(queue_.StartScan());  // one run at a time
    AddMarker(21);
    AddMarker(kEndOfRunShowType);
    queue_.WaitingStop();
    EXPECT_EQ(sink_.events(), (std::vector<std::string>{"begin", "file-begin", "marker-end", "file-begin", "end"}));
    EXPECT_TRUE(queue_.StartScan());  // idle again
    AddMarker(kEndOfRunShowType);
    queue_.WaitingStop();
}

TEST_F(RCAvFileScanTest, RunEndsAfterTheLastAnswerNotAtTheMarker)
{
    Controls("DelayMs=300\nAnswerTwice=clean.exe\n");
    StartWith();
    EXPECT_TRUE(AddFile(1, L"eicar.com"));
    EXPECT_TRUE(AddFile(2, L"clean.exe"));
    AddMarker(kEndOfRunShowType);  // before any answer: the engine waits 300 ms per file
    queue_.WaitingStop();

    const std::vector<Completion> done = sink_.completions();
    ASSERT_EQ(done.size(), 2u);  // the second answer for clean.exe is a miss
    for (const Completion& c : done) {
        EXPECT_EQ(c.level, c.taskId == 1 ? 3u : 0u);
        EXPECT_EQ(c.thread, sink_.queryThread.load());  // answers arrive on the query thread
    }
    // The engine's whole answer reaches the task, its last bytes included.
    const ScanResult& eicar = done[0].taskId == 1 ? done[0].result : done[1].result;
    EXPECT_EQ(std::wstring(eicar.threatName), L"Eicar-Test-Signature");
    EXPECT_EQ(eicar.subLevel, 2u);
    const uint8_t md5[16] = {0x44, 0xd8, 0x86, 0x12, 0xfe, 0xa8, 0xa8, 0xf3,
                             0x6d, 0xe8, 0x2e, 0x12, 0x78, 0xab, 0xb0, 0x2f};
    EXPECT_EQ(memcmp(eicar.fileMd5, md5, 16), 0);
    EXPECT_EQ(eicar.fileSizeLow, 68u);
    EXPECT_EQ(sink_.events().back(), "end");
}

TEST_F(RCAvFileScanTest, RefusedQueryCompletesAtOnceWithNothingFound)
{
    Controls("Refuse=eicar.com\n");
    StartWith();
    EXPECT_FALSE(AddFile(7, L"eicar.com"));
    ASSERT_EQ(sink_.completions().size(), 1u);
    EXPECT_EQ(sink_.completions()[0].level, 0u);
    EXPECT_EQ(sink_.completions()[0].thread, GetCurrentThreadId());
    AddMarker(kEndOfRunShowType);
    queue_.WaitingStop();
}

TEST_F(RCAvFileScanTest, SilentEngineTimesOutButNotWhilePaused)
{
    Controls("NeverAnswer=clean.exe\n");
    RCAvFileScan::Timing fast;
    fast.idleWaitMs = 20;  // wake often; the 60-second rule stays as it is
    fast.now = &FakeClock;
    StartWith(fast);
    AddFile(1, L"clean.exe");
    AddMarker(kEndOfRunShowType);

    queue_.Pause();
    g_clock += 600;  // ten minutes suspended
    Sleep(200);
    EXPECT_TRUE(sink_.completions().empty());
    queue_.Resume();  // the silence is counted from here
    g_clock += 30;
    Sleep(200);
    EXPECT_TRUE(sink_.completions().empty());

    g_clock += 31;
    queue_.WaitingStop();  // ends once the time-out completed the file
    ASSERT_EQ(sink_.completions().size(), 1u);
    EXPECT_EQ(sink_.completions()[0].level, 0u);
}

TEST_F(RCAvFileScanTest, AbortDropsPendingFilesAndEndsTheRun)
{
    Controls("DelayMs=500\n");
    StartWith();
    AddFile(1, L"eicar.com");
    AddFile(2, L"clean.exe");
    queue_.Abort();
    queue_.WaitingStop();
    EXPECT_TRUE(sink_.completions().empty());
    EXPECT_EQ(sink_.events().back(), "end");
}

TEST_F(RCAvFileScanTest, StartStopCyclesWithRandomAbortsNeverHangOrDoubleAResult)
{
    Controls("DelayMs=1\nAnswerTwice=clean.exe\n");
    ASSERT_TRUE(queue_.Init(L"stress"));
    std::mt19937 random(777);
    uint32_t nextId = 1;
    for (int cycle = 0; cycle < 200; ++cycle) {
        ASSERT_TRUE(queue_.StartScan());
        const uint32_t first = nextId;
        AddFile(nextId++, L"clean.exe");
        AddFile(nextId++, L"eicar.com");
        const bool abort = random() % 3 == 0;
        if (abort) {
            if (random() % 2)
                Sleep(random() % 3);
            queue_.Abort();
        } else {
            AddMarker(kEndOfRunShowType);
        }
        queue_.WaitingStop();

        std::set<uint32_t> seen;
        for (const Completion& c : sink_.completions()) {
            if (c.taskId >= first) {
                EXPECT_TRUE(seen.insert(c.taskId).second) << "task " << c.taskId << " completed twice";
            }
        }
        if (!abort) {
            EXPECT_EQ(seen.size(), 2u) << "cycle " << cycle << " lost a result";
        }
    }
}
