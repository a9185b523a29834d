#include <gtest/gtest.h>

#include <vector>

#include "Src/Engine/RCSafeTrevoxOb.h"

using namespace RC;
using Values = std::vector<uint32_t>;

namespace {

uint32_t g_now = 0;
uint32_t FakeTicks()
{
    return g_now;
}

struct CountingCallback : IScanObCallback {
    int progresses = 0, itemProgresses = 0;
    ScanStatusBlock lastState;
    ScanProgressBlock lastProgress;
    uint32_t lastItemShowType = 0;
    ItemStatusBlock lastItemStatus;
    ItemProgressBlock lastItemProgress;

    void OnScanStateChange(const ScanStatusBlock* s) override { lastState = *s; }
    void OnScanProgressChange(const ScanProgressBlock* p) override { ++progresses, lastProgress = *p; }
    void OnItemStatusChange(uint32_t type, const ItemStatusBlock* s) override { lastItemShowType = type, lastItemStatus = *s; }
    void OnItemProgressChange(uint32_t, const ItemProgressBlock* p) override { ++itemProgresses, lastItemProgress = *p; }
};

class RCSafeTrevoxObTest : public testing::Test {
protected:
    void SetUp() override
    {
        RCSafeTrevoxOb::SetTickSource(&FakeTicks);
        g_now += 1000000; // past every throttle of earlier tests
        observer.SetCallback(&callback);
    }
    void TearDown() override { RCSafeTrevoxOb::SetTickSource(nullptr); }

    RCSafeTrevoxOb observer;
    CountingCallback callback;
};

} // namespace

TEST_F(RCSafeTrevoxObTest, ProgressIsThrottledAcrossObserversAndItemProgressByItself)
{
    RCSafeTrevoxOb other;
    other.SetCallback(&callback);

    observer.FireProgress();
    g_now += 10;
    other.FireProgress();  // another task, same process: still within 50 ms
    EXPECT_EQ(callback.progresses, 1);
    g_now += 39;  // 49 ms after the first
    observer.FireProgress();
    EXPECT_EQ(callback.progresses, 1);
    g_now += 1;
    observer.FireProgress();
    EXPECT_EQ(callback.progresses, 2);

    // Item progress has a clock of its own.
    observer.FireItemProgress(3);
    observer.FireItemProgress(3);
    EXPECT_EQ(callback.itemProgresses, 1);

}

TEST_F(RCSafeTrevoxObTest, ShowType46HasNoRow)
{
    observer.SetItemCounts(kEndOfRunShowType, ItemRow{0, 4});
    observer.SetItemStatus(kEndOfRunShowType, 2);
    observer.FireItemStatus(kEndOfRunShowType);
    const ItemStatusBlock& fired = callback.lastItemStatus;
    EXPECT_EQ(Values({46, 0, 0}), Values({callback.lastItemShowType, fired.status, fired.enumerated}));

    observer.SetItemCounts(45, ItemRow{9, 4, 3});  // the status is not a count
    const ItemProgressBlock row = observer.GetItemProgress(45);
    EXPECT_EQ(Values({0, 4, 3}), Values({row.status, row.enumerated, row.scanned}));
}

// Each notification carries the counts as they stand when it is fired, every
// one in its own field.
TEST_F(RCSafeTrevoxObTest, NotificationsCarryTheCurrentCounts)
{
    observer.SetState(1);
    for (int i = 0; i < 3; ++i)
        observer.IncrementFilesFound();
    observer.IncrementLevel3Found();
    observer.IncrementLevel3Found();
    observer.IncrementLevel2Found();
    observer.FireState();
    const ScanStatusBlock& state = callback.lastState;
    EXPECT_EQ(Values({1, 3, 1, 2}), Values({state.state, state.filesFound, state.level2Found, state.level3Found}));

    observer.FireProgress();
    observer.IncrementFilesFound();
    observer.IncrementLevel2Found();
    observer.SetPercent(7);
    observer.SetCurrentItem(21, L"item");
    observer.SetCurrentFile(L"C:\\a.exe");
    g_now += 50;
    observer.FireProgress();
    const ScanProgressBlock& progress = callback.lastProgress;
    EXPECT_EQ(Values({7, 4, 2, 2, 21}), Values({progress.percent, progress.filesFound, progress.level2Found,
                                                progress.level3Found, progress.currentShowType}));
    EXPECT_EQ(progress.currentFile, L"C:\\a.exe");

    observer.SetItemCounts(21, ItemRow{0, 5, 4, 1, 2});  // status, enumerated, scanned, level 2, level 3
    observer.SetItemStatus(21, 3);
    observer.FireItemStatus(21);
    observer.FireItemProgress(21);
    const ItemStatusBlock& status = callback.lastItemStatus;
    EXPECT_EQ(Values({3, 5, 1, 2}), Values({status.status, status.enumerated, status.level2, status.level3}));
    const ItemProgressBlock& item = callback.lastItemProgress;
    EXPECT_EQ(Values({3, 5, 4, 1, 2}), Values({item.status, item.enumerated, item.scanned, item.level2, item.level3}));
}
