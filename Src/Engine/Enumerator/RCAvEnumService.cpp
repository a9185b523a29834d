#include "Src/Engine/Enumerator/RCAvEnumService.h"

#include <cwchar>
#include <vector>

#include "foundation/RCDebugger.h"
#include "foundation/RCHandles.h"

namespace RC {

namespace {

// Set when the first binary hosted by svchost.exe was reported; never cleared.
uint8_t g_serviceHostReported = 0;

// The fixed part of QUERY_SERVICE_CONFIGW: a configuration no larger than
// that carries no strings worth reading.
constexpr DWORD kServiceConfigFixedBytes = sizeof(QUERY_SERVICE_CONFIGW);
static_assert(kServiceConfigFixedBytes == 36 && sizeof(ENUM_SERVICE_STATUS_PROCESSW) == 44,
              "the manager's records as a 32-bit process sees them");

} // namespace

RCAvEnumService::RCAvEnumService(int32_t, int32_t showType) : RCAvEnumIMPL(kScanGroup, showType) {}

RCAvEnumDriver::RCAvEnumDriver(int32_t scanGroup, int32_t showType) : RCAvEnumService(scanGroup, showType)
{
    serviceTypeMask_ = SERVICE_DRIVER;
}

void RCAvEnumService::EnumImpl()
{
    unique_schandle manager(::OpenSCManagerW(nullptr, nullptr, GENERIC_READ | SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager) {
        RC_LOG(LostWork, L"RCAvEnumService::EnumImpl OpenSCManager failed");
        return;
    }

    DWORD needed = 0;
    DWORD count = 0;
    DWORD resume = 0;
    ::EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, serviceTypeMask_, SERVICE_STATE_ALL, nullptr, 0,
                            &needed, &count, &resume, nullptr);
    if (needed / sizeof(ENUM_SERVICE_STATUS_PROCESSW) == 0)
        return;

    std::vector<BYTE> entries(needed + 1);
    resume = 0;
    if (!::EnumServicesStatusExW(manager.get(), SC_ENUM_PROCESS_INFO, serviceTypeMask_, SERVICE_STATE_ALL,
                                 entries.data(), needed + 1, &needed, &count, &resume, nullptr))
        return;

    const auto* services = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(entries.data());
    for (DWORD i = 0; i < count && !IsStopped(); ++i) {
        unique_schandle service(
            ::OpenServiceW(manager.get(), services[i].lpServiceName, GENERIC_READ | SERVICE_QUERY_CONFIG));
        RC_LOG(Detail, L"RCAvEnumService::EnumImpl servicename = %s, hSCH = %x", services[i].lpServiceName,
               static_cast<unsigned>(reinterpret_cast<uintptr_t>(service.get())));
        if (!service)
            continue;
        DWORD configBytes = 0;
        ::QueryServiceConfigW(service.get(), nullptr, 0, &configBytes);
        if (configBytes <= kServiceConfigFixedBytes)
            continue;
        std::vector<BYTE> buffer(configBytes + 1);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        if (::QueryServiceConfigW(service.get(), config, configBytes + 1, &configBytes)) {
            RC_LOG(Detail, L"RCAvEnumService::EnumImpl scItemName = %s", config->lpBinaryPathName);
            FireServiceBinary(config->lpBinaryPathName);
        }
    }
}

void RCAvEnumService::FireServiceBinary(const wchar_t* path)
{
    if (!path || !*path)
        return;
    // Deliberately case-sensitive: only the host's usual spelling is the host.
    if (std::wcsstr(path, L"svchost.exe")) {
        if (g_serviceHostReported)
            return;
        g_serviceHostReported = 1;
    }
    FireTranslatedPath(path, std::wstring());
}

} // namespace RC
