#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <random>
#include <string>
#include <vector>

#include "Engine/Enumerator/RCEnumThreads.h"
#include "foundation/RCRefCountImpl1.h"
#include "support/CallLog.h"

using namespace RC;

namespace {

// Reports a few files, optionally waiting inside the first one until stopped.
class FakeEnumerator : public RCRefCountImpl1<IAvEnumFile> {
public:
    FakeEnumerator(uint32_t showType, int files, bool holdUntilStopped = false)
        : showType_(showType), files_(files), hold_(holdUntilStopped)
    {
        inside_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        stopped_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~FakeEnumerator() override
    {
        CloseHandle(inside_);
        CloseHandle(stopped_);
    }

    IAvEnumFileEvent* SetEnumEvent(IAvEnumFileEvent* sink) override { return sink_ = sink; }
    bool Enum() override
    {
        stop_ = false;
        ResetEvent(stopped_);
        if (!sink_->OnEnumItemStart(this) || stop_) {
            sink_->OnEnumFileEnd(this);
            return true;
        }
        for (int i = 0; i < files_ && !stop_; ++i) {
            sink_->OnEnumFile(this, L"C:\\f" + std::to_wstring(i) + L".exe", L"");
            if (hold_ && i == 0) {
                SetEvent(inside_);
                WaitForSingleObject(stopped_, INFINITE);
            }
        }
        sink_->OnEnumFileEnd(this);
        return true;
    }
    bool Stop() override
    {
        stop_ = true;
        SetEvent(stopped_);
        return true;
    }
    int32_t GetScanGroup() override { return 0x200; }
    int32_t GetShowType() override { return static_cast<int32_t>(showType_); }
    ItemStats* GetItemStats() override { return &stats_; }

    void WaitInside() { WaitForSingleObject(inside_, INFINITE); }

private:
    uint32_t showType_;
    int files_;
    bool hold_;
    std::atomic<bool> stop_{false};
    IAvEnumFileEvent* sink_ = nullptr;
    HANDLE inside_;
    HANDLE stopped_;
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

} // namespace

TEST(RCEnumThreads, EmptyListStartsAndEnds)
{
    RecordingSink sink;
    RCEnumThreads threads;
    threads.SetEnumEvent(&sink);
    threads.StopScan();  // idle: nothing to stop
    ASSERT_TRUE(threads.StartScan());
    sink.WaitEnd();
    threads.UnInitialize();
    EXPECT_EQ(sink.Events(), (std::vector<std::string>{"start", "end"}));
}

TEST(RCEnumThreads, RunsInOrderSkippingMissingShowTypes)
{
    RCEnumThreads::EnumeratorMap map;
    map[21] = new FakeEnumerator(21, 2);
    map[20] = new FakeEnumerator(20, 3);
    RecordingSink sink;
    RCEnumThreads threads;
    threads.SetEnumEvent(&sink);
    threads.SetScanTasks(map, {21, 19, 20});  // 19 has no enumerator
    EXPECT_EQ(map.count(19), 1u);
    threads.StartScan();
    sink.WaitEnd();
    threads.UnInitialize();
    EXPECT_EQ(sink.Events(), (std::vector<std::string>{"start", "item 21", "item-end 21", "item 20", "item-end 20", "end"}));
    EXPECT_EQ(sink.files, 5);
}

TEST(RCEnumThreads, StopDuringTheSecondOfThree)
{
    RCEnumThreads::EnumeratorMap map;
    map[1] = new FakeEnumerator(1, 1);
    FakeEnumerator* second = new FakeEnumerator(2, 5, true);
    map[2] = second;
    map[3] = new FakeEnumerator(3, 1);
    RecordingSink sink;
    RCEnumThreads threads;
    threads.SetEnumEvent(&sink);
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

TEST(RCEnumThreads, ThousandStartStopCyclesNeverHangOrLoseARun)
{
    RCEnumThreads::EnumeratorMap map;
    map[1] = new FakeEnumerator(1, 20);
    map[2] = new FakeEnumerator(2, 20);
    RecordingSink sink;
    RCEnumThreads threads;
    threads.SetEnumEvent(&sink);
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
