// The trojan list's bookkeeping and operation events; quarantine, restore
// and a cancel between two files are driven whole over the bus
// (ScanTaskBusTest).
#include <gtest/gtest.h>

#include <windows.h>

#include "Src/Engine/RCTrojaneList.h"
#include "support/CallLog.h"

using namespace RC;

namespace {

// Records the calls in order.
struct RecordingObserver : IScanOperateCallback {
    void OnThreatAdded(uint32_t id) override { log.Note("added " + std::to_string(id)); }
    void OnOperateBegin(uint32_t op) override { log.Note("begin " + std::to_string(op)); }
    int32_t OnOperateItemBegin(uint32_t, uint32_t id) override { return log.Note("item " + std::to_string(id)), 0; }
    int32_t OnOperateItemSucceeded(uint32_t, uint32_t id) override { return log.Note("ok " + std::to_string(id)), 0; }
    int32_t OnOperateItemFailed(uint32_t, uint32_t id) override { return log.Note("failed " + std::to_string(id)), 0; }
    void OnOperateProgress(uint32_t done, uint32_t total) override
    {
        log.Note("progress " + std::to_string(done) + "/" + std::to_string(total));
    }
    void OnOperateEnd(uint32_t op) override { log.Note("end " + std::to_string(op)); }
    // The calls of one operation, once it has ended.
    std::string Operation()
    {
        log.WaitFor("end ");
        return log.Take();
    }

    KivoTest::CallLog log;
};

FileQueryTask Threat(uint32_t id, const std::wstring& path)
{
    FileQueryTask task;
    task.taskId = id;
    task.scanGroup = 0x200;
    task.showType = 21;
    task.path = path;
    task.result.level = 3;
    return task;
}

} // namespace

TEST(RCTrojaneList, ListsEachFileOnceWhateverItsCaseAndBlanks)
{
    RecordingObserver observer;
    RCTrojaneList list;
    list.SetObserver(&observer);
    EXPECT_EQ(list.AddThreat(Threat(5, L"C:\\Data\\Bad.EXE")), 5u);
    EXPECT_EQ(list.AddThreat(Threat(9, L"  c:\\data\\bad.exe\r\n")), 0u);
    EXPECT_EQ(observer.log.Take(), "added 5");

    FileQueryTask found;
    EXPECT_TRUE(list.FindThreat(5, found));
    EXPECT_EQ(found.path, L"C:\\Data\\Bad.EXE");
    EXPECT_FALSE(list.FindThreat(9, found));
    list.Clear();
    EXPECT_FALSE(list.FindThreat(5, found));
}

TEST(RCTrojaneList, OperationsReportEveryListedFileAndAlwaysEnd)
{
    RecordingObserver observer;
    RCTrojaneList list;  // no Init: no threat operator, so every file fails
    list.SetObserver(&observer);
    list.AddThreat(Threat(1, L"C:\\a.exe"));
    list.AddThreat(Threat(2, L"C:\\b.exe"));
    list.AddThreat(Threat(3, L"C:\\c.exe"));
    observer.log.Take();

    ASSERT_TRUE(list.Operate(1, {}));
    EXPECT_EQ(observer.Operation(), "begin 1, end 1");

    ASSERT_TRUE(list.Operate(7, {2, 42, 1}));  // 42 is not listed: skipped silently
    EXPECT_EQ(observer.Operation(), "begin 7, item 2, progress 1/3, failed 2, item 1, progress 2/3, failed 1, end 7");
}
