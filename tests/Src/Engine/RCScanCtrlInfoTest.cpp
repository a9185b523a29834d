// The events of one task as a peer reads them, fired by the task's observer
// and trojan list, or by its callbacks driven directly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <functional>
#include <iterator>
#include <utility>

#include "Src/Engine/RCSafeTrevoxOb.h"
#include "Src/Engine/RCScanCtrlInfo.h"
#include "Src/Engine/RCTrevoxCtrl.h"
#include "module/RCBusIds.h"
#include "module/RCBusRecords.h"
#include "module/RCModuleSender.h"
#include "support/RecordingHost.h"
#include "support/TestData.h"

using namespace RC;
using KivoTest::Hex;
using KivoTest::NoBlanks;
using Level = ThreatLevel;

namespace {

uint32_t g_now = 0;
uint32_t FakeTicks()
{
    return g_now;
}

class RCScanCtrlInfoTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(task.Init());
        RCSafeTrevoxOb::SetTickSource(&FakeTicks);
        g_now = std::max<uint32_t>(g_now, GetTickCount()) + 1000000; // past every throttle so far
    }
    void TearDown() override { RCSafeTrevoxOb::SetTickSource(nullptr); }
    size_t PostsOf(const std::wstring& id) const
    {
        return std::count_if(host.posts.begin(), host.posts.end(), [&](const auto& post) { return post.id == id; });
    }

    // A threat as the query thread hands it to the trojan list.
    void AddThreat(uint32_t id, uint32_t showType, ThreatLevel level, uint32_t subLevel, const wchar_t* path,
                   RCScanCtrlInfo* to = nullptr)
    {
        FileQueryTask threat;
        threat.taskId = id;
        threat.scanGroup = 0x200;
        threat.showType = showType;
        threat.path = path;
        threat.result.level = WireValue(level);
        threat.result.subLevel = subLevel;
        wcscpy(threat.result.threatName, L"Eicar");
        threat.result.signatureRecord = 0x11;
        threat.result.fileSizeLow = 0x44;
        (to ? to : &task)->Controller()->GetTrojaneList()->AddThreat(threat);
    }
    const KivoTest::RecordingHost::Post& LastPost() const { return host.posts.back(); }
    std::vector<uint8_t> LastData() const { return LastPost().content.at(0).bytes; }

    KivoTest::RecordingHost host;
    RCModuleSender sender{&host};
    RCScanCtrlInfo task{L"a", L"p1", L"p2", &sender};
};

} // namespace

// What the task's observer fires reaches peers byte for byte; "01000000
// 6100" is the TaskId "a" that every event begins with. Each count has a
// value of its own, so a count in another field, or a notification built
// before the counts changed, changes the bytes.
TEST_F(RCScanCtrlInfoTest, EventsCarryTheObserversCountsEachInItsPlace)
{
    RCSafeTrevoxOb& observer = *task.Controller()->GetObserver();
    observer.FireProgress();
    observer.FireItemProgress(kCustomPathsShowType);
    g_now += 50;
    observer.SetState(ScanState::Scanning);
    observer.SetPercent(85);
    observer.SetCurrentItem(kCustomPathsShowType, L"item");
    observer.SetCurrentFile(L"C:\\f");
    for (int i = 0; i < 6; ++i)
        observer.IncrementFilesFound();
    observer.IncrementLevel2Found();
    observer.IncrementLevel3Found();
    observer.IncrementLevel3Found();
    observer.SetItemCounts(kCustomPathsShowType, ItemCounts{6, 5, 1, 2}); // enumerated, scanned, level 2, level 3
    const struct {
        std::function<void()> input;
        const std::wstring& id;
        const char* hex;
    } cases[] = {
        {[&] { observer.FireState(); }, EVT_SCAN_STATE, "01000000 6100  01000000 06000000 02000000 01000000"},
        {[&] { observer.FireProgress(); }, EVT_SCAN_PROGRESS,
         "01000000 6100  55000000 04000000 43003a005c006600 1a000000 01000000 06000000 02000000"},
        {[&] { observer.ChangeItemStatus(kCustomPathsShowType, ItemStatus::Finished); }, EVT_ITEM_STATUS,
         "01000000 6100  1a000000 03000000 06000000 01000000 02000000"},
        {[&] { observer.FireItemProgress(kCustomPathsShowType); }, EVT_ITEM_PROGRESS,
         "01000000 6100  1a000000 03000000 05000000 06000000 01000000 02000000"},
        {[&] { AddThreat(7, kImageHijackShowType, ThreatLevel::Threat, 2, L"C:\\e"); }, EVT_THREAT_FOUND,
         "01000000 6100  07000000  04000000 43003a005c006500  11000000 44000000  00000000"
         "  0c000000 d153b0735c95cf50ab5201631aff45006900630061007200"
         "  27000000 28676c9a8765f64e1a90385e29522875fb7cdf7e0f6f1e6d0cffbe8f305234784f57fb7cdf7e0cffd776"
         "d653268df7530cffe17b39658765f64e8476ee7684760cfff78ba860cb7a735304590674"
         "  05000000 45006900630061007200  02000000 02000000 28676c9a  01000000 04000000 9496bb798765f64e"},
        {[&] { task.OnOperateItemFailed(Operation::Quarantine, 9); }, EVT_OPERATE_ITEM,
         "01000000 6100  09000000 01000000 01000000"},
    };
    for (const auto& c : cases) {
        host.posts.clear();
        c.input();
        ASSERT_EQ(1u, host.posts.size());
        EXPECT_EQ(c.id, LastPost().id);
        EXPECT_EQ(NoBlanks(c.hex), Hex(LastData()));
        EXPECT_EQ(L"p1|p2", LastPost().address1 + L"|" + LastPost().address2);
    }
}

