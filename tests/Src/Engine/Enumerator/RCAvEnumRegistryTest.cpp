#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <objbase.h>

#include <functional>

#include "EnumTestSupport.h"
#include "foundation/RCString.h"
#include "Src/Engine/Enumerator/RCAvEnumRegistry.h"
#include "foundation/RCHandles.h"
#include "foundation/RCRefPtr.h"
#include "foundation/RCSystemInfo.h"

using namespace RC;
using namespace RC::test;
using testing::ElementsAreArray;
using testing::IsEmpty;

namespace {

using Files = std::vector<std::wstring>;

// Registry changes of one test, undone in reverse order afterwards: keys it
// created go with their trees, values it overwrote get their old data back.
class RegistryUndo {
public:
    ~RegistryUndo()
    {
        for (auto undo = undo_.rbegin(); undo != undo_.rend(); ++undo)
            (*undo)();
    }

    void CreateKey(HKEY root, const std::wstring& path, REGSAM view)
    {
        std::wstring firstMissing;
        for (size_t end = 0; end != std::wstring::npos && firstMissing.empty();) {
            end = path.find(L'\\', end + 1);
            const std::wstring part = path.substr(0, end);
            HKEY key = nullptr;
            if (::RegOpenKeyExW(root, part.c_str(), 0, KEY_READ | view, &key) == ERROR_SUCCESS)
                ::RegCloseKey(key);
            else
                firstMissing = part;
        }
        if (firstMissing.empty())
            return;
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                                                   nullptr, &key, nullptr));
        ::RegCloseKey(key);
        undo_.push_back([=] {
            HKEY created = nullptr;
            if (::RegOpenKeyExW(root, firstMissing.c_str(), 0, KEY_ALL_ACCESS | view, &created) == ERROR_SUCCESS) {
                ::RegDeleteTreeW(created, nullptr);
                ::RegCloseKey(created);
            }
            ::RegDeleteKeyExW(root, firstMissing.c_str(), view, 0);
        });
    }

    void SetText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text,
                 REGSAM view)
    {
        CreateKey(root, path, view);
        unique_hkey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, key.put()));
        std::vector<BYTE> old(65536);
        DWORD type = 0, bytes = static_cast<DWORD>(old.size());
        const bool existed =
            ::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, old.data(), &bytes) == ERROR_SUCCESS;
        old.resize(existed ? bytes : 0);
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                                                  reinterpret_cast<const BYTE*>(text.c_str()),
                                                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
        undo_.push_back([=] {
            HKEY restore = nullptr;
            if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &restore) != ERROR_SUCCESS)
                return;
            if (existed)
                ::RegSetValueExW(restore, name.c_str(), 0, type, old.data(), static_cast<DWORD>(old.size()));
            else
                ::RegDeleteValueW(restore, name.c_str());
            ::RegCloseKey(restore);
        });
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
    std::vector<std::function<void()>> undo_;
};

// Plants, for every row of the location table, items that name files of a
// scratch folder in the forms the registry uses, and says which files the
// enumerator must report for them, in order.
class LocationPlanter {
public:
    LocationPlanter()
    {
        std::vector<wchar_t> saved(32767);
        savedPath_.assign(saved.data(), ::GetEnvironmentVariableW(L"PATH", saved.data(), 32767));
        ::SetEnvironmentVariableW(L"PATH", (dir_.Path() + L";C:\\windows\\system32").c_str());
        ::SetEnvironmentVariableW(L"KIVO_REG_DIR", dir_.Path().c_str());
    }
    ~LocationPlanter() { ::SetEnvironmentVariableW(L"PATH", savedPath_.c_str()); }

    RegistryUndo& Registry() { return registry_; }
    std::wstring Write(const std::wstring& name) { return dir_.Write(name, "x"); }
    const std::wstring& Folder() const { return dir_.Path(); }

