#include "foundation/RCPath.h"

#include <windows.h>

#include <cwctype>
#include <vector>

namespace {

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

void RemoveTrailingSeparators(std::wstring& path)
{
    while (!path.empty() && IsSeparator(path.back()))
        path.pop_back();
}

void RemoveQuotePair(std::wstring& path, wchar_t quote)
{
    if (path.size() >= 2 && path.front() == quote && path.back() == quote)
        path = path.substr(1, path.size() - 2);
}

bool FullPathName(const std::wstring& path, std::wstring& full, size_t& namePart)
{
    wchar_t* filePart = nullptr;
    DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0)
        return false;
    std::vector<wchar_t> buffer(n + 1);
    n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), &filePart);
    if (n == 0 || n >= buffer.size())
        return false;
    full.assign(buffer.data(), n);
    namePart = filePart ? static_cast<size_t>(filePart - buffer.data()) : full.size();
    return true;
}

} // namespace

void RCNormalizePath(std::wstring& path, unsigned flags)
{
    if (flags & RC_PATH_LOWER) {
        for (wchar_t& c : path)
            c = static_cast<wchar_t>(std::towlower(c));
    }
    if (flags & RC_PATH_UPPER) {
        for (wchar_t& c : path)
            c = static_cast<wchar_t>(std::towupper(c));
    }
    if (flags & RC_PATH_UNQUOTE) {
        RemoveQuotePair(path, L'"');
        RemoveQuotePair(path, L'\'');
    }
    if (flags & RC_PATH_ADD_BACKSLASH) {
        RemoveTrailingSeparators(path);
        if (!path.empty())
            path += L'\\';
    }
    if (flags & RC_PATH_REMOVE_BACKSLASH)
        RemoveTrailingSeparators(path);
    if (flags & RC_PATH_BACKSLASHES) {
        for (wchar_t& c : path) {
            if (c == L'/')
                c = L'\\';
        }
    }
}

std::wstring RCPathJoin(const std::wstring& folder, const std::wstring& name)
{
    std::wstring tail = name;
    RCNormalizePath(tail, RC_PATH_UNQUOTE);
    if (RCIsAbsolutePath(tail))
        return tail;

    std::wstring head = folder;
    RCNormalizePath(head, RC_PATH_UNQUOTE | RC_PATH_ADD_BACKSLASH);
    size_t start = 0;
    while (start < tail.size() && IsSeparator(tail[start]))
        ++start;
    tail.erase(0, start);
    return head.empty() ? tail : head + tail;
}

bool RCIsAbsolutePath(const std::wstring& path)
{
    if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\')
        return true;
    return path.size() >= 3 && path[1] == L':' && IsSeparator(path[2]);
}

std::wstring RCGetFileName(const std::wstring& path)
{
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

bool RCGetFolder(const std::wstring& path, std::wstring& folder)
{
    std::wstring full;
    size_t namePart = 0;
    if (path.empty() || !FullPathName(path, full, namePart))
        return false;
    folder = full.substr(0, namePart);
    return true;
}

bool RCToLongPath(const std::wstring& path, std::wstring& longPath)
{
    const bool drivePath = path.size() > 2 && path[1] == L':' &&
                           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    longPath = drivePath ? L"\\\\?\\" + path : path;
    return drivePath;
}
