// The scan plan against machines the test describes: drive types and the
// bitness of Windows come through the plan's system seam; special folders
// are the prefix's own.
#include <gtest/gtest.h>

#include <map>

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

std::vector<RCScanPlan::Item> Build(const RCScanPlan& plan, int32_t scanType, std::vector<std::wstring> paths = {})
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

// The registry-sensitive group as every plan with it begins.
const std::vector<int32_t> kSensitiveOrder = {1,  10, 11, 3,  4,  5,  2,  6,  9,  8,  7,  36, 0, 31,
                                              32, 33, 34, 35, 37, 38, 39, 40, 41, 42, 43, 44, 45};

std::vector<int32_t> Concat(std::vector<int32_t> head, std::initializer_list<int32_t> tail)
{
    head.insert(head.end(), tail);
    return head;
}

} // namespace

TEST(RCScanPlan, EachScanTypeGivesItsItemsInOrderEachWithAnEnumerator)
{
    const std::vector<int32_t> quickOrder = Concat(kSensitiveOrder, {24, 15, 16, 12, 13, 19, 18, 17, 20, 14, 23, 22, 21});
    const std::vector<int32_t> fullOrder = Concat(kSensitiveOrder, {24, 15, 16, 12, 13, 19, 18, 17, 20, 14, 25});
    const std::pair<int32_t, std::vector<int32_t>> cases[] = {
        {1, quickOrder}, {2, fullOrder}, {3, {26}}, {4, {26}}, {5, {17}}, {0, {}}, {6, {}}, {-1, {}},
    };
    const RCScanPlan plan = PlanOf({{L'C', DRIVE_FIXED}}, true);
    for (const auto& [scanType, expected] : cases) {
        std::vector<int32_t> order;
        for (const RCScanPlan::Item& item : Build(plan, scanType, {L"C:\\x"}))
            order.push_back(item.showType);
        EXPECT_EQ(expected, order) << "scan type " << scanType;
    }

    // Every item of a quick, full and custom scan has an enumerator that
    // carries its identity and figures.
    std::vector<RCScanPlan::Item> items = Build(plan, 1);
    items.push_back(*Find(Build(plan, 2), 25));
    items.push_back(Build(plan, 3).at(0));
    for (const RCScanPlan::Item& item : items) {
        SCOPED_TRACE("show type " + std::to_string(item.showType));
        RCRefPtr<IAvEnumFile> enumerator = RCScanPlan::CreateEnumerator(item);
        ASSERT_TRUE(enumerator);
        EXPECT_EQ(item.showType, enumerator->GetShowType());
        EXPECT_EQ(item.scanGroup, enumerator->GetScanGroup());
        EXPECT_EQ(item.weight, enumerator->GetItemStats()->weight);
        EXPECT_EQ(item.expected, enumerator->GetItemStats()->expected);
    }
}

TEST(RCScanPlan, RootsFollowTheDrivesAndTheBitnessOfTheMachine)
{
    std::wstring windows;
    ASSERT_TRUE(RCGetSpecialFolder(0x24, windows));
    const std::wstring system = Folders({0x25}).at(0);

    // C fixed, D CD-ROM, E removable on 64-bit Windows.
    const RCScanPlan mixed = PlanOf({{L'C', DRIVE_FIXED}, {L'D', DRIVE_CDROM}, {L'E', DRIVE_REMOVABLE}}, true);
    const std::vector<RCScanPlan::Item> quick = Build(mixed, 1);
    EXPECT_EQ(std::vector<std::wstring>({L"C:\\Program Files", L"C:\\Program Files (x86)"}), Find(quick, 21)->roots);
    EXPECT_EQ(std::vector<std::wstring>({windows + L"\\System", windows + L"\\SysWow64", system}),
              Find(quick, 23)->roots);
    std::vector<std::wstring> common = Folders({0x10, 0x05, 0x19, 0x2E});
    common.push_back(L"C:\\Drivers");
    EXPECT_EQ(common, Find(quick, 22)->roots);
    EXPECT_EQ(Folders({0x10, 0x19, 0x0B, 0x16}), Find(quick, 20)->roots);
    EXPECT_TRUE(Find(quick, 1)->roots.empty());
    EXPECT_EQ(std::vector<std::wstring>({L"C:\\", L"E:\\"}), Find(Build(mixed, 2), 25)->roots);

    // 32-bit Windows; A and B are never scanned whatever they are.
    const RCScanPlan old = PlanOf({{L'A', DRIVE_FIXED}, {L'B', DRIVE_REMOVABLE}, {L'C', DRIVE_FIXED},
                                   {L'Q', DRIVE_REMOTE}, {L'Z', DRIVE_FIXED}}, false);
    const std::vector<RCScanPlan::Item> oldQuick = Build(old, 1);
    EXPECT_EQ(std::vector<std::wstring>({windows + L"\\System", system}), Find(oldQuick, 23)->roots);
    EXPECT_EQ(std::vector<std::wstring>({L"C:\\Program Files", L"C:\\Program Files (x86)", L"Z:\\Program Files",
                                         L"Z:\\Program Files (x86)"}),
              Find(oldQuick, 21)->roots);
    EXPECT_EQ(std::vector<std::wstring>({L"C:\\", L"Z:\\"}), Find(Build(old, 2), 25)->roots);

    // Custom paths: the non-empty ones in order; none at all is still an item.
    EXPECT_EQ(std::vector<std::wstring>({L"D:\\b", L"C:\\a"}), Build(old, 4, {L"D:\\b", L"", L"C:\\a"}).at(0).roots);
    const std::vector<RCScanPlan::Item> empty = Build(old, 3);
    ASSERT_EQ(1u, empty.size());
    EXPECT_TRUE(empty[0].roots.empty());
}
