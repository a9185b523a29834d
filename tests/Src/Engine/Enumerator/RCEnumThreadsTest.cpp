#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "Src/Engine/Enumerator/RCAvEnumIMPL.h"
#include "Src/Engine/Enumerator/RCEnumThreads.h"
#include "foundation/RCEvent.h"
#include "foundation/RCHandles.h"
#include "foundation/RCRefCountImpl1.h"
#include "support/CallLog.h"

using namespace RC;
using Events = std::vector<std::string>;

namespace {

// Reports a few files; the test can act before it clears its stop flag and
// after each file.
class FakeEnumerator : public RCRefCountImpl1<IAvEnumFile> {
public:
    FakeEnumerator(int32_t showType, int files) : showType_(showType), files_(files) {}

    IAvEnumFileEvent* SetEnumEvent(IAvEnumFileEvent* sink) override { return sink_ = sink; }
    bool Enum() override
    {
        if (beforeClear)
            beforeClear();
        stop_ = false;
        const bool started = sink_->OnEnumItemStart(this);
        for (int i = 0; started && i < files_ && !stop_; ++i) {
            sink_->OnEnumFile(this, L"C:\\f.exe", L"");
            if (afterFile)
                afterFile();
        }
        sink_->OnEnumFileEnd(this);
        return true;
    }
    bool Stop() override { return stop_ = true; }
    int32_t GetScanGroup() override { return 0x200; }
    int32_t GetShowType() override { return showType_; }
    ItemStats* GetItemStats() override { return &stats_; }

    std::function<void()> beforeClear, afterFile;

private:
    int32_t showType_;
    int files_;
    std::atomic<bool> stop_{false};
    IAvEnumFileEvent* sink_ = nullptr;
    ItemStats stats_;
};

// The fixture is the threads' sink and records the run; the threads, declared
// last, are gone before what they report to.
class RCEnumThreadsTest : public testing::Test, public IAvEnumFileEvent {
protected:
    bool OnEnumStart() override { return Note("start"); }
    bool OnEnumItemStart(IAvEnumFile* e) override { return Note("item " + std::to_string(e->GetShowType())); }
    bool OnEnumFile(IAvEnumFile*, const std::wstring&, const std::wstring&) override { return ++files; }
    bool OnEnumFileEnd(IAvEnumFile* e) override { return Note("item-end " + std::to_string(e->GetShowType())); }
    void OnEnumEnd(bool stopped) override { Note(stopped ? "end stopped" : "end"); }
    bool Note(const std::string& call)
    {
        log.Note(call);
        return true;
    }

    // Starts a run of the enumerators in the order given by show types.
    void Start(std::vector<IAvEnumFile*> enumerators, const std::vector<uint32_t>& order)
    {
        for (IAvEnumFile* enumerator : enumerators)
            map[enumerator->GetShowType()] = enumerator;
        threads.SetEnumEvent(this);
        threads.SetScanTasks(map, order);
        threads.StartScan();
    }
    // Everything the run reported once it has ended and its workers are gone.
    Events Finish()
    {
        log.WaitFor("end");
        threads.UnInitialize();
        return log.Calls();
    }

    KivoTest::CallLog log;
    std::atomic<int> files{0};
    RCEnumThreads::EnumeratorMap map;
    RCEnumThreads threads;
};

} // namespace

TEST_F(RCEnumThreadsTest, RunsInOrderSkippingMissingShowTypes)
{
    Start({new FakeEnumerator(21, 2), new FakeEnumerator(20, 3)}, {21, 19, 20});
    EXPECT_EQ(map.count(19), 1u);
    EXPECT_EQ(Finish(), (Events{"start", "item 21", "item-end 21", "item 20", "item-end 20", "end"}));
    EXPECT_EQ(files, 5);
}

TEST_F(RCEnumThreadsTest, AStopEndsTheCurrentEnumeratorAndSkipsTheRest)
{
    RCEvent inside, go;
    auto* second = new FakeEnumerator(2, 5);
    second->afterFile = [&] {
        inside.Set();
        go.Wait(INFINITE);
    };
    Start({new FakeEnumerator(1, 1), second, new FakeEnumerator(3, 1)}, {1, 2, 3});
    inside.Wait(INFINITE);
    EXPECT_TRUE(threads.StartScan()); // a run is in progress: nothing changes
    threads.StopScan();
    go.Set();
    EXPECT_EQ(Finish(), (Events{"start", "item 1", "item-end 1", "item 2", "item-end 2", "end stopped"}));
    EXPECT_EQ(files, 2);
}

TEST_F(RCEnumThreadsTest, AStopBeforeTheWalkBeginsIsKeptAndTheRunStaysBusyUntilItEnds)
{
    RCEvent inside, go;
    auto* first = new FakeEnumerator(1, 5);
    first->beforeClear = [&] {
        inside.Set();
        go.Wait(INFINITE);
    };
    Start({first}, {1});
    inside.Wait(INFINITE);
    threads.StopScan();
    EXPECT_TRUE(threads.StartScan()); // the stopped run has not ended: no second run
    go.Set();
    EXPECT_EQ(Finish(), (Events{"start", "item 1", "item-end 1", "end stopped"}));
    EXPECT_EQ(files, 0);
}

// A walk that throws ends that walk, whose item still ends; the next one runs
// and the run ends.
TEST_F(RCEnumThreadsTest, AThrowingWalkEndsItselfNotTheRun)
{
    struct ThrowingWalk : RCAvEnumIMPL {
        ThrowingWalk() : RCAvEnumIMPL(0x200, 1) {}
        void EnumImpl() override { FireFileEnumEvent(L"C:\\f.exe", L""), throw std::bad_alloc(); }
    };
    Start({new ThrowingWalk, new FakeEnumerator(2, 1)}, {1, 2});
    EXPECT_EQ(Finish(), (Events{"start", "item 1", "item-end 1", "item 2", "item-end 2", "end"}));
    EXPECT_EQ(files, 2);
}

// The enumerators see the native system folder, as a 64-bit process would.
TEST_F(RCEnumThreadsTest, TheWorkerWalksWithFileSystemRedirectionOff)
{
    IMAGE_NT_HEADERS32 nt = {};
    auto* probe = new FakeEnumerator(1, 0);
    probe->beforeClear = [&nt] {
        unique_hfile file(CreateFileW(L"C:\\windows\\system32\\kernel32.dll", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        IMAGE_DOS_HEADER dos = {};
        DWORD read = 0;
        ReadFile(file.get(), &dos, sizeof(dos), &read, nullptr);
        SetFilePointer(file.get(), dos.e_lfanew, nullptr, FILE_BEGIN);
        ReadFile(file.get(), &nt, sizeof(nt), &read, nullptr);
    };
    Start({probe}, {1});
    Finish();
    EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
}
