#include "foundation/RCSystemInfo.h"

#include "foundation/RCModuleCache.h"

#include <cstddef>

namespace {

// Kernel32's own image header carries the true version. The module is mapped
// by the loader, so its headers are readable; the offsets are still checked,
// since this compiler has no structured-exception guard to fall back on.
bool ReadKernelVersion(DWORD& major, DWORD& minor)
{
    HMODULE kernel = ::GetModuleHandleW(L"Kernel32.dll");
    if (!kernel)
        return false;
    const auto* base = reinterpret_cast<const unsigned char*>(kernel);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0 || dos->e_lfanew > 0x1000)
        return false;
    MEMORY_BASIC_INFORMATION region = {};
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (!::VirtualQuery(nt, &region, sizeof(region)) || region.State != MEM_COMMIT)
        return false;
    const auto* regionEnd = static_cast<const unsigned char*>(region.BaseAddress) + region.RegionSize;
    if (reinterpret_cast<const unsigned char*>(nt) + sizeof(IMAGE_NT_HEADERS) > regionEnd ||
        nt->Signature != IMAGE_NT_SIGNATURE)
        return false;
    major = nt->OptionalHeader.MajorOperatingSystemVersion;
    minor = nt->OptionalHeader.MinorOperatingSystemVersion;
    return true;
}

} // namespace

bool RCGetReportedOsVersion(OSVERSIONINFOEXW& version)
{
    OSVERSIONINFOEXW reported = {};
    reported.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&reported)))
        return false;
#pragma GCC diagnostic pop
    version = reported;
    return true;
}

bool RCGetOsVersion(OSVERSIONINFOEXW& version)
{
    version = OSVERSIONINFOEXW{};
    if (!RCGetReportedOsVersion(version))
        return false;

    if (version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 2)) {
        DWORD major = 0;
        DWORD minor = 0;
        if (ReadKernelVersion(major, minor) && major >= 5) {
            version.dwMajorVersion = major;
            version.dwMinorVersion = minor;
        }
    }
    return true;
}

bool RCIsWin8OrLater()
{
    OSVERSIONINFOEXW version;
    if (!RCGetOsVersion(version))
        return false;
    return version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 2);
}

bool RCIs64BitOs()
{
    using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);
    auto getInfo = RCModuleCache::GetProc<GetNativeSystemInfoFn>(L"Kernel32.dll", "GetNativeSystemInfo");
    if (!getInfo)
        return false;
    SYSTEM_INFO info = {};
    getInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

bool RCIsWow64Process(HANDLE process)
{
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, BOOL*);
    if (!process || !RCIs64BitOs())
        return false;
    auto isWow64 = RCModuleCache::GetProc<IsWow64ProcessFn>(L"Kernel32.dll", "IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(process, &wow64) && wow64;
}

bool RCIsWow64()
{
    return RCIsWow64Process(::GetCurrentProcess());
}
