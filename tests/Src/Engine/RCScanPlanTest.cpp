// The scan plan against machines the test describes: drive types and the
// bitness of Windows come through the plan's system seam; special folders
// are the prefix's own.
#include <gtest/gtest.h>

#include <map>
#include <typeinfo>

#include "Src/Engine/Enumerator/RCAvEnumLocalLnkFile.h"
#include "Src/Engine/Enumerator/RCAvEnumMemFile.h"
#include "Src/Engine/Enumerator/RCAvEnumRegistry.h"
#include "Src/Engine/Enumerator/RCAvEnumService.h"
#include "Src/Engine/Enumerator/RCAvEnumSystemTask.h"
#include "Src/Engine/RCScanPlan.h"
#include "foundation/RCFileSystem.h"

using namespace RC;

namespace {

RCScanPlan PlanOf(std::map<wchar_t, UINT> drives, bool is64)
{
    RCScanPlan::System system;
    system.driveType = [drives](const std::wstring& root) {
        const auto found = drives.find(root[0]);
        return found != drives.end() ? found->second : static_cast<UINT>(DRIVE_NO_ROOT_DIR);
    };
    system.is64BitOs = [is64] { return is64; };
    return RCScanPlan(system);
}

std::vector<RCScanPlan::Item> Build(const RCScanPlan& plan, ScanType scanType, std::vector<std::wstring> paths = {})
{
    return plan.Build({scanType, std::move(paths)});
}

const RCScanPlan::Item* Find(const std::vector<RCScanPlan::Item>& plan, int32_t showType)
{
    for (const RCScanPlan::Item& item : plan)
        if (item.showType == showType)
            return &item;
    return nullptr;
}

std::vector<std::wstring> Folders(std::initializer_list<int> ids)
{
    std::vector<std::wstring> found;
    for (int id : ids) {
        std::wstring path;
        if (RCGetSpecialFolder(id, path) && !path.empty())
            found.push_back(path);
    }
    return found;
}

// Every scan item as the suite shows it, written out by hand: show type,
// display name, enumerator class (none for the monitors), scan group,
// progress weight and expected file count.
struct ItemRow {
    int32_t showType;
    const wchar_t* name;
    const std::type_info* kind;
    int32_t group;
    uint32_t weight, expected;
};

const std::type_info* const kSensitive = &typeid(RCAvEnumSensitive);
const std::type_info* const kLocalFile = &typeid(RCAvEnumLocalFile);

// clang-format off
const ItemRow kItems[] = {
    { 0, L"镜像挟持", &typeid(RCAvEnumMirrorKidnap), 0x08, 2, 10},
    { 1, L"组策略启动项", kSensitive, 0x08, 2, 10},
    { 2, L"浏览器默认搜索挟持", kSensitive, 0x08, 2, 1},
    { 3, L"浏览器工具条", kSensitive, 0x08, 2, 10},
    { 4, L"浏览器工具栏按钮", kSensitive, 0x08, 2, 10},
    { 5, L"浏览器侧边栏", kSensitive, 0x08, 2, 10},
    { 6, L"浏览器默认下载工具", kSensitive, 0x08, 2, 1},
    { 7, L"浏览器插件", kSensitive, 0x08, 3, 50},
    { 8, L"浏览器右键菜单", &typeid(RCAvEnumIEPopUpMenu), 0x08, 2, 10},
    { 9, L"浏览器动态组件", kSensitive, 0x08, 2, 15},
    {10, L"进程预加载项", &typeid(RCAvEnumProcessPreload), 0x08, 2, 1},
    {11, L"旧版操作系统启动项", &typeid(RCAvEnumOldOsLoad), 0x08, 2, 1},
    {12, L"系统右键菜单", kSensitive, 0x10, 5, 50},
    {13, L"运行框程序关联", &typeid(RCAvEnumAppPath), 0x10, 8, 100},
    {14, L"文件关联", &typeid(RCAvEnumFileAssociate), 0x10, 20, 1000},
    {15, L"开机启动项", &typeid(RCAvEnumStartUp), 0x10, 3, 20},
    {16, L"系统敏感启动项", kSensitive, 0x10, 8, 100},
    {17, L"系统内存", &typeid(RCAvEnumMemFile), 0x01, 18, 1000},
    {18, L"驱动", &typeid(RCAvEnumDriver), 0x02, 12, 100},
    {19, L"服务", &typeid(RCAvEnumService), 0x02, 12, 100},
    {20, L"快捷方式", &typeid(RCAvEnumLocalLnkFile), 0x40, 10, 500},
    {21, L"常用软件", kLocalFile, 0x04, 60, 20000},
    {22, L"常用位置", kLocalFile, 0x04, 10, 100},
    {23, L"系统关键位置", kLocalFile, 0x04, 30, 5000},
    {24, L"计划任务", &typeid(RCAvEnumSystemTask), 0x20, 2, 1},
    {25, L"全部磁盘文件", kLocalFile, 0x100, 100, 50000},
    {26, L"自定义扫描项", kLocalFile, 0x200, 72, 0},
    {27, L"文件系统监控", nullptr, 0, 0, 0},
    {28, L"下载监控", nullptr, 0, 0, 0},
    {29, L"聊天监控", nullptr, 0, 0, 0},
    {30, L"移动设备监控", nullptr, 0, 0, 0},
    {31, L"RPC网络远程调用协议", kSensitive, 0x08, 3, 50},
    {32, L"LSA本地安全策略", kSensitive, 0x08, 2, 10},
    {33, L"Winsock网络连接服务(LSP)", kSensitive, 0x08, 2, 10},
    {34, L"DOS虚拟机程序", kSensitive, 0x08, 2, 10},
    {35, L"系统动态组件", kSensitive, 0x08, 2, 10},
    {36, L"浏览器通信协议", kSensitive, 0x08, 2, 10},
    {37, L"默认加载库", kSensitive, 0x08, 2, 10},
    {38, L"禁用的启动项", kSensitive, 0x08, 2, 10},
    {39, L"命令行工具", kSensitive, 0x08, 2, 10},
    {40, L"终端服务", kSensitive, 0x08, 2, 10},
    {41, L"系统登录界面", kSensitive, 0x08, 2, 10},
    {42, L"系统登录管理", kSensitive, 0x08, 2, 10},
    {43, L"登录对话框设置", kSensitive, 0x08, 2, 10},
    {44, L"默认任务管理器", kSensitive, 0x08, 2, 10},
    {45, L"默认屏幕保护程序", kSensitive, 0x08, 2, 10},
};
// clang-format on

// The registry-sensitive group as every plan with it begins.
const std::vector<int32_t> kSensitiveOrder = {1,  10, 11, 3,  4,  5,  2,  6,  9,  8,  7,  36, 0, 31,
                                              32, 33, 34, 35, 37, 38, 39, 40, 41, 42, 43, 44, 45};

std::vector<int32_t> Concat(std::vector<int32_t> head, std::initializer_list<int32_t> tail)
{
    head.insert(head.end(), tail);
    return head;
}

} // namespace

