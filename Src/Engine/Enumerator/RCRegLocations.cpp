#include "Src/Engine/Enumerator/RCRegLocations.h"

namespace RC {

namespace {

using R = RCRegReader;
using K = RCRegRead;

const HKEY HKLM = HKEY_LOCAL_MACHINE;
const HKEY HKCU = HKEY_CURRENT_USER;
const HKEY HKCR = HKEY_CLASSES_ROOT;

#define KIVO_WINLOGON L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"
#define KIVO_TS_INSTALL                                                                                                \
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\"
#define KIVO_SERVICES L"System\\CurrentControlSet\\Services\\"

// clang-format off
const RCRegLocation kLocations[] = {
    // The enumerators with fixed keys.
    {R::StartUp,        0, K::ValueData,  HKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", {}},
    {R::AppPath,        0, K::SubKeyText, HKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths", {L""}},
    {R::FileAssociate,  0, K::ClassVerbs, HKLM, L"SOFTWARE\\Classes", {L"open", L"play", L"openas"}},
    {R::FileAssociate,  0, K::ClassVerbs, HKCU, L"SOFTWARE\\Classes", {L"open", L"play", L"openas"}},
    {R::IEPopUpMenu,    0, K::SubKeyText, HKCU, L"Software\\Microsoft\\Internet Explorer\\MenuExt", {L""}},
    {R::MirrorKidnap,   0, K::SubKeyText, HKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Image File Execution Options", {L"Debugger"}},
    {R::ProcessPreload, 0, K::KeyText,    HKLM, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", {L"AppInit_DLLs"}},
    {R::OldOsLoad,      0, K::KeyText,    HKCU, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", {L"Load"}},

    // The sensitive items, by show type.
    {R::Sensitive,  1, K::ValueData,    HKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer\\Run", {}},
    {R::Sensitive,  2, K::ValueNames,   HKCU, L"SOFTWARE\\Microsoft\\Internet Explorer\\URLSearchHooks", {}},
    {R::Sensitive,  3, K::ValueNames,   HKLM, L"Software\\Microsoft\\Internet Explorer\\Toolbar", {}},
    {R::Sensitive,  4, K::SubKeyValues, HKLM, L"SOFTWARE\\Microsoft\\Internet Explorer\\Extensions", {L"Exec", L"CLSID", L"ClsidExtension"}},
    {R::Sensitive,  5, K::ClassSubKeys, HKLM, L"SOFTWARE\\Microsoft\\Internet Explorer\\Explorer Bars", {}},
    {R::Sensitive,  6, K::Value,        HKLM, L"SOFTWARE\\Microsoft\\Internet Explorer", {L"DownloadUI"}},
    {R::Sensitive,  7, K::ClassSubKeys, HKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects", {}},
    {R::Sensitive,  7, K::ClassSubKeys, HKCU, L"Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats", {}},
    {R::Sensitive,  9, K::ClassSubKeys, HKLM, L"SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units", {}},
    {R::Sensitive, 12, K::ClassSubKeys, HKLM, L"SOFTWARE\\Classes\\*\\shellex\\ContextMenuHandlers", {}},
    {R::Sensitive, 12, K::ClassSubKeys, HKLM, L"SOFTWARE\\Classes\\AllFilesystemObjects\\shellex\\ContextMenuHandlers", {}},
    {R::Sensitive, 12, K::ClassSubKeys, HKLM, L"SOFTWARE\\Classes\\Directory\\shellex\\ContextMenuHandlers", {}},
    {R::Sensitive, 12, K::ClassSubKeys, HKLM, L"SOFTWARE\\Classes\\Directory\\Background\\shellex\\ContextMenuHandlers", {}},
    {R::Sensitive, 12, K::ClassSubKeys, HKLM, L"SOFTWARE\\Classes\\Folder\\ShellEx\\ContextMenuHandlers", {}},
    {R::Sensitive, 16, K::ClassSubKeys, HKLM, L"SOFTWARE\\Classes\\Directory\\shellex\\PropertySheetHandlers", {}},
    {R::Sensitive, 16, K::ClassSubKeys, HKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers", {}},
    {R::Sensitive, 16, K::ClassSubKeys, HKLM, L"SOFTWARE\\Classes\\Folder\\ShellEx\\ColumnHandlers", {}},
    {R::Sensitive, 16, K::ClassSubKeys, HKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Ext\\PreApproved", {}},
    {R::Sensitive, 16, K::ValueNames,   HKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", {}},
    {R::Sensitive, 31, K::ValueData,    HKLM, L"SOFTWARE\\Microsoft\\Rpc\\ClientProtocols", {}},
    {R::Sensitive, 31, K::ValueData,    HKLM, L"SOFTWARE\\Microsoft\\Rpc\\SecurityService", {}},
    {R::Sensitive, 32, K::Value,        HKLM, L"System\\CurrentControlSet\\Control\\SecurityProviders", {L"SecurityProviders"}},
    {R::Sensitive, 32, K::Value,        HKLM, L"System\\CurrentControlSet\\Control\\Lsa", {L"Authentication Packages", L"Notification Packages", L"Security Packages"}},
    {R::Sensitive, 32, K::Value,        HKLM, L"System\\CurrentControlSet\\Control\\Lsa\\AccessProviders\\Windows NT Access Provider", {L"ProviderPath"}},
    {R::Sensitive, 33, K::SubKeyValues, HKLM, KIVO_SERVICES L"WinSock2\\Parameters\\NameSpace_Catalog5\\Catalog_Entries", {L"LibraryPath"}},
    {R::Sensitive, 33, K::SubKeyValues, HKLM, KIVO_SERVICES L"WinSock2\\Parameters\\NameSpace_Catalog5\\Catalog_Entries64", {L"LibraryPath"}},
    {R::Sensitive, 33, K::Value,        HKLM, KIVO_SERVICES L"Tcpip\\Parameters\\Winsock", {L"HelperDllName"}},
    {R::Sensitive, 33, K::Value,        HKLM, KIVO_SERVICES L"NetBIOS\\Parameters\\Winsock", {L"HelperDllName"}},
    {R::Sensitive, 33, K::Value,        HKLM, KIVO_SERVICES L"NwlnkIpx\\Parameters\\Winsock", {L"HelperDllName"}},
    {R::Sensitive, 33, K::Value,        HKLM, KIVO_SERVICES L"Tcpip6\\Parameters\\Winsock", {L"HelperDllName"}},
    {R::Sensitive, 33, K::Value,        HKLM, KIVO_SERVICES L"PSched\\Parameters\\Winsock", {L"HelperDllName"}},
    {R::Sensitive, 33, K::Value,        HKLM, KIVO_SERVICES L"Gpc\\Parameters\\Winsock", {L"HelperDllName"}},
    {R::Sensitive, 33, K::Value,        HKLM, KIVO_SERVICES L"W32Time\\TimeProviders\\NtpClient", {L"DllName"}},
    {R::Sensitive, 33, K::Value,        HKLM, KIVO_SERVICES L"W32Time\\TimeProviders\\NtpServer", {L"DllName"}},
    {R::Sensitive, 34, K::Value,        HKLM, L"System\\CurrentControlSet\\Control\\WOW", {L"cmdline", L"wowcmdline"}},
    {R::Sensitive, 35, K::SubKeyValues, HKLM, L"SOFTWARE\\Microsoft\\Active Setup\\Installed Components", {L"StubPath"}},
    {R::Sensitive, 36, K::SubKeyValues, HKCR, L"Protocols\\Filter", {L"CLSID"}},
    {R::Sensitive, 36, K::SubKeyValues, HKCR, L"Protocols\\Handler", {L"CLSID"}},
    {R::Sensitive, 36, K::SubKeyValues, HKCU, L"Software\\Classes\\PROTOCOLS\\Filter", {L"CLSID"}},
    {R::Sensitive, 36, K::SubKeyValues, HKCU, L"Software\\Classes\\PROTOCOLS\\Handler", {L"CLSID"}},
    {R::Sensitive, 37, K::ValueData,    HKLM, L"System\\CurrentControlSet\\Control\\Session Manager\\KnownDlls", {}},
    {R::Sensitive, 38, K::SubKeyValues, HKLM, L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg", {L"command"}},
    {R::Sensitive, 39, K::Value,        HKLM, L"System\\CurrentControlSet\\Control\\Session Manager\\Environment", {L"ComSpec"}},
    {R::Sensitive, 40, K::ValueData,    HKLM, KIVO_TS_INSTALL L"Run", {}},
    {R::Sensitive, 40, K::ValueData,    HKLM, KIVO_TS_INSTALL L"Runonce", {}},
    {R::Sensitive, 40, K::ValueData,    HKLM, KIVO_TS_INSTALL L"RunonceEx", {}},
    {R::Sensitive, 40, K::Value,        HKLM, L"System\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd", {L"StartupPrograms"}},
    {R::Sensitive, 40, K::Value,        HKLM, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32\\Terminal Server\\RDP", {L"Wavemapper", L"Wave", L"mixer", L"midimapper"}},
    {R::Sensitive, 41, K::Value,        HKLM, KIVO_WINLOGON, {L"UIHost"}},
    {R::Sensitive, 42, K::SubKeyValues, HKLM, KIVO_WINLOGON L"\\System", {L"DLLName"}},
    {R::Sensitive, 42, K::SubKeyValues, HKLM, KIVO_WINLOGON L"\\Notify", {L"DLLName"}},
    {R::Sensitive, 43, K::Value,        HKLM, KIVO_WINLOGON, {L"GinaDLL"}},
    {R::Sensitive, 44, K::Value,        HKLM, KIVO_WINLOGON, {L"Taskman"}},
    {R::Sensitive, 45, K::Value,        HKCU, L"Control Panel\\Desktop", {L"Scrnsave.exe"}},
    {R::Sensitive, 45, K::Value,        HKLM, L"Software\\Policies\\Microsoft\\Windows\\Control Panel\\Desktop", {L"Scrnsave.exe"}},
};
// clang-format on

} // namespace

std::vector<const RCRegLocation*> RCRegLocationsOf(RCRegReader reader, int32_t showType)
{
    std::vector<const RCRegLocation*> rows;
    for (const RCRegLocation& row : kLocations) {
        if (row.reader == reader && (reader != RCRegReader::Sensitive || row.showType == showType))
            rows.push_back(&row);
    }
    return rows;
}

} // namespace RC
