// The trojan list's bookkeeping; its operations (quarantine, restore, a
// failure, a skipped id and a cancel between two files) are driven whole over
// the bus (ScanTaskBusTest).
#include <gtest/gtest.h>

#include "Src/Engine/RCTrojaneList.h"

using namespace RC;

namespace {

struct AddedThreats : IScanOperateCallback {
    void OnThreatAdded(uint32_t id) override { added.push_back(id); }
    void OnOperateBegin(uint32_t) override {}
    int32_t OnOperateItemBegin(uint32_t, uint32_t) override { return 0; }
    int32_t OnOperateItemSucceeded(uint32_t, uint32_t) override { return 0; }
    int32_t OnOperateItemFailed(uint32_t, uint32_t) override { return 0; }
    void OnOperateProgress(uint32_t, uint32_t) override {}
    void OnOperateEnd(uint32_t) override {}
    std::vector<uint32_t> added;
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
    AddedThreats observer;
    RCTrojaneList list;
    list.SetObserver(&observer);
    EXPECT_EQ(list.AddThreat(Threat(5, L"C:\\Data\\Bad.EXE")), 5u);
    EXPECT_EQ(list.AddThreat(Threat(9, L"  c:\\data\\bad.exe\r\n")), 0u);
    EXPECT_EQ(observer.added, std::vector<uint32_t>({5}));

    FileQueryTask found;
    EXPECT_TRUE(list.FindThreat(5, found));
    EXPECT_EQ(found.path, L"C:\\Data\\Bad.EXE");
    EXPECT_FALSE(list.FindThreat(9, found));
    list.Clear();
    EXPECT_FALSE(list.FindThreat(5, found));
}
