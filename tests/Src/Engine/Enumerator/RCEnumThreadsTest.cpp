#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "Src/Engine/Enumerator/RCEnumThreads.h"
#include "foundation/RCEvent.h"
#include "foundation/RCHandles.h"
#include "foundation/RCRefCountImpl1.h"
#include "support/CallLog.h"

using namespace RC;

namespace {

// Where a fake enumerator waits: inside its first file until stopped, or at
// the start of Enum, before it clears its stop flag, until the test opens
// the gate.
enum class Hold { None, InsideUntilStopped, BeforeClearUntilGate };

// Reports a few files, optionally holding (above).
class FakeEnumerator : public RCRefCountImpl1<IAvEnumFile> {
public:
    FakeEnumerator(uint32_t showType, int files, Hold hold = Hold::None)
        : showType_(showType), files_(files), hold_(hold == Hold::InsideUntilStopped), gated_(hold == Hold::BeforeClearUntilGate)
    {
    }

    IAvEnumFileEvent* SetEnumEvent(IAvEnumFileEvent* sink) override { return sink_ = sink; }
    bool Enum() override
    {
        if (gated_) {
            inside_.Set();
            gate_.Wait(INFINITE);
        }
        if (onEnum)
            onEnum();
        stop_ = false;
        stopped_.Reset();
        if (!sink_->OnEnumItemStart(this) || stop_) {
            sink_->OnEnumFileEnd(this);
            return true;
        }
        for (int i = 0; i < files_ && !stop_; ++i) {
            sink_->OnEnumFile(this, L"C:\\f" + std::to_wstring(i) + L".exe", L"");
            if (hold_ && i == 0) {
                inside_.Set();
                stopped_.Wait(INFINITE);
            }
        }
        sink_->OnEnumFileEnd(this);
        return true;
    }
    bool Stop() override
    {
        stop_ = true;
        stopped_.Set();
        return true;
    }
    int32_t GetScanGroup() override { return 0x200; }
    int32_t GetShowType() override { return static_cast<int32_t>(showType_); }
    ItemStats* GetItemStats() override { return &stats_; }

    void WaitInside() { inside_.Wait(INFINITE); }
    void OpenGate() { gate_.Set(); }

    std::function<void()> onEnum;

private:
    uint32_t showType_;
    int files_;
    bool hold_;
    bool gated_;
    RCEvent gate_{true};
    std::atomic<bool> stop_{false};
    IAvEnumFileEvent* sink_ = nullptr;
    RCEvent inside_{true};
    RCEvent stopped_{true};
    ItemStats stats_;
};

// Records the run.
class RecordingSink : public IAvEnumFileEvent {
public:
    bool OnEnumStart() override { return Note("start"); }
    bool OnEnumItemStart(IAvEnumFile* e) override { return Note("item " + std::to_string(e->GetShowType())); }
    bool OnEnumFile(IAvEnumFile*, const std::wstring&, const std::wstring&) override
    {
        ++files;
        return true;
    }
    bool OnEnumFileEnd(IAvEnumFile* e) override { return Note("item-end " + std::to_string(e->GetShowType())); }
    void OnEnumEnd(bool stopped) override { Note(stopped ? "end stopped" : "end"); }

    void WaitEnd() { log.WaitFor("end"); }
    std::vector<std::string> Events() const { return log.Calls(); }

    KivoTest::CallLog log;
    std::atomic<int> files{0};

private:
    bool Note(const std::string& call)
    {
        log.Note(call);
        return true;
    }
};

// The threads under test report to the sink; declared after it, they are
// gone before it.
class RCEnumThreadsTest : public testing::Test {
protected:
    void SetUp() override { threads.SetEnumEvent(&sink); }

    RecordingSink sink;
    RCEnumThreads threads;
};

} // namespace

TEST_F(RCEnumThreadsTest, EmptyListStartsAndEnds)
{
    threads.StopScan();  // idle: nothing to stop
    ASSERT_TRUE(threads.StartScan());
    sink.WaitEnd();
    threads.UnInitialize();
    EXPECT_EQ(sink.Events(), (std::vector<std::string>{"start", "end"}));
}