    // What the enumerator must report for the rows: every row in the 64-bit
    // view first on 64-bit Windows, then in the process's own view. A key
    // both views share is read twice with the same items.
    Files PlantRows(const std::vector<const RCRegLocation*>& rows)
    {
        Files view64, view32;
        for (const RCRegLocation* row : rows) {
            if (!RCIs64BitOs()) {
                Append(view32, PlantRow(*row, 0));
                continue;
            }
            registry_.CreateKey(row->root, row->key, KEY_WOW64_64KEY);
            registry_.CreateKey(row->root, row->key, KEY_WOW64_32KEY);
            const bool shared = registry_.Shared(row->root, row->key);
            const Files planted = PlantRow(*row, KEY_WOW64_64KEY);
            Append(view64, planted);
            Append(view32, shared ? planted : PlantRow(*row, KEY_WOW64_32KEY));
        }
        Append(view64, view32);
        return view64;
    }

    // A command text naming new files, in one of four forms by turns.
    std::wstring NewCommand(Files& files)
    {
        const std::wstring stem = UniqueName(L"r");
        switch (count_++ % 4) {
        case 0:
            files.push_back(dir_.Write(stem + L" a.exe", "x"));
            return L"\"" + files.back() + L"\" /run \"x y\"";
        case 1:
            files.push_back(dir_.Write(stem + L".dll", "x"));
            return L"%KIVO_REG_DIR%\\" + stem + L".dll";
        case 2:
            files.push_back(dir_.Write(stem + L".dll", "x"));
            return stem + L".dll";
        default:
            files.push_back(dir_.Write(stem + L"a.dll", "x"));
            files.push_back(dir_.Write(stem + L"b.dll", "x"));
            return files[files.size() - 2] + L"," + files.back();
        }
    }

    // A class whose in-process server is a new file, in every view.
    std::wstring NewClass(Files& files)
    {
        GUID guid;
        ::CoCreateGuid(&guid);
        wchar_t clsid[39] = {};
        ::StringFromGUID2(guid, clsid, 39);
        files.push_back(dir_.Write(UniqueName(L"server") + L".dll", "x"));
        const std::wstring key = std::wstring(L"CLSID\\") + clsid + L"\\InProcServer32";
        for (REGSAM view : RCIs64BitOs() ? std::vector<REGSAM>{KEY_WOW64_64KEY, KEY_WOW64_32KEY}
                                         : std::vector<REGSAM>{0})
            registry_.SetText(HKEY_CLASSES_ROOT, key, L"", files.back(), view);
        return clsid;
    }

private:
    static void Append(Files& to, const Files& from) { to.insert(to.end(), from.begin(), from.end()); }

    Files PlantRow(const RCRegLocation& row, REGSAM view)
    {
        Files files;
        const std::wstring key = row.key;
        const std::wstring item = key + L"\\" + UniqueName(L"KivoItem");
        switch (row.read) {
        case RCRegRead::ValueData:
            registry_.SetText(row.root, key, UniqueName(L"KivoValue"), NewCommand(files), view);
            break;
        case RCRegRead::ValueNames:
            registry_.SetText(row.root, key, NewClass(files), L"", view);
            break;
        case RCRegRead::ClassSubKeys:
            // Named after the class, or naming it in its default value.
            if (count_++ % 2)
                registry_.CreateKey(row.root, key + L"\\" + NewClass(files), view);
            else
                registry_.SetText(row.root, item, L"", NewClass(files), view);
            break;
        case RCRegRead::SubKeyValues:
        case RCRegRead::SubKeyText:
        case RCRegRead::Value:
        case RCRegRead::KeyText: {
            const bool subKey = row.read == RCRegRead::SubKeyValues || row.read == RCRegRead::SubKeyText;
            for (const wchar_t* name : row.names) {
                if (name)
                    registry_.SetText(row.root, subKey ? item : key, name, NewCommand(files), view);
            }
            break;
        }
        case RCRegRead::ClassVerbs:
            // No command for the verb in between: the others are still read.
            registry_.SetText(row.root, item + L"\\shell\\open\\command", L"", NewCommand(files), view);
            registry_.SetText(row.root, item + L"\\shell\\openas\\command", L"", NewCommand(files), view);
            break;
        }
        return files;
    }

    ScratchDir dir_;
    RegistryUndo registry_;
    std::wstring savedPath_;
    int count_ = 0;
};

