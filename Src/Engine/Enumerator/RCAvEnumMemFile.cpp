#include "Src/Engine/Enumerator/RCAvEnumMemFile.h"

#include <vector>

#include "foundation/RCHandles.h"
#include "foundation/RCNonCopyable.h"
#include "foundation/RCProcessInfo.h"
#include "foundation/RCProcessList.h"

namespace RC {

namespace {

std::wstring LowerCase(const std::wstring& text)
{
    std::wstring lower = text;
    if (!lower.empty())
        ::CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    return lower;
}

// The privilege for the length of one walk, however the walk ends.
class DebugPrivilege : private RCNonCopyable {
public:
    DebugPrivilege() { RCAvEnumMemFile::EnableDebugPrivilege(true); }
    ~DebugPrivilege() { RCAvEnumMemFile::EnableDebugPrivilege(false); }
};

} // namespace

RCAvEnumMemFile::RCAvEnumMemFile(int32_t, int32_t showType) : RCAvEnumIMPL(kScanGroup, showType) {}

void RCAvEnumMemFile::EnumImpl()
{
    const DebugPrivilege privilege;
    WalkModules();
}

void RCAvEnumMemFile::WalkModules()
{
    RCProcessList processes;
    processes.Refresh();
    std::set<std::wstring> seen;
    std::vector<std::wstring> modules;
    for (const RCProcessEntry& process : processes) {
        if (IsStopped())
            return;
        if (!RCGetProcessModules(process.processId, modules))
            continue;
        for (const std::wstring& module : modules) {
            if (!FireModuleOnce(module, seen))
                return;
        }
    }
}

bool RCAvEnumMemFile::FireModuleOnce(const std::wstring& path, std::set<std::wstring>& seen)
{
    std::wstring lower = LowerCase(path);
    if (seen.count(lower))
        return !IsStopped();
    // The sink sees the letter case of the first process that showed the file.
    if (!FireFileEnumEvent(path, std::wstring()))
        return false;
    seen.insert(std::move(lower));
    return !IsStopped();
}

void RCAvEnumMemFile::EnableDebugPrivilege(bool enable)
{
    unique_handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put()))
        return;
    TOKEN_PRIVILEGES privileges = {};
    if (!::LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &privileges.Privileges[0].Luid))
        return;
    privileges.PrivilegeCount = 1;
    // Removed rather than disabled: the process keeps no debug right between walks.
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : SE_PRIVILEGE_REMOVED;
    ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}

} // namespace RC