// Each scan type's items in order; together the plans hold every item that
// has an enumerator, each of its item's class with its identity and figures.
TEST(RCScanPlan, EachScanTypeGivesItsItemsInOrderEachWithItsNameClassGroupAndFigures)
{
    const std::vector<int32_t> quickOrder =
        Concat(kSensitiveOrder, {24, 15, 16, 12, 13, 19, 18, 17, 20, 14, 23, 22, 21});
    const std::vector<int32_t> fullOrder = Concat(kSensitiveOrder, {24, 15, 16, 12, 13, 19, 18, 17, 20, 14, 25});
    // clang-format off
    const std::pair<ScanType, std::vector<int32_t>> cases[] = {
        {ScanType::Quick, quickOrder}, {ScanType::Full, fullOrder}, {ScanType::Custom, {26}}, {ScanType::CustomToo, {26}},
        {ScanType::Memory, {17}},      {ScanType{0}, {}},           {ScanType{6}, {}},       {ScanType{0xFFFFFFFF}, {}},
    };
    // clang-format on
    const RCScanPlan plan = PlanOf({{L'C', DRIVE_FIXED}}, true);
    std::map<int32_t, RCScanPlan::Item> items;
    for (const auto& [scanType, expected] : cases) {
        std::vector<int32_t> order;
        for (const RCScanPlan::Item& item : Build(plan, scanType, {L"C:\\x"}))
            order.push_back(item.showType), items[item.showType] = item;
        EXPECT_EQ(expected, order) << "scan type " << WireValue(scanType);
    }
    for (const ItemRow& row : kItems) {
        SCOPED_TRACE("show type " + std::to_string(row.showType));
        EXPECT_EQ(row.name, RCScanPlan::DisplayName(row.showType));
        ASSERT_EQ(row.kind ? 1u : 0u, items.count(row.showType));
        if (!row.kind)
            continue;
        RCRefPtr<IAvEnumFile> enumerator = RCScanPlan::CreateEnumerator(items[row.showType]);
        ASSERT_TRUE(enumerator);
        EXPECT_EQ(*row.kind, typeid(*enumerator.Get()));
        EXPECT_EQ(row.showType, enumerator->GetShowType());
        EXPECT_EQ(row.group, enumerator->GetScanGroup());
        EXPECT_EQ(row.weight, enumerator->GetItemStats()->weight);
        EXPECT_EQ(row.expected, enumerator->GetItemStats()->expected);
    }
    EXPECT_EQ(std::size(kItems), items.size() + 4);
    EXPECT_EQ(L"", RCScanPlan::DisplayName(46));
}

