#pragma once
// Fixtures shared by the enumerator tests: a sink that records what reaches
// it, a scratch folder on the prefix's disk, and a registry key of the test's
// own in either view.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "Engine/Enumerator/RCAvEnumIMPL.h"

namespace RC::test {

class RecordingSink : public IAvEnumFileEvent {
public:
    std::vector<std::pair<std::wstring, std::wstring>> files; // path, subItem
    int itemStarts = 0;
    int itemEnds = 0;
    bool startAnswer = true;
    size_t acceptCount = static_cast<size_t>(-1); // refuses every file after these

    bool OnEnumStart() override { return true; }
    bool OnEnumItemStart(IAvEnumFile*) override
    {
        ++itemStarts;
        return startAnswer;
    }
    bool OnEnumFile(IAvEnumFile*, const std::wstring& path, const std::wstring& subItem) override
    {
        files.emplace_back(path, subItem);
        return files.size() <= acceptCount;
    }
    bool OnEnumFileEnd(IAvEnumFile*) override
    {
        ++itemEnds;
        return true;
    }
    void OnEnumEnd(bool) override {}

    std::vector<std::wstring> Paths() const
    {
        std::vector<std::wstring> paths;
        for (const auto& file : files)
            paths.push_back(file.first);
        return paths;
    }
};

// The base with no walk of its own, attached to a sink, so that its shared
// operations can be driven one by one.
class BareEnum : public RCAvEnumIMPL {
public:
    explicit BareEnum(IAvEnumFileEvent* sink) : RCAvEnumIMPL(8, 1) { SetEnumEvent(sink); }
    bool Stopped() const { return IsStopped(); }

protected:
    void EnumImpl() override {}
};

// A fresh folder under the prefix's temporary folder, removed with its content.
class ScratchDir {
public:
    explicit ScratchDir(const std::wstring& parent = std::wstring()); // default: the temporary folder
    ~ScratchDir();
    const std::wstring& Path() const { return m_path; }
    std::wstring Make(const std::wstring& relative); // a folder
    std::wstring Write(const std::wstring& relative, const std::string& bytes);

private:
    std::wstring m_path;
};

// A sub key (of a unique name unless one is given) in one view, deleted with its tree.
class ScratchKey {
public:
    ScratchKey(HKEY root, const std::wstring& parent, bool wow64, const std::wstring& name = std::wstring());
    ~ScratchKey();
    HKEY Root() const { return m_root; }
    const std::wstring& SubKey() const { return m_subKey; }
    const std::wstring& Name() const { return m_name; }
    void SetString(const std::wstring& relative, const wchar_t* name, const std::wstring& value, DWORD type = REG_SZ);
    void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes);

private:
    HKEY m_root;
    std::wstring m_parent;
    std::wstring m_name;
    std::wstring m_subKey;
    REGSAM m_view;
};

// Sets PATH for the life of the object.
class ScopedPath {
public:
    explicit ScopedPath(const std::wstring& value);
    ~ScopedPath();

private:
    std::wstring m_saved;
};

std::wstring UniqueName(const wchar_t* stem);

} // namespace RC::test