TEST_F(RCEnumThreadsTest, RunsInOrderSkippingMissingShowTypes)
{
    RCEnumThreads::EnumeratorMap map;
    map[21] = new FakeEnumerator(21, 2);
    map[20] = new FakeEnumerator(20, 3);
    threads.SetScanTasks(map, {21, 19, 20});  // 19 has no enumerator
    EXPECT_EQ(map.count(19), 1u);
    threads.StartScan();
    sink.WaitEnd();
    threads.UnInitialize();
    EXPECT_EQ(sink.Events(), (std::vector<std::string>{"start", "item 21", "item-end 21", "item 20", "item-end 20", "end"}));
    EXPECT_EQ(sink.files, 5);
}

TEST_F(RCEnumThreadsTest, StopDuringTheSecondOfThree)
{
    RCEnumThreads::EnumeratorMap map;
    map[1] = new FakeEnumerator(1, 1);
    FakeEnumerator* second = new FakeEnumerator(2, 5, Hold::InsideUntilStopped);
    map[2] = second;
    map[3] = new FakeEnumerator(3, 1);
    threads.SetScanTasks(map, {1, 2, 3});
    threads.StartScan();
    second->WaitInside();
    EXPECT_TRUE(threads.StartScan());  // a run is in progress: nothing changes
    threads.StopScan();
    sink.WaitEnd();
    threads.UnInitialize();
    EXPECT_EQ(sink.Events(),
              (std::vector<std::string>{"start", "item 1", "item-end 1", "item 2", "item-end 2", "end stopped"}));
    EXPECT_EQ(sink.files, 2);
}

TEST_F(RCEnumThreadsTest, AStopBeforeTheWalkBeginsIsKeptAndTheRunStaysBusyUntilItEnds)
{
    RCEnumThreads::EnumeratorMap map;
    FakeEnumerator* first = new FakeEnumerator(1, 5, Hold::BeforeClearUntilGate);
    map[1] = first;
    threads.SetScanTasks(map, {1});
    threads.StartScan();
    first->WaitInside();
    threads.StopScan();
    EXPECT_TRUE(threads.StartScan());  // the stopped run has not ended: no second run
    first->OpenGate();
    sink.WaitEnd();
    threads.UnInitialize();
    EXPECT_EQ(sink.Events(), (std::vector<std::string>{"start", "item 1", "item-end 1", "end stopped"}));
    EXPECT_EQ(sink.files, 0);
}

// The enumerators see the native system folder, as a 64-bit process would.
TEST_F(RCEnumThreadsTest, TheWorkerWalksWithFileSystemRedirectionOff)
{
    WORD machine = 0;
    RCEnumThreads::EnumeratorMap map;
    FakeEnumerator* probe = new FakeEnumerator(1, 0);
    probe->onEnum = [&machine] {
        unique_hfile file(CreateFileW(L"C:\\windows\\system32\\kernel32.dll", GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
        IMAGE_DOS_HEADER dos = {};
        IMAGE_NT_HEADERS32 nt = {};
        DWORD read = 0;
        ReadFile(file.get(), &dos, sizeof(dos), &read, nullptr);
        SetFilePointer(file.get(), dos.e_lfanew, nullptr, FILE_BEGIN);
        ReadFile(file.get(), &nt, sizeof(nt), &read, nullptr);
        machine = nt.FileHeader.Machine;
    };
    map[1] = probe;
    threads.SetScanTasks(map, {1});
    threads.StartScan();
    sink.WaitEnd();
    threads.UnInitialize();
    EXPECT_EQ(machine, IMAGE_FILE_MACHINE_AMD64);
}

TEST_F(RCEnumThreadsTest, ThousandStartStopCyclesNeverHangOrLoseARun)
{
    RCEnumThreads::EnumeratorMap map;
    map[1] = new FakeEnumerator(1, 20);
    map[2] = new FakeEnumerator(2, 20);
    threads.SetScanTasks(map, {1, 2});
    std::mt19937 random(12345);
    for (int i = 0; i < 1000; ++i) {
        threads.StartScan();
        if (random() % 2)
            Sleep(random() % 2);
        threads.StopScan();
    }
    threads.UnInitialize();
    const std::vector<std::string> events = sink.Events();
    int starts = 0, ends = 0;
    for (const std::string& e : events) {
        starts += e == "start";
        ends += e.rfind("end", 0) == 0;
    }
    EXPECT_GT(starts, 0);
    EXPECT_EQ(starts, ends);  // every run that began also ended
    EXPECT_EQ(events.back().rfind("end", 0), 0u);
}
