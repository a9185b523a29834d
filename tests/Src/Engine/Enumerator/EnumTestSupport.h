#pragma once
// Fixtures shared by the enumerator tests: a sink that records what reaches
// it, a scratch folder on the prefix's disk, and registry keys of the test's
// own in either view. Everything made is removed again.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <utility>
#include <vector>

#include "Src/Engine/Enumerator/RCAvEnumIMPL.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCHandles.h"
#include "foundation/RCRefPtr.h"

namespace RC::test {

inline std::wstring UniqueName(const wchar_t* stem)
{
    static LONG counter = 0;
    return std::wstring(stem) + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(::InterlockedIncrement(&counter));
}

inline std::wstring NewClsid()
{
    GUID guid;
    ::CoCreateGuid(&guid);
    wchar_t text[39] = {};
    ::StringFromGUID2(guid, text, 39);
    return text;
}

struct RecordingSink : IAvEnumFileEvent {
    std::vector<std::pair<std::wstring, std::wstring>> files; // path, subItem
    int itemEnds = 0;
    bool startAnswer = true;
    size_t acceptCount = static_cast<size_t>(-1); // refuses every file after these
    bool stopAtFirst = false;                     // stops the enumerator at the first file, which it takes

    bool OnEnumStart() override { return true; }
    bool OnEnumItemStart(IAvEnumFile*) override { return startAnswer; }
    bool OnEnumFile(IAvEnumFile* enumerator, const std::wstring& path, const std::wstring& subItem) override
    {
        if (stopAtFirst)
            enumerator->Stop();
        files.emplace_back(path, subItem);
        return files.size() <= acceptCount;
    }
    bool OnEnumFileEnd(IAvEnumFile*) override { return ++itemEnds; }
    void OnEnumEnd(bool) override {}

    std::vector<std::wstring> Paths() const
    {
        std::vector<std::wstring> paths;
        for (const auto& file : files)
            paths.push_back(file.first);
        return paths;
    }
};

// Runs the enumerator once into the sink; the paths the sink took.
inline std::vector<std::wstring> RunOnce(RCRefPtr<IAvEnumFile> enumerator, RecordingSink& sink)
{
    enumerator->SetEnumEvent(&sink);
    enumerator->Enum();
    return sink.Paths();
}

// The base without a walk of its own, so that its shared operations can be
// driven one by one.
struct BareEnum : RCAvEnumIMPL {
    explicit BareEnum(IAvEnumFileEvent* sink) : RCAvEnumIMPL(8, 1) { SetEnumEvent(sink); }
    using RCAvEnumIMPL::EnumRegValues;
    using RCAvEnumIMPL::FireFileEnumEvent;
    using RCAvEnumIMPL::FireRegistryValue;
    using RCAvEnumIMPL::FireRegKeyValue;
    using RCAvEnumIMPL::TranslateRegistryPath;
    void EnumImpl() override {}
};

// A fresh folder under parent (default: the temporary folder).
class ScratchDir {
public:
    explicit ScratchDir(const std::wstring& parent = std::wstring())
    {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        // Wine reuses process ids, and a crashed run leaves its folders behind:
        // a name that exists already is never shared, the next one is taken.
        do {
            path_ = (parent.empty() ? std::wstring(temp) : parent + L"\\") + UniqueName(L"KivoEnum");
        } while (!::CreateDirectoryW(path_.c_str(), nullptr) && ::GetLastError() == ERROR_ALREADY_EXISTS);
    }
    ~ScratchDir()
    {
        const std::wstring from = path_ + L'\0'; // the list ends with a second zero
        SHFILEOPSTRUCTW operation = {};
        operation.wFunc = FO_DELETE;
        operation.pFrom = from.c_str();
        operation.fFlags = FOF_NO_UI;
        ::SHFileOperationW(&operation);
    }
    const std::wstring& Path() const { return path_; }
    void Make(const std::wstring& relative) { ::CreateDirectoryW((path_ + L"\\" + relative).c_str(), nullptr); }
    std::wstring Write(const std::wstring& relative, const std::string& bytes = "x")
    {
        const std::wstring path = path_ + L"\\" + relative;
        unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        return path;
    }

private:
    std::wstring path_;
};

inline void DeleteKeyTree(HKEY root, const std::wstring& path, REGSAM view)
{
    unique_hkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) == ERROR_SUCCESS)
        ::RegDeleteTreeW(key.get(), nullptr);
    ::RegDeleteKeyExW(root, path.c_str(), view, 0);
}

