// The observer's throttles and its end-of-run row; what its notifications
// carry is read byte for byte where a task posts them (RCScanCtrlInfoTest).
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
    uint32_t lastItemShowType = 0;
    ItemStatusBlock lastItemStatus;

    void OnScanStateChange(const ScanStatusBlock*) override {}
    void OnScanProgressChange(const ScanProgressBlock*) override { ++progresses; }
    void OnItemStatusChange(uint32_t showType, const ItemStatusBlock* s) override
    {
        lastItemShowType = showType, lastItemStatus = *s;
    }
    void OnItemProgressChange(uint32_t, const ItemProgressBlock*) override { ++itemProgresses; }
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