TEST(RCScanPlan, RootsFollowTheDrivesAndTheBitnessOfTheMachine)
{
    std::wstring windows;
    ASSERT_TRUE(RCGetSpecialFolder(0x24, windows));
    const std::wstring system = Folders({0x25}).at(0);

    // C fixed, D CD-ROM, E removable on 64-bit Windows.
    const RCScanPlan mixed = PlanOf({{L'C', DRIVE_FIXED}, {L'D', DRIVE_CDROM}, {L'E', DRIVE_REMOVABLE}}, true);
    const std::vector<RCScanPlan::Item> quick = Build(mixed, ScanType::Quick);
    EXPECT_EQ(std::vector<std::wstring>({L"C:\\Program Files", L"C:\\Program Files (x86)"}), Find(quick, 21)->roots);
    EXPECT_EQ(std::vector<std::wstring>({windows + L"\\System", windows + L"\\SysWow64", system}),
              Find(quick, 23)->roots);
    std::vector<std::wstring> common = Folders({0x10, 0x05, 0x19, 0x2E});
    common.push_back(L"C:\\Drivers");
    EXPECT_EQ(common, Find(quick, 22)->roots);
    EXPECT_EQ(Folders({0x10, 0x19, 0x0B, 0x16}), Find(quick, 20)->roots);
    EXPECT_TRUE(Find(quick, 1)->roots.empty());
    EXPECT_EQ(std::vector<std::wstring>({L"C:\\", L"E:\\"}), Find(Build(mixed, ScanType::Full), 25)->roots);

    // 32-bit Windows; A and B are never scanned whatever they are.
    const RCScanPlan old = PlanOf(
        {{L'A', DRIVE_FIXED}, {L'B', DRIVE_REMOVABLE}, {L'C', DRIVE_FIXED}, {L'Q', DRIVE_REMOTE}, {L'Z', DRIVE_FIXED}},
        false);
    const std::vector<RCScanPlan::Item> oldQuick = Build(old, ScanType::Quick);
    EXPECT_EQ(std::vector<std::wstring>({windows + L"\\System", system}), Find(oldQuick, 23)->roots);
    EXPECT_EQ(std::vector<std::wstring>(
                  {L"C:\\Program Files", L"C:\\Program Files (x86)", L"Z:\\Program Files", L"Z:\\Program Files (x86)"}),
              Find(oldQuick, 21)->roots);
    EXPECT_EQ(std::vector<std::wstring>({L"C:\\", L"Z:\\"}), Find(Build(old, ScanType::Full), 25)->roots);

    // Custom paths: the non-empty ones in order; none at all is still an item.
    EXPECT_EQ(std::vector<std::wstring>({L"D:\\b", L"C:\\a"}),
              Build(old, ScanType::CustomToo, {L"D:\\b", L"", L"C:\\a"}).at(0).roots);
    const std::vector<RCScanPlan::Item> empty = Build(old, ScanType::Custom);
    ASSERT_EQ(1u, empty.size());
    EXPECT_TRUE(empty[0].roots.empty());
}