// A text value set for the life of the object (its key created as needed);
// afterwards the value holds what it held before, or is gone again.
class ScratchValue {
public:
    ScratchValue(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text, REGSAM view,
                 DWORD type = REG_SZ)
        : name_(name), old_(65536)
    {
        status_ = ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | view, nullptr,
                                    key_.put(), nullptr);
        DWORD bytes = static_cast<DWORD>(old_.size());
        existed_ = ::RegQueryValueExW(key_.get(), name.c_str(), nullptr, &type_, old_.data(), &bytes) == ERROR_SUCCESS;
        old_.resize(existed_ ? bytes : 0);
        if (status_ == ERROR_SUCCESS)
            status_ = ::RegSetValueExW(key_.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    ~ScratchValue()
    {
        if (existed_)
            ::RegSetValueExW(key_.get(), name_.c_str(), 0, type_, old_.data(), static_cast<DWORD>(old_.size()));
        else
            ::RegDeleteValueW(key_.get(), name_.c_str());
    }
    LONG Status() const { return status_; }

private:
    unique_hkey key_;
    std::wstring name_;
    std::vector<BYTE> old_;
    DWORD type_ = REG_NONE;
    bool existed_ = false;
    LONG status_ = ERROR_INVALID_FUNCTION;
};

// PATH holds only the folder and the system folder for the life of the object.
class ScratchPath {
public:
    explicit ScratchPath(const std::wstring& folder) : saved_(32767, L'\0')
    {
        saved_.resize(::GetEnvironmentVariableW(L"PATH", &saved_[0], 32767));
        ::SetEnvironmentVariableW(L"PATH", (folder + L";C:\\windows\\system32").c_str());
    }
    ~ScratchPath() { ::SetEnvironmentVariableW(L"PATH", saved_.c_str()); }

private:
    std::wstring saved_;
};

// parent\name (a unique name unless one is given) in one view, deleted with its tree.
class ScratchKey {
public:
    ScratchKey(HKEY root, const std::wstring& parent, bool wow64, const std::wstring& name = std::wstring())
        : root_(root), subKey_(parent + L"\\" + (name.empty() ? UniqueName(L"KivoEnumTest") : name)),
          view_(wow64 ? KEY_WOW64_64KEY : 0)
    {
        Set(L"", nullptr, REG_NONE, nullptr, 0);
    }
    ~ScratchKey() { DeleteKeyTree(root_, subKey_, view_); }
    const std::wstring& SubKey() const { return subKey_; }
    // A value of the key or of a sub key (created as needed); no name: only the key.
    void Set(const std::wstring& relative, const wchar_t* name, DWORD type, const void* data, DWORD bytes)
    {
        unique_hkey key;
        const std::wstring path = relative.empty() ? subKey_ : subKey_ + L"\\" + relative;
        ::RegCreateKeyExW(root_, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, key.put(), nullptr);
        if (data)
            ::RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), bytes);
    }
    void SetText(const std::wstring& relative, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ)
    {
        Set(relative, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

private:
    HKEY root_;
    std::wstring subKey_;
    REGSAM view_;
};

// A helper process of this tree that holds the probe library loaded by the given path.
class ModuleHost {
public:
    // hostFolder: where enum_module_host.exe is, ending with a backslash.
    explicit ModuleHost(const std::wstring& library, const std::wstring& hostFolder = RCGetExeFolder())
    {
        const std::wstring ready = UniqueName(L"KivoModuleHost");
        ready_.reset(::CreateEventW(nullptr, TRUE, FALSE, ready.c_str()));
        std::wstring command = L"enum_module_host.exe " + ready + L" \"" + library + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (::CreateProcessW((hostFolder + L"enum_module_host.exe").c_str(), &command[0], nullptr, nullptr, FALSE, 0,
                             nullptr, nullptr, &startup, &info)) {
            process_.reset(info.hProcess);
            unique_handle thread(info.hThread);
        }
    }
    ~ModuleHost() { ::TerminateProcess(process_.get(), 0); }
    bool Ready() const
    {
        const HANDLE either[] = {ready_.get(), process_.get()};
        return process_ && ::WaitForMultipleObjects(2, either, FALSE, 60000) == WAIT_OBJECT_0;
    }
    DWORD Id() const { return ::GetProcessId(process_.get()); }

private:
    unique_handle ready_, process_;
};

} // namespace RC::test
