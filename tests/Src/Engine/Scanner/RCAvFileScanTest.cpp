// The file scan queue against the substitute engine, in a folder of its own
// so that Quentor.ini steers only this program's engine.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <vector>

#include "Src/Engine/Enumerator/EnumTestSupport.h"
#include "Src/Engine/Scanner/RCAvFileScan.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCPath.h"
#include "support/BusCodePrinter.h"
#include "support/TestData.h"

using namespace RC;

namespace {

std::atomic<int64_t> g_clock{1000};
int64_t FakeClock()
{
    return g_clock.load();
}

struct Completion {
    FileQueryTask task;
    DWORD thread;
};

// What reached the task: each completed query with the thread it came on,
// and the run's end.
struct RecordingSink : IAvFileScanEvent {
    bool OnQueryBegin() override { return queryThread = GetCurrentThreadId(), true; }
    bool OnFileQueryBegin(FileQueryTask*) override { return true; }
    bool OnFileQueryEnd(FileQueryTask* task) override
    {
        std::lock_guard<std::mutex> guard(lock);
        done.push_back({*task, GetCurrentThreadId()});
        return true;
    }
    bool OnQueryEnd() override { return ended = true; }
    std::vector<Completion> Done()
    {
        std::lock_guard<std::mutex> guard(lock);
        return done;
    }

    std::atomic<DWORD> queryThread{0};
    std::atomic<bool> ended{false};
    std::mutex lock;
    std::vector<Completion> done;
};

class RCAvFileScanTest : public testing::Test {
protected:
    void SetUp() override
    {
        folder_.Write(L"eicar.com", KivoTest::kEicar);
        folder_.Write(L"clean.exe", "MZ nothing to see");
        g_clock = 1000;
        queue_.SetSink(&sink_);
    }
    void TearDown() override
    {
        queue_.UnInit();
        DeleteFileW(IniPath().c_str());
    }

    void Controls(const std::string& text) { std::ofstream(IniPath().c_str(), std::ios::binary) << text; }
    std::wstring IniPath() const { return RCPathJoin(RCGetExeFolder(), L"Quentor.ini"); }
    bool AddFile(uint32_t id, const std::wstring& name)
    {
        FileQueryTask task;
        task.taskId = id;
        task.scanGroup = 0x200;
        task.showType = 21;
        task.path = RCPathJoin(folder_.Path(), name);
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

    RC::test::ScratchDir folder_;
    RecordingSink sink_;
    RCAvFileScan queue_;
};

} // namespace

TEST_F(RCAvFileScanTest, RunEndsAfterTheLastAnswerNotAtTheMarker)
{
    Controls("DelayMs=300\nAnswerTwice=clean.exe\n");
    StartWith();
    EXPECT_TRUE(AddFile(1, L"eicar.com"));
    EXPECT_TRUE(AddFile(2, L"clean.exe"));
    AddMarker(kEndOfRunShowType); // before any answer: the engine waits 300 ms per file
    queue_.WaitingStop();
    EXPECT_TRUE(sink_.ended);

    const std::vector<Completion> done = sink_.Done();
    ASSERT_EQ(done.size(), 2u); // the second answer for clean.exe is a miss
    for (const Completion& c : done) {
        EXPECT_EQ(c.task.level(), c.task.taskId == 1 ? ThreatLevel::Threat : ThreatLevel::Clean);
        EXPECT_EQ(c.thread, sink_.queryThread.load()); // answers arrive on the query thread
    }
    // The engine's whole answer reaches the task, its last bytes included.
    const ScanResult& eicar = done[done[0].task.taskId == 1 ? 0 : 1].task.result;
    EXPECT_EQ(std::wstring(eicar.threatName), L"Eicar-Test-Signature");
    EXPECT_EQ(eicar.subLevel, 2u);
    EXPECT_EQ("44d88612fea8a8f36de82e1278abb02f", KivoTest::Hex({eicar.fileMd5, eicar.fileMd5 + 16}));
    EXPECT_EQ(eicar.fileSizeLow, 68u);
}

TEST_F(RCAvFileScanTest, RefusedQueryCompletesAtOnceWithNothingFound)
{
    Controls("Refuse=eicar.com\n");
    StartWith();
    EXPECT_FALSE(AddFile(7, L"eicar.com"));
    ASSERT_EQ(sink_.Done().size(), 1u);
    EXPECT_EQ(sink_.Done()[0].task.level(), ThreatLevel::Clean);
    EXPECT_EQ(sink_.Done()[0].thread, GetCurrentThreadId());
    AddMarker(kEndOfRunShowType); // with nothing pending, the marker itself ends the run
    queue_.WaitingStop();
}

TEST_F(RCAvFileScanTest, SilentEngineTimesOutButNotWhilePaused)
{
    Controls("NeverAnswer=clean.exe\n");
    RCAvFileScan::Timing fast;
    fast.idleWaitMs = 20; // wake often; the 60-second rule stays as it is
    fast.now = &FakeClock;
    StartWith(fast);
    AddFile(1, L"clean.exe");
    AddMarker(kEndOfRunShowType);

    queue_.Pause();
    g_clock += 600; // ten minutes suspended
    Sleep(200);
    EXPECT_TRUE(sink_.Done().empty());
    queue_.Resume(); // the silence is counted from here
    g_clock += 30;
    Sleep(200);
    EXPECT_TRUE(sink_.Done().empty());

    g_clock += 31;
    queue_.WaitingStop(); // ends once the time-out completed the file
    ASSERT_EQ(sink_.Done().size(), 1u);
    EXPECT_EQ(sink_.Done()[0].task.level(), ThreatLevel::Clean);
}

// A full queue holds the next file back until a query leaves it, here by the
// silent engine's time-out; the held file is then scanned and the run ends.
TEST_F(RCAvFileScanTest, AFullQueueHoldsTheNextFileUntilTheSilentEnginesFileTimesOut)
{
    Controls("NeverAnswer=clean.exe\n");
    RCAvFileScan::Timing fast;
    fast.idleWaitMs = 20;
    fast.now = &FakeClock;
    fast.maxPending = 1;
    StartWith(fast);
    EXPECT_TRUE(AddFile(1, L"clean.exe"));
    g_clock += 61; // silent for too long: the next sweep completes the first file
    EXPECT_TRUE(AddFile(2, L"eicar.com"));
    AddMarker(kEndOfRunShowType);
    queue_.WaitingStop();
    const std::vector<Completion> done = sink_.Done();
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].task.taskId, 1u);
    EXPECT_EQ(done[0].task.level(), ThreatLevel::Clean);
    EXPECT_EQ(done[1].task.level(), ThreatLevel::Threat);
}
