#include "foundation/RCProcessInfo.h"

#include "foundation/RCHandles.h"
#include "foundation/RCModuleCache.h"
#include "foundation/RCString.h"
#include "foundation/RCSystemInfo.h"

#include <tlhelp32.h>

namespace {

constexpr DWORD kModulePathChars = 520;

// "\Device\HarddiskVolume2\x.exe" → "C:\x.exe", by the drive whose device
// target is a prefix of the path.
std::wstring DevicePathToDrivePath(const std::wstring& devicePath)
{
    wchar_t drive[3] = L"A:";
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        drive[0] = letter;
        wchar_t target[MAX_PATH] = {};
        if (!::QueryDosDeviceW(drive, target, MAX_PATH))
            continue;
        const size_t length = wcslen(target);
        if (length == 0 || devicePath.size() <= length || devicePath[length] != L'\\')
            continue;
        if (RCCompareNoCase(devicePath.c_str(), target, length) == 0)
            return std::wstring(drive) + devicePath.substr(length);
    }
    return std::wstring();
}

std::wstring QueryFullImageName(HANDLE process)
{
    using QueryFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
    auto query = RCModuleCache::GetProc<QueryFn>(L"Kernel32.dll", "QueryFullProcessImageNameW");
    if (!query)
        return std::wstring();
    wchar_t buffer[kModulePathChars] = {};
    DWORD size = kModulePathChars;
    return query(process, 0, buffer, &size) && size > 0 ? std::wstring(buffer, size) : std::wstring();
}

std::wstring QueryImageFileName(HANDLE process)
{
    using QueryFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD);
    auto query = RCModuleCache::GetProc<QueryFn>(L"Psapi.dll", "GetProcessImageFileNameW");
    if (!query)
        return std::wstring();
    wchar_t buffer[kModulePathChars] = {};
    const DWORD n = query(process, buffer, kModulePathChars);
    return n > 0 && n < kModulePathChars ? DevicePathToDrivePath(std::wstring(buffer, n)) : std::wstring();
}

std::wstring QueryModuleFileName(HANDLE process)
{
    using QueryFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
    auto query = RCModuleCache::GetProc<QueryFn>(L"Psapi.dll", "GetModuleFileNameExW");
    if (!query)
        return std::wstring();
    wchar_t buffer[kModulePathChars] = {};
    const DWORD n = query(process, nullptr, buffer, kModulePathChars);
    return n > 0 && n < kModulePathChars ? std::wstring(buffer, n) : std::wstring();
}

} // namespace

bool RCGetProcessModules(DWORD processId, std::vector<std::wstring>& modules)
{
    using FileNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
    using SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
    using WalkFn = BOOL(WINAPI*)(HANDLE, MODULEENTRY32W*);

    modules.clear();
    auto fileName = RCModuleCache::GetProc<FileNameFn>(L"Psapi.dll", "GetModuleFileNameExW");
    auto snapshotFn = RCModuleCache::GetProc<SnapshotFn>(L"Kernel32.dll", "CreateToolhelp32Snapshot");
    auto firstFn = RCModuleCache::GetProc<WalkFn>(L"Kernel32.dll", "Module32FirstW");
    auto nextFn = RCModuleCache::GetProc<WalkFn>(L"Kernel32.dll", "Module32NextW");
    if (!fileName || !snapshotFn || !firstFn || !nextFn)
        return false;

    RC::unique_handle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process)
        return false;
    RC::unique_snapshot snapshot(snapshotFn(TH32CS_SNAPMODULE, processId));
    if (!snapshot)
        return false;

    MODULEENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = firstFn(snapshot.get(), &entry); more; more = nextFn(snapshot.get(), &entry)) {
        if (entry.szModule[0] == L'\0')
            continue;
        wchar_t path[kModulePathChars] = {};
        const DWORD n = fileName(process.get(), entry.hModule, path, kModulePathChars);
        if (n >= 1 && n < kModulePathChars)
            modules.emplace_back(path, n);
    }
    return true;
}

std::wstring RCGetProcessImagePath(DWORD processId)
{
    if (processId == 0)
        return std::wstring();
    OSVERSIONINFOEXW version;
    const bool vistaOrLater = RCGetOsVersion(version) && version.dwMajorVersion >= 6;
    const DWORD access = vistaOrLater ? PROCESS_QUERY_LIMITED_INFORMATION : PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
    RC::unique_handle process(::OpenProcess(access, FALSE, processId));
    if (!process)
        return std::wstring();

    std::wstring path = QueryFullImageName(process.get());
    if (path.empty())
        path = QueryImageFileName(process.get());
    if (path.empty())
        path = QueryModuleFileName(process.get());
    return path;
}