// Scan progress passes once per 50 ms across the tasks of the process; item
// progress has a clock of its own.
TEST_F(RCScanCtrlInfoTest, ProgressIsThrottledAcrossTasksAndItemProgressByItself)
{
    RCScanCtrlInfo other(L"b", L"p1", L"p2", &sender);
    ASSERT_TRUE(other.Init());
    RCSafeTrevoxOb& observer = *task.Controller()->GetObserver();
    observer.FireProgress();
    g_now += 10;
    other.Controller()->GetObserver()->FireProgress();
    g_now += 39; // 49 ms after the first
    observer.FireProgress();
    EXPECT_EQ(1u, PostsOf(EVT_SCAN_PROGRESS));
    g_now += 1;
    observer.FireProgress();
    EXPECT_EQ(2u, PostsOf(EVT_SCAN_PROGRESS));
    observer.FireItemProgress(3);
    observer.FireItemProgress(3);
    EXPECT_EQ(1u, PostsOf(EVT_ITEM_PROGRESS));
}

TEST_F(RCScanCtrlInfoTest, ThreatTextsFollowTheLevelAndTheItem)
{
    struct {
        ThreatLevel level;
        uint32_t subLevel, showType;
        const wchar_t* shown; // description|category name|category code/action code|action name
    } const cases[] = {
        {Level::Threat, 1, kAllDisksShowType, L"电脑磁盘文件发现病毒:Eicar|病毒|2/3|清除病毒"},
        {Level::Threat, 9, kDownloadToolShowType, L"默认下载工具被劫持：Eicar|木马|2/1|隔离文件"},
        {Level::Risk, 2, kSearchHijackShowType, L"浏览器默认搜索被劫持：Eicar|捆绑|1/1|隔离文件"},
        {Level::Risk, 3, kSystemMemoryShowType, L"系统内存发现外挂:Eicar|外挂|1/1|隔离文件"},
        {Level::Risk, 7, kCustomPathsShowType, L"自定义扫描项发现风险:Eicar|风险|1/1|隔离文件"},
        {Level::Clean, 1, kEndOfRunShowType, L"发现风险:Eicar|风险|1/1|隔离文件"},
    };
    for (uint32_t id = 0; id < std::size(cases); ++id) {
        const auto& c = cases[id];
        AddThreat(id + 1, c.showType, c.level, c.subLevel, (L"C:\\threat" + std::to_wstring(id)).c_str());
        ThreatFoundEvent e;
        ASSERT_TRUE(RCDecodeRecord(e, LastData()));
        EXPECT_EQ(c.shown, e.description + L"|" + e.categoryName + L"|" + std::to_wstring(e.categoryCode) + L"/" +
                               std::to_wstring(e.actionCode) + L"|" + e.actionName)
            << "case " << id;
    }
    // The advice texts not seen in another test.
    const std::pair<std::pair<ThreatLevel, uint32_t>, std::wstring> advice[] = {
        {{Level::Threat, 1}, L"病毒文件具有极大的破坏性，可能会造成系统崩溃，死机，数据丢失，请您立即处理"},
        {{Level::Risk, 0}, L"风险文件可能会造成数据丢失，账号被盗，给系统带来风险，请您谨慎运行"},
        {{Level::Risk, 1}, L"插件文件可能会恶意获取您的隐私信息，造成数据丢失，请您谨慎运行"},
        {{Level::Risk, 2}, L"捆绑文件可能会向您推广恶意软件，给系统带来风险，请您谨慎运行"},
        {{Level::Risk, 3}, L"外挂文件可能会造成数据丢失，账号被盗，请您谨慎运行"},
    };
    for (const auto& a : advice)
        EXPECT_EQ(a.second, RCScanCtrlInfo::CategoryOf(a.first.first, a.first.second).advice);
}

// The trojan list holds a file once, whatever its case and blanks (what it
// finds by id the bus test's operations use).
TEST_F(RCScanCtrlInfoTest, AFileIsOneThreatWhateverItsCaseAndBlanks)
{
    AddThreat(5, kCustomPathsShowType, ThreatLevel::Threat, 0, L"C:\\Data\\Bad.EXE");
    AddThreat(9, kCustomPathsShowType, ThreatLevel::Threat, 0, L"  c:\\data\\bad.exe\r\n");
    EXPECT_EQ(1u, PostsOf(EVT_THREAT_FOUND));
    FileQueryTask found;
    EXPECT_FALSE(task.Controller()->GetTrojaneList()->FindThreat(9, found));
}

TEST_F(RCScanCtrlInfoTest, NothingIsPostedWithoutASenderOrWithoutAController)
{
    RCScanCtrlInfo silent(L"s", L"p1", L"p2", nullptr); // set up before the module started
    ASSERT_TRUE(silent.Init());
    RCSafeTrevoxOb& observer = *silent.Controller()->GetObserver();
    observer.FireState();
    observer.FireProgress();
    observer.ChangeItemStatus(26, ItemStatus::Finished);
    observer.FireItemProgress(26);
    silent.PostSetupDone();
    silent.OnOperateBegin(Operation::Quarantine); // the operation's state and item events share a post each
    silent.OnOperateItemBegin(Operation::Quarantine, 1);
    silent.OnOperateProgress(1, 1);
    AddThreat(1, kCustomPathsShowType, ThreatLevel::Threat, 0, L"C:\\x", &silent);

    // Released by a module stop, the task has nothing to report items or threats from.
    task.UnInit();
    EXPECT_EQ(nullptr, task.Controller());
    task.PostSetupDone();
    task.OnThreatAdded(1);
    EXPECT_TRUE(host.posts.empty());
}
