#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <functional>
#include <memory>

#include "EnumTestSupport.h"
#include "foundation/RCString.h"
#include "Src/Engine/Enumerator/RCAvEnumRegistry.h"
#include "foundation/RCSystemInfo.h"

using namespace RC;
using namespace RC::test;
using testing::ElementsAreArray;
using testing::IsEmpty;

namespace {

using Files = std::vector<std::wstring>;

// Registry changes of one test, undone in reverse order afterwards: keys it
// added go with their trees, values it set get their old data back.
class RegistryUndo {
public:
    ~RegistryUndo()
    {
        while (!undo_.empty()) {
            undo_.back()();
            undo_.pop_back();
        }
    }

    void CreateKey(HKEY root, const std::wstring& path, REGSAM view)
    {
        std::wstring added; // the outermost key that the path adds
        for (std::wstring key = path; !key.empty() && !Exists(root, key, view);) {
            added = key;
            const size_t parent = key.rfind(L'\\');
            key.resize(parent == std::wstring::npos ? 0 : parent);
        }
        if (added.empty())
            return;
        unique_hkey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                                                   key.put(), nullptr));
        undo_.push_back([=] { DeleteKeyTree(root, added, view); });
    }

    void SetText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text, REGSAM view,
                 DWORD type = REG_SZ)
    {
        CreateKey(root, path, view);
        auto value = std::make_shared<ScratchValue>(root, path, name, text, view, type);
        undo_.push_back([value] {});
        ASSERT_EQ(ERROR_SUCCESS, value->Status());
    }

    // Whether both registry views show the same key.
    bool Shared(HKEY root, const std::wstring& path)
    {
        const std::wstring probe = UniqueName(L"KivoProbe");
        SetText(root, path, probe, L"", KEY_WOW64_64KEY);
        unique_hkey key;
        ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, key.put());
        return key && ::RegQueryValueExW(key.get(), probe.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }

private:
    static bool Exists(HKEY root, const std::wstring& path, REGSAM view)
    {
        unique_hkey key;
        return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
    }

    std::vector<std::function<void()>> undo_;
};

using R = RCRegReader;
using K = RCRegRead;
const HKEY HKLM = HKEY_LOCAL_MACHINE, HKCU = HKEY_CURRENT_USER, HKCR = HKEY_CLASSES_ROOT;

