#include "foundation/RCFileEnumerator.h"

#include "foundation/RCHandles.h"
#include "foundation/RCPath.h"

#include <vector>

namespace {

bool IsDotEntry(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

RC::unique_hfind FindFirst(const std::wstring& directory, WIN32_FIND_DATAW& entry)
{
    std::wstring pattern = directory;
    RCNormalizePath(pattern, RC_PATH_REMOVE_BACKSLASH);
    pattern += L"\\*";
    RC::unique_hfind find(::FindFirstFileW(pattern.c_str(), &entry));
    std::wstring longPattern;
    if (!find && RCToLongPath(pattern, longPattern))
        find.reset(::FindFirstFileW(longPattern.c_str(), &entry));
    return find;
}

} // namespace

std::wstring RCJoinFoundEntry(const std::wstring& directory, const std::wstring& name)
{
    std::wstring path = directory;
    RCNormalizePath(path, RC_PATH_ADD_BACKSLASH);
    return path + name;
}

uint32_t RCEnumerateFiles(const std::wstring& directory, RC::RCFileEnumeratorCallback* callback)
{
    if (!callback)
        return static_cast<uint32_t>(E_INVALIDARG);

    // Directories still to list, the next one on top. A directory's children
    // go on in reverse so that they come off in listing order, each subtree
    // finished before the next sibling: depth first without recursion, so a
    // deep tree cannot exhaust the thread's stack.
    std::vector<std::wstring> pending{directory};
    std::vector<std::wstring> children;
    while (!pending.empty()) {
        const std::wstring current = std::move(pending.back());
        pending.pop_back();

        WIN32_FIND_DATAW entry = {};
        RC::unique_hfind find = FindFirst(current, entry);
        if (!find)
            continue;
        children.clear();
        do {
            if (IsDotEntry(entry.cFileName))
                continue;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                    children.push_back(RCJoinFoundEntry(current, entry.cFileName));
                continue;
            }
            const uint32_t answer = callback->OnFindFile(current, entry.cFileName, entry);
            if (answer != 0)
                return answer;
        } while (::FindNextFileW(find.get(), &entry));
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return 0;
}
