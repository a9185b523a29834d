#include "Src/Engine/RCScanPlan.h"

#include <algorithm>
#include <iterator>

#include "Src/Engine/Enumerator/RCAvEnumIMPL.h"
#include "Src/Engine/Enumerator/RCAvEnumLocalFile.h"
#include "Src/Engine/Enumerator/RCAvEnumLocalLnkFile.h"
#include "Src/Engine/Enumerator/RCAvEnumMemFile.h"
#include "Src/Engine/Enumerator/RCAvEnumRegistry.h"
#include "Src/Engine/Enumerator/RCAvEnumService.h"
#include "Src/Engine/Enumerator/RCAvEnumSystemTask.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCSystemInfo.h"

namespace RC {

namespace {

using Kind = RCScanPlan::EnumKind;

// Indexed by show type. The names are what the suite shows its users.
const RCScanPlan::ItemInfo kItems[] = {
    /*  0 */ {L"镜像挟持", Kind::kMirrorKidnap, 0x08, 2, 10},
    /*  1 */ {L"组策略启动项", Kind::kSensitive, 0x08, 2, 10},
    /*  2 */ {L"浏览器默认搜索挟持", Kind::kSensitive, 0x08, 2, 1},
    /*  3 */ {L"浏览器工具条", Kind::kSensitive, 0x08, 2, 10},
    /*  4 */ {L"浏览器工具栏按钮", Kind::kSensitive, 0x08, 2, 10},
    /*  5 */ {L"浏览器侧边栏", Kind::kSensitive, 0x08, 2, 10},
    /*  6 */ {L"浏览器默认下载工具", Kind::kSensitive, 0x08, 2, 1},
    /*  7 */ {L"浏览器插件", Kind::kSensitive, 0x08, 3, 50},
    /*  8 */ {L"浏览器右键菜单", Kind::kIEPopUpMenu, 0x08, 2, 10},
    /*  9 */ {L"浏览器动态组件", Kind::kSensitive, 0x08, 2, 15},
    /* 10 */ {L"进程预加载项", Kind::kProcessPreload, 0x08, 2, 1},
    /* 11 */ {L"旧版操作系统启动项", Kind::kOldOsLoad, 0x08, 2, 1},
    /* 12 */ {L"系统右键菜单", Kind::kSensitive, 0x10, 5, 50},
    /* 13 */ {L"运行框程序关联", Kind::kAppPath, 0x10, 8, 100},
    /* 14 */ {L"文件关联", Kind::kFileAssociate, 0x10, 20, 1000},
    /* 15 */ {L"开机启动项", Kind::kStartUp, 0x10, 3, 20},
    /* 16 */ {L"系统敏感启动项", Kind::kSensitive, 0x10, 8, 100},
    /* 17 */ {L"系统内存", Kind::kMemFile, 0x01, 18, 1000},
    /* 18 */ {L"驱动", Kind::kDriver, 0x02, 12, 100},
    /* 19 */ {L"服务", Kind::kService, 0x02, 12, 100},
    /* 20 */ {L"快捷方式", Kind::kLocalLnkFile, 0x40, 10, 500},
    /* 21 */ {L"常用软件", Kind::kLocalFile, 0x04, 60, 20000},
    /* 22 */ {L"常用位置", Kind::kLocalFile, 0x04, 10, 100},
    /* 23 */ {L"系统关键位置", Kind::kLocalFile, 0x04, 30, 5000},
    /* 24 */ {L"计划任务", Kind::kSystemTask, 0x20, 2, 1},
    /* 25 */ {L"全部磁盘文件", Kind::kLocalFile, 0x100, 100, 50000},
    /* 26 */ {L"自定义扫描项", Kind::kLocalFile, 0x200, 72, 0},
    // 27 to 30 are the suite's monitors: named, never scanned here.
    /* 27 */ {L"文件系统监控", Kind::kNone, 0, 0, 0},
    /* 28 */ {L"下载监控", Kind::kNone, 0, 0, 0},
    /* 29 */ {L"聊天监控", Kind::kNone, 0, 0, 0},
    /* 30 */ {L"移动设备监控", Kind::kNone, 0, 0, 0},
    /* 31 */ {L"RPC网络远程调用协议", Kind::kSensitive, 0x08, 3, 50},
    /* 32 */ {L"LSA本地安全策略", Kind::kSensitive, 0x08, 2, 10},
    /* 33 */ {L"Winsock网络连接服务(LSP)", Kind::kSensitive, 0x08, 2, 10},
    /* 34 */ {L"DOS虚拟机程序", Kind::kSensitive, 0x08, 2, 10},
    /* 35 */ {L"系统动态组件", Kind::kSensitive, 0x08, 2, 10},
    /* 36 */ {L"浏览器通信协议", Kind::kSensitive, 0x08, 2, 10},
    /* 37 */ {L"默认加载库", Kind::kSensitive, 0x08, 2, 10},
    /* 38 */ {L"禁用的启动项", Kind::kSensitive, 0x08, 2, 10},
    /* 39 */ {L"命令行工具", Kind::kSensitive, 0x08, 2, 10},
    /* 40 */ {L"终端服务", Kind::kSensitive, 0x08, 2, 10},
    /* 41 */ {L"系统登录界面", Kind::kSensitive, 0x08, 2, 10},
    /* 42 */ {L"系统登录管理", Kind::kSensitive, 0x08, 2, 10},
    /* 43 */ {L"登录对话框设置", Kind::kSensitive, 0x08, 2, 10},
    /* 44 */ {L"默认任务管理器", Kind::kSensitive, 0x08, 2, 10},
    /* 45 */ {L"默认屏幕保护程序", Kind::kSensitive, 0x08, 2, 10},
};

// The groups in the order a plan tests them, each with its items in
// creation order. File associations come with the shortcuts.
struct GroupStep {
    uint32_t group;
    std::vector<int32_t> showTypes;
};

const GroupStep kSteps[] = {
    {0x08, {1, 10, 11, 3, 4, 5, 2, 6, 9, 8, 7, 36, 0, 31, 32, 33, 34, 35, 37, 38, 39, 40, 41, 42, 43, 44, 45}},
    {0x20, {24}},
    {0x10, {15, 16, 12, 13}},
    {0x02, {19, 18}},
    {0x01, {17}},
    {0x40, {20, 14}},
    {0x04, {23, 22, 21}},
    {0x100, {25}},
    {0x200, {26}},
};

constexpr int kDesktop = 0x10;
constexpr int kCommonDesktop = 0x19;
constexpr int kStartMenu = 0x0B;
constexpr int kCommonStartMenu = 0x16;
constexpr int kDocuments = 0x05;
constexpr int kCommonDocuments = 0x2E;
constexpr int kWindows = 0x24;
constexpr int kSystem = 0x25;

std::wstring SpecialFolder(int csidl)
{
    std::wstring path;
    return RCGetSpecialFolder(csidl, path) ? path : std::wstring();
}

std::vector<std::wstring> SpecialFolders(std::initializer_list<int> ids)
{
    std::vector<std::wstring> roots;
    for (int id : ids)
        roots.push_back(SpecialFolder(id));
    return roots;
}

template <class FileEnum>
RCAvEnumIMPL* NewFileEnumerator(const RCScanPlan::Item& item)
{
    FileEnum* enumerator = new FileEnum(item.scanGroup, item.showType);
    for (const std::wstring& root : item.roots)
        enumerator->AddPath(root);
    return enumerator;
}

// The one place that maps an item's class to its enumerator.
RCAvEnumIMPL* NewEnumerator(const RCScanPlan::Item& item)
{
    const int32_t scanGroup = item.scanGroup;
    const int32_t showType = item.showType;
    switch (item.kind) {
    case Kind::kLocalFile:
        return NewFileEnumerator<RCAvEnumLocalFile>(item);
    case Kind::kLocalLnkFile:
        return NewFileEnumerator<RCAvEnumLocalLnkFile>(item);
    case Kind::kMirrorKidnap:
        return new RCAvEnumMirrorKidnap(scanGroup, showType);
    case Kind::kSensitive:
        return new RCAvEnumSensitive(scanGroup, showType);
    case Kind::kIEPopUpMenu:
        return new RCAvEnumIEPopUpMenu(scanGroup, showType);
    case Kind::kProcessPreload:
        return new RCAvEnumProcessPreload(scanGroup, showType);
    case Kind::kOldOsLoad:
        return new RCAvEnumOldOsLoad(scanGroup, showType);
    case Kind::kAppPath:
        return new RCAvEnumAppPath(scanGroup, showType);
    case Kind::kFileAssociate:
        return new RCAvEnumFileAssociate(scanGroup, showType);
    case Kind::kStartUp:
        return new RCAvEnumStartUp(scanGroup, showType);
    case Kind::kMemFile:
        return new RCAvEnumMemFile(scanGroup, showType);
    case Kind::kDriver:
        return new RCAvEnumDriver(scanGroup, showType);
    case Kind::kService:
        return new RCAvEnumService(scanGroup, showType);
    case Kind::kSystemTask:
        return new RCAvEnumSystemTask(scanGroup, showType);
    case Kind::kNone:
        break;
    }
    return nullptr;
}

} // namespace

RCScanPlan::RCScanPlan()
    : RCScanPlan(System{[](const std::wstring& root) { return GetDriveTypeW(root.c_str()); }, &RCIs64BitOs})
{
}

RCScanPlan::RCScanPlan(System system) : system_(std::move(system)) {}

uint32_t RCScanPlan::GroupMask(ScanType scanType)
{
    switch (scanType) {
    case ScanType::Quick:
        return 0x7F;
    case ScanType::Full:
        return 0x17B;
    case ScanType::Custom:
    case ScanType::CustomToo:
        return 0x200;
    case ScanType::Memory:
        return 0x01;
    }
    return 0;
}

const RCScanPlan::ItemInfo* RCScanPlan::Info(int32_t showType)
{
    if (showType < 0 || showType >= static_cast<int32_t>(std::size(kItems)))
        return nullptr;
    return &kItems[showType];
}

std::wstring RCScanPlan::DisplayName(int32_t showType)
{
    const ItemInfo* info = Info(showType);
    return info != nullptr ? info->displayName : std::wstring();
}

std::vector<RCScanPlan::Item> RCScanPlan::Build(const ScanTypeInfo& info) const
{
    std::vector<Item> plan;
    const uint32_t mask = GroupMask(info.scanType);
    for (const GroupStep& step : kSteps) {
        if ((mask & step.group) == 0)
            continue;
        for (int32_t showType : step.showTypes) {
            switch (showType) {
            case kShortcutsShowType:
                AddItem(plan, showType, SpecialFolders({kDesktop, kCommonDesktop, kStartMenu, kCommonStartMenu}));
                break;
            case kKeySystemFoldersShowType:
                AddItem(plan, showType, SystemFolderRoots());
                break;
            case kCommonLocationsShowType: {
                std::vector<std::wstring> roots =
                    SpecialFolders({kDesktop, kDocuments, kCommonDesktop, kCommonDocuments});
                roots.push_back(L"C:\\Drivers");
                AddItem(plan, showType, std::move(roots));
                break;
            }
            case kCommonSoftwareShowType:
                AddItem(plan, showType, ProgramFilesRoots());
                break;
            case kAllDisksShowType:
                AddItem(plan, showType, DiskRoots());
                break;
            case kCustomPathsShowType:
                AddItem(plan, showType, info.customPaths);
                break;
            default:
                AddItem(plan, showType);
                break;
            }
        }
    }
    return plan;
}

void RCScanPlan::AddItem(std::vector<Item>& plan, int32_t showType, std::vector<std::wstring> roots) const
{
    const ItemInfo& info = kItems[showType];
    Item item;
    item.showType = showType;
    item.kind = info.kind;
    item.scanGroup = info.scanGroup;
    item.weight = info.weight;
    item.expected = info.expected;
    for (std::wstring& root : roots)
        if (!root.empty())
            item.roots.push_back(std::move(root));
    plan.push_back(std::move(item));
}

std::vector<std::wstring> RCScanPlan::SystemFolderRoots() const
{
    std::vector<std::wstring> roots;
    const std::wstring windows = SpecialFolder(kWindows);
    if (!windows.empty()) {
        roots.push_back(windows + L"\\System");
        if (system_.is64BitOs && system_.is64BitOs())
            roots.push_back(windows + L"\\SysWow64");
    }
    roots.push_back(SpecialFolder(kSystem));
    return roots;
}

std::vector<std::wstring> RCScanPlan::ProgramFilesRoots() const
{
    std::vector<std::wstring> roots;
    for (const std::wstring& root : DriveRoots({DRIVE_FIXED})) {
        const std::wstring programFiles = root + L"Program Files";
        roots.push_back(programFiles);
        roots.push_back(programFiles + L" (x86)");
    }
    return roots;
}

std::vector<std::wstring> RCScanPlan::DiskRoots() const
{
    return DriveRoots({DRIVE_FIXED, DRIVE_REMOVABLE});
}

std::vector<std::wstring> RCScanPlan::DriveRoots(std::initializer_list<UINT> types) const
{
    std::vector<std::wstring> roots;
    for (wchar_t letter = L'C'; letter <= L'Z'; ++letter) {
        std::wstring root = L"C:\\";
        root[0] = letter;
        const UINT type = system_.driveType ? system_.driveType(root) : DRIVE_UNKNOWN;
        if (std::find(types.begin(), types.end(), type) != types.end())
            roots.push_back(root);
    }
    return roots;
}

RCRefPtr<IAvEnumFile> RCScanPlan::CreateEnumerator(const Item& item)
{
    RCRefPtr<IAvEnumFile> enumerator(NewEnumerator(item));
    if (!enumerator)
        return enumerator;
    ItemStats* stats = enumerator->GetItemStats();
    stats->weight = item.weight;
    stats->expected = item.expected;
    return enumerator;
}

} // namespace RC
