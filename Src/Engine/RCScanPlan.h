#pragma once
// Turns a scan type into the run's scan items: which enumerators, in which
// order, with which scan group, progress weight, expected file count and, for
// the file-system items, root paths. The item table itself (display names and
// all) is data in RCScanPlan.cpp.
//
// The plan asks the system two questions, the type of a drive and whether
// Windows is 64-bit; both go through System so that a test can present any
// machine. Building a plan has no other state: any thread may do it.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "Src/Engine/Enumerator/IAvEnumFile.h"
#include "Src/Engine/ScanTypeInfo.h"
#include "foundation/RCRefPtr.h"

namespace RC {

class RCScanPlan {
public:
    // The enumerator class of an item.
    enum class EnumKind {
        kNone,
        kMirrorKidnap,
        kSensitive,
        kIEPopUpMenu,
        kProcessPreload,
        kOldOsLoad,
        kAppPath,
        kFileAssociate,
        kStartUp,
        kMemFile,
        kDriver,
        kService,
        kLocalLnkFile,
        kLocalFile,
        kSystemTask,
    };

    // One row of the item table, indexed by show type.
    struct ItemInfo {
        const wchar_t* displayName;
        EnumKind kind;
        int32_t scanGroup;
        uint32_t weight;
        uint32_t expected;
    };

    // One item of a plan, ready to become an enumerator.
    struct Item {
        int32_t showType = 0;
        EnumKind kind = EnumKind::kNone;
        int32_t scanGroup = 0;
        uint32_t weight = 0;
        uint32_t expected = 0;
        std::vector<std::wstring> roots;
    };

    struct System {
        std::function<UINT(const std::wstring& root)> driveType; // GetDriveTypeW's answer
        std::function<bool()> is64BitOs;
    };

    // The real machine.
    RCScanPlan();
    explicit RCScanPlan(System system);

    // In creation order; empty for a scan type outside 1..5.
    std::vector<Item> Build(const ScanTypeInfo& info) const;

    static uint32_t GroupMask(ScanType scanType);
    // Null for a show type outside the table.
    static const ItemInfo* Info(int32_t showType);
    // Empty for a show type outside the table.
    static std::wstring DisplayName(int32_t showType);
    // The enumerator of an item with its roots, weight and expected count;
    // null for an item without an enumerator class.
    static RCRefPtr<IAvEnumFile> CreateEnumerator(const Item& item);

private:
    void AddItem(std::vector<Item>& plan, int32_t showType, std::vector<std::wstring> roots = {}) const;
    std::vector<std::wstring> SystemFolderRoots() const;
    std::vector<std::wstring> ProgramFilesRoots() const;
    std::vector<std::wstring> DiskRoots() const;
    // The roots of the drives C to Z whose type is one of these.
    std::vector<std::wstring> DriveRoots(std::initializer_list<UINT> types) const;

    System system_;
};

} // namespace RC
