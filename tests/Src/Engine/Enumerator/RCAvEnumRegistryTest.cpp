#include <gtest/gtest.h>
#include <gmock/gmock.h>


#include <functional>
#include <memory>

#include "EnumTestSupport.h"
#include "foundation/RCString.h"
#include "Src/Engine/Enumerator/RCAvEnumRegistry.h"
#include "foundation/RCHandles.h"
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
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                                                   nullptr, key.put(), nullptr));
        undo_.push_back([=] { DeleteKeyTree(root, added, view); });
    }

    void SetText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text,
                 REGSAM view)
    {
        CreateKey(root, path, view);
        auto value = std::make_shared<ScratchValue>(root, path, name, text, view);
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

// Plants, for every row of the location table, items that name files of a
// scratch folder, and says which files the enumerator must report for them,
// in order.
class LocationPlanter {
public:
    RegistryUndo& Registry() { return registry_; }
    std::wstring Write(const std::wstring& name) { return dir_.Write(name); }
    const std::wstring& Folder() const { return dir_.Path(); }

    // What the enumerator must report for the rows, planted in the native
    // view: on 64-bit Windows every row in the 64-bit view first, then in the
    // process's own view, where only a key both views share shows them again.
    Files PlantRows(const std::vector<const RCRegLocation*>& rows)
    {
        const REGSAM view = RCIs64BitOs() ? KEY_WOW64_64KEY : 0;
        Files native, own;
        for (const RCRegLocation* row : rows) {
            registry_.CreateKey(row->root, row->key, view);
            const Files planted = PlantRow(*row, view);
            Append(native, planted);
            if (RCIs64BitOs() && registry_.Shared(row->root, row->key))
                Append(own, planted);
        }
        Append(native, own);
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
        for (REGSAM view : RCIs64BitOs() ? std::vector<REGSAM>{KEY_WOW64_64KEY, KEY_WOW64_32KEY}
                                         : std::vector<REGSAM>{0})
            registry_.SetText(HKEY_CLASSES_ROOT, key, L"", L"\"" + files.back() + L"\"", view);
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
            // Named after the class (words may follow), or naming it in its default value.
            if (count_++ % 2)
                registry_.CreateKey(row.root, key + L"\\" + NewClass(files) + L" by name", view);
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
    ScratchPath path_{dir_.Path()};
    RegistryUndo registry_;
    int count_ = 0;
};

// The files of one run of the enumerator that lie in the folder.
template <class Enumerator>
Files RunEnum(int32_t showType, const std::wstring& folder)
{
    RecordingSink sink;
    Files inFolder;
    for (const std::wstring& path : RunOnce(new Enumerator(8, showType), sink)) {
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