// The files of one run of the enumerator that lie in the folder.
template <class Enumerator>
Files RunEnum(int32_t showType, const std::wstring& folder)
{
    RecordingSink sink;
    RCRefPtr<Enumerator> enumerator(new Enumerator(8, showType));
    enumerator->SetEnumEvent(&sink);
    enumerator->Enum();
    Files inFolder;
    for (const std::wstring& path : sink.Paths()) {
        if (RCFindNoCase(path, folder) == 0)
            inFolder.push_back(path);
    }
    return inFolder;
}

template <class Enumerator>
void ExpectEveryRowReported(RCRegReader reader, int32_t showType)
{
    LocationPlanter planter;
    const std::vector<const RCRegLocation*> rows = RCRegLocationsOf(reader, showType);
    ASSERT_FALSE(rows.empty());
    const Files expected = planter.PlantRows(rows);
    EXPECT_THAT(RunEnum<Enumerator>(showType, planter.Folder()), ElementsAreArray(expected))
        << "show type " << showType;
}

TEST(RCAvEnumRegistry, SensitiveItemsReadEveryLocationOfTheirShowTypeInEachView)
{
    for (int32_t showType : {1, 2, 3, 4, 5, 6, 7, 9, 12, 16, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45})
        ExpectEveryRowReported<RCAvEnumSensitive>(RCRegReader::Sensitive, showType);
}

TEST(RCAvEnumRegistry, FixedKeyEnumeratorsReadTheirLocationsInEachView)
{
    ExpectEveryRowReported<RCAvEnumStartUp>(RCRegReader::StartUp, 15);
    ExpectEveryRowReported<RCAvEnumAppPath>(RCRegReader::AppPath, 13);
    ExpectEveryRowReported<RCAvEnumIEPopUpMenu>(RCRegReader::IEPopUpMenu, 8);
    ExpectEveryRowReported<RCAvEnumMirrorKidnap>(RCRegReader::MirrorKidnap, 0);
    ExpectEveryRowReported<RCAvEnumProcessPreload>(RCRegReader::ProcessPreload, 10);
    ExpectEveryRowReported<RCAvEnumOldOsLoad>(RCRegReader::OldOsLoad, 11);
    ExpectEveryRowReported<RCAvEnumFileAssociate>(RCRegReader::FileAssociate, 14);
}

TEST(RCAvEnumRegistry, LocationsThatNameNoProgramReportNothing)
{
    LocationPlanter planter;
    RegistryUndo& registry = planter.Registry();
    const REGSAM view = RCIs64BitOs() ? KEY_WOW64_64KEY : 0;
    Files named;

    // A redirection entry without a debugger.
    const std::wstring ifeo = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Image File Execution Options\\" +
                              UniqueName(L"kivo") + L".exe";
    registry.SetText(HKEY_LOCAL_MACHINE, ifeo, L"GlobalFlag", planter.NewCommand(named), view);
    // A context-menu handler that names no class.
    registry.SetText(HKEY_LOCAL_MACHINE,
                     L"SOFTWARE\\Classes\\*\\shellex\\ContextMenuHandlers\\" + UniqueName(L"KivoHandler"), L"",
                     planter.NewCommand(named), view);
    // Two libraries on PATH separated by a blank are searched as one name.
    planter.Write(L"kivo1.dll");
    planter.Write(L"kivo2.dll");
    registry.SetText(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows", L"AppInit_DLLs",
                     L"kivo1.dll kivo2.dll", view);

    EXPECT_THAT(RunEnum<RCAvEnumMirrorKidnap>(0, planter.Folder()), IsEmpty());
    EXPECT_THAT(RunEnum<RCAvEnumSensitive>(12, planter.Folder()), IsEmpty());
    EXPECT_THAT(RunEnum<RCAvEnumProcessPreload>(10, planter.Folder()), IsEmpty());
    // Show types without sensitive locations read nothing at all.
    for (int32_t showType : {0, 8, 10, 11, 13, 17, 46})
        EXPECT_THAT(RunEnum<RCAvEnumSensitive>(showType, L""), IsEmpty()) << "show type " << showType;
}

} // namespace