// Every location the enumerators must read, written out by hand (not taken
// from the enumerators' own table), each reader's rows in reading order.
// clang-format off
const RCRegLocation kLocations[] = {
    {R::StartUp,        0, K::ValueData,  HKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", {}},
    {R::AppPath,        0, K::SubKeyText, HKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths", {L""}},
    {R::FileAssociate,  0, K::ClassVerbs, HKLM, L"SOFTWARE\\Classes", {L"open", L"play", L"openas"}},
    {R::FileAssociate,  0, K::ClassVerbs, HKCU, L"SOFTWARE\\Classes", {L"open", L"play", L"openas"}},
    {R::IEPopUpMenu,    0, K::SubKeyText, HKCU, L"Software\\Microsoft\\Internet Explorer\\MenuExt", {L""}},
    {R::MirrorKidnap,   0, K::SubKeyText, HKLM, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Image File Execution Options", {L"Debugger"}},
    {R::ProcessPreload, 0, K::KeyText,    HKLM, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", {L"AppInit_DLLs"}},
    {R::OldOsLoad,      0, K::KeyText,    HKCU, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", {L"Load"}},
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
    {R::Sensitive, 33, K::SubKeyValues, HKLM, L"System\\CurrentControlSet\\Services\\WinSock2\\Parameters\\NameSpace_Catalog5\\Catalog_Entries", {L"LibraryPath"}},
    {R::Sensitive, 33, K::SubKeyValues, HKLM, L"System\\CurrentControlSet\\Services\\WinSock2\\Parameters\\NameSpace_Catalog5\\Catalog_Entries64", {L"LibraryPath"}},
    {R::Sensitive, 33, K::Value,        HKLM, L"System\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Winsock", {L"HelperDllName"}},
    {R::Sensitive, 33, K::Value,        HKLM, L"System\\CurrentControlSet\\Services\\NetBIOS\\Parameters\\Winsock", {L"HelperDllName"}},
    {R::Sensitive, 33, K::Value,        HKLM, L"System\\CurrentControlSet\\Services\\NwlnkIpx\\Parameters\\Winsock", {L"HelperDllName"}},
    {R::Sensitive, 33, K::Value,        HKLM, L"System\\CurrentControlSet\\Services\\Tcpip6\\Parameters\\Winsock", {L"HelperDllName"}},
    {R::Sensitive, 33, K::Value,        HKLM, L"System\\CurrentControlSet\\Services\\PSched\\Parameters\\Winsock", {L"HelperDllName"}},
    {R::Sensitive, 33, K::Value,        HKLM, L"System\\CurrentControlSet\\Services\\Gpc\\Parameters\\Winsock", {L"HelperDllName"}},
    {R::Sensitive, 33, K::Value,        HKLM, L"System\\CurrentControlSet\\Services\\W32Time\\TimeProviders\\NtpClient", {L"DllName"}},
    {R::Sensitive, 33, K::Value,        HKLM, L"System\\CurrentControlSet\\Services\\W32Time\\TimeProviders\\NtpServer", {L"DllName"}},
    {R::Sensitive, 34, K::Value,        HKLM, L"System\\CurrentControlSet\\Control\\WOW", {L"cmdline", L"wowcmdline"}},
    {R::Sensitive, 35, K::SubKeyValues, HKLM, L"SOFTWARE\\Microsoft\\Active Setup\\Installed Components", {L"StubPath"}},
    {R::Sensitive, 36, K::SubKeyValues, HKCR, L"Protocols\\Filter", {L"CLSID"}},
    {R::Sensitive, 36, K::SubKeyValues, HKCR, L"Protocols\\Handler", {L"CLSID"}},
    {R::Sensitive, 36, K::SubKeyValues, HKCU, L"Software\\Classes\\PROTOCOLS\\Filter", {L"CLSID"}},
    {R::Sensitive, 36, K::SubKeyValues, HKCU, L"Software\\Classes\\PROTOCOLS\\Handler", {L"CLSID"}},
    {R::Sensitive, 37, K::ValueData,    HKLM, L"System\\CurrentControlSet\\Control\\Session Manager\\KnownDlls", {}},
    {R::Sensitive, 38, K::SubKeyValues, HKLM, L"SOFTWARE\\Microsoft\\Shared Tools\\MSConfig\\startupreg", {L"command"}},
    {R::Sensitive, 39, K::Value,        HKLM, L"System\\CurrentControlSet\\Control\\Session Manager\\Environment", {L"ComSpec"}},
    {R::Sensitive, 40, K::ValueData,    HKLM, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", {}},
    {R::Sensitive, 40, K::ValueData,    HKLM, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\Runonce", {}},
    {R::Sensitive, 40, K::ValueData,    HKLM, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\RunonceEx", {}},
    {R::Sensitive, 40, K::Value,        HKLM, L"System\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd", {L"StartupPrograms"}},
    {R::Sensitive, 40, K::Value,        HKLM, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32\\Terminal Server\\RDP", {L"Wavemapper", L"Wave", L"mixer", L"midimapper"}},
    {R::Sensitive, 41, K::Value,        HKLM, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", {L"UIHost"}},
    {R::Sensitive, 42, K::SubKeyValues, HKLM, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\System", {L"DLLName"}},
    {R::Sensitive, 42, K::SubKeyValues, HKLM, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify", {L"DLLName"}},
    {R::Sensitive, 43, K::Value,        HKLM, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", {L"GinaDLL"}},
    {R::Sensitive, 44, K::Value,        HKLM, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", {L"Taskman"}},
    {R::Sensitive, 45, K::Value,        HKCU, L"Control Panel\\Desktop", {L"Scrnsave.exe"}},
    {R::Sensitive, 45, K::Value,        HKLM, L"Software\\Policies\\Microsoft\\Windows\\Control Panel\\Desktop", {L"Scrnsave.exe"}},
};
// clang-format on

// The files one row's items name, and whether the row is read as named values
// only, which a stop does not end.
struct Planted {
    Files files;
    bool namedValues;
};

// Plants, for every row, items that name files of a scratch folder, each in
// the shape its kind of read must take and no other kind does: named values
// as lists of two commands (a text read sees only the first), text reads of
// binary data (a typed read skips it).
class LocationPlanter {
public:
    RegistryUndo& Registry() { return registry_; }
    const std::wstring& Folder() const { return dir_.Path(); }

    // Planted in the native view, in the order the enumerator reads them: on
    // 64-bit Windows every row in the 64-bit view first, then in the
    // process's own view, where only a key both views share shows them again.
    std::vector<Planted> PlantRows(const std::vector<const RCRegLocation*>& rows)
    {
        const REGSAM view = RCIs64BitOs() ? KEY_WOW64_64KEY : 0;
        std::vector<Planted> native, own;
        for (const RCRegLocation* row : rows) {
            registry_.CreateKey(row->root, row->key, view);
            native.push_back({PlantRow(*row, view), row->read == K::Value || row->read == K::KeyText});
            if (RCIs64BitOs() && registry_.Shared(row->root, row->key))
                own.push_back(native.back());
        }
        native.insert(native.end(), own.begin(), own.end());
        return native;
    }

    // A command line naming a new file, as the registry holds them: quoted,
    // with arguments.
    std::wstring NewCommand(Files& files)
    {
        files.push_back(dir_.Write(UniqueName(L"r") + L" a.exe"));
        return L"\"" + files.back() + L"\" /run \"x y\"";
    }

    // A class whose in-process server is a new file (its path quoted), in every view.
    std::wstring NewClass(Files& files)
    {
        const std::wstring clsid = NewClsid();
        files.push_back(dir_.Write(UniqueName(L"server") + L".dll"));
        const std::wstring key = L"CLSID\\" + clsid + L"\\InProcServer32";
        for (REGSAM view :
             RCIs64BitOs() ? std::vector<REGSAM>{KEY_WOW64_64KEY, KEY_WOW64_32KEY} : std::vector<REGSAM>{0})
            registry_.SetText(HKEY_CLASSES_ROOT, key, L"", L"\"" + files.back() + L"\"", view);
        return clsid;
    }

private:
    Files PlantRow(const RCRegLocation& row, REGSAM view)
    {
        Files files;
        const std::wstring key = row.key;
        const std::wstring item = key + L"\\" + UniqueName(L"KivoItem");
        switch (row.read) {
        case K::ValueData:
            registry_.SetText(row.root, key, UniqueName(L"KivoValue"), NewCommand(files), view);
            break;
        case K::ValueNames:
            registry_.SetText(row.root, key, NewClass(files), L"", view);
            break;
        case K::ClassSubKeys:
            // Named after the class (words may follow), or naming it in its default value.
            if (count_++ % 2)
                registry_.CreateKey(row.root, key + L"\\" + NewClass(files) + L" by name", view);
            else
                registry_.SetText(row.root, item, L"", NewClass(files), view);
            break;
        case K::SubKeyValues:
        case K::Value:
            for (const wchar_t* name : row.names) {
                if (!name)
                    continue;
                const std::wstring first = NewCommand(files);
                registry_.SetText(row.root, row.read == K::Value ? key : item, name,
                                  first + L'\0' + NewCommand(files) + L'\0', view, REG_MULTI_SZ);
            }
            break;
        case K::SubKeyText:
        case K::KeyText:
            registry_.SetText(row.root, row.read == K::KeyText ? key : item, row.names[0], NewCommand(files), view,
                              REG_BINARY);
            break;
        case K::ClassVerbs:
            for (const wchar_t* verb : row.names) {
                if (verb)
                    registry_.SetText(row.root, item + L"\\shell\\" + verb + L"\\command", L"", NewCommand(files),
                                      view);
            }
            break;
        }
        return files;
    }

    ScratchDir dir_;
    ScratchPath path_{dir_.Path()};
    RegistryUndo registry_;
    int count_ = 0;
};

// Records the files of the folder; refuses them when asked, which stops the walk.
struct FolderSink : RecordingSink {
    std::wstring folder;
    bool refuse = false;
    bool OnEnumFile(IAvEnumFile*, const std::wstring& path, const std::wstring&) override
    {
        if (RCFindNoCase(path, folder) != 0)
            return true;
        files.emplace_back(path, L"");
        return !refuse;
    }
};

template <class Enumerator>
Files RunEnum(int32_t showType, const std::wstring& folder, bool refuse = false)
{
    FolderSink sink;
    sink.folder = folder;
    sink.refuse = refuse;
    return RunOnce(new Enumerator(8, showType), sink);
}

template <class Enumerator>
void ExpectEveryRowReported(RCRegReader reader, int32_t showType)
{
    std::vector<const RCRegLocation*> rows;
    for (const RCRegLocation& row : kLocations) {
        if (row.reader == reader && row.showType == showType)
            rows.push_back(&row);
    }
    LocationPlanter planter;
    const std::vector<Planted> planted = planter.PlantRows(rows);
    // Refused at its first file, the walk ends every loop at its next test;
    // the named values of the rows after it are still read.
    Files all, refused;
    for (size_t i = 0; i < planted.size(); ++i) {
        all.insert(all.end(), planted[i].files.begin(), planted[i].files.end());
        if (i == 0 || planted[i].namedValues)
            refused.insert(refused.end(), planted[i].files.begin(), planted[i].files.end());
    }
    EXPECT_THAT(RunEnum<Enumerator>(showType, planter.Folder()), ElementsAreArray(all)) << "show type " << showType;
    EXPECT_THAT(RunEnum<Enumerator>(showType, planter.Folder(), true), ElementsAreArray(refused))
        << "refused, show type " << showType;
}

TEST(RCAvEnumRegistry, EveryEnumeratorReadsEveryLocationOfItsItemInEachView)
{
    for (int32_t showType :
         {1, 2, 3, 4, 5, 6, 7, 9, 12, 16, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45})
        ExpectEveryRowReported<RCAvEnumSensitive>(R::Sensitive, showType);
    ExpectEveryRowReported<RCAvEnumStartUp>(R::StartUp, 0);
    ExpectEveryRowReported<RCAvEnumAppPath>(R::AppPath, 0);
    ExpectEveryRowReported<RCAvEnumIEPopUpMenu>(R::IEPopUpMenu, 0);
    ExpectEveryRowReported<RCAvEnumMirrorKidnap>(R::MirrorKidnap, 0);
    ExpectEveryRowReported<RCAvEnumProcessPreload>(R::ProcessPreload, 0);
    ExpectEveryRowReported<RCAvEnumOldOsLoad>(R::OldOsLoad, 0);
    ExpectEveryRowReported<RCAvEnumFileAssociate>(R::FileAssociate, 0);
}

// A context-menu handler that names no class reports nothing; show types
// without sensitive locations read nothing at all.
TEST(RCAvEnumRegistry, LocationsThatNameNoProgramReportNothing)
{
    LocationPlanter planter;
    Files named;
    planter.Registry().SetText(HKLM,
                               L"SOFTWARE\\Classes\\*\\shellex\\ContextMenuHandlers\\" + UniqueName(L"KivoHandler"),
                               L"", planter.NewCommand(named), RCIs64BitOs() ? KEY_WOW64_64KEY : 0);
    EXPECT_THAT(RunEnum<RCAvEnumSensitive>(12, planter.Folder()), IsEmpty());
    for (int32_t showType : {0, 8, 10, 11, 13, 17, 46})
        EXPECT_THAT(RunEnum<RCAvEnumSensitive>(showType, L""), IsEmpty()) << "show type " << showType;
}

} // namespace
