#include "foundation/RCFileSystem.h"

#include "foundation/RCHandles.h"
#include "foundation/RCModuleCache.h"
#include "foundation/RCPath.h"

#include <shlobj.h>

#include <utility>

namespace {

bool EndsWithSeparator(const std::wstring& path)
{
    return !path.empty() && (path.back() == L'\\' || path.back() == L'/');
}

bool IsValid(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES;
}

bool IsNonDirectory(DWORD attributes)
{
    return IsValid(attributes) && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

DWORD RCGetFileAttributes(const std::wstring& path)
{
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    std::wstring longPath;
    if (!IsValid(attributes) && RCToLongPath(path, longPath))
        attributes = ::GetFileAttributesW(longPath.c_str());
    return attributes;
}

namespace {

// Whether the path's attributes pass the test; a path with a trailing
// separator gets a second try without it ("C:\\file.exe\\" names the file).
bool PathPasses(std::wstring path, bool (*test)(DWORD))
{
    if (path.empty())
        return false;
    RCNormalizePath(path, RC_PATH_UNQUOTE);
    if (test(RCGetFileAttributes(path)))
        return true;
    if (path.size() > 2 && EndsWithSeparator(path)) {
        RCNormalizePath(path, RC_PATH_REMOVE_BACKSLASH);
        return test(RCGetFileAttributes(path));
    }
    return false;
}

} // namespace

bool RCPathExists(std::wstring path)
{
    return PathPasses(std::move(path), &IsValid);
}

bool RCIsFile(std::wstring path)
{
    return PathPasses(std::move(path), &IsNonDirectory);
}

bool RCIsDirectory(std::wstring path)
{
    if (path.empty())
        return false;
    RCNormalizePath(path, RC_PATH_UNQUOTE);
    const DWORD attributes = RCGetFileAttributes(path);
    return IsValid(attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RCCreateDirectories(const std::wstring& path)
{
    if (path.empty())
        return false;
    if (RCIsDirectory(path))
        return true;
    ::CreateDirectoryW(path.c_str(), nullptr);
    if (RCIsDirectory(path))
        return true;

    // Create each missing parent in turn; one that fails (a drive root, a
    // share) may still be there, so go on and let the last step decide.
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != L'\\' && path[i] != L'/')
            continue;
        const std::wstring parent = path.substr(0, i);
        if (!parent.empty() && !RCPathExists(parent))
            ::CreateDirectoryW(parent.c_str(), nullptr);
    }
    if (!RCPathExists(path))
        ::CreateDirectoryW(path.c_str(), nullptr);
    return RCIsDirectory(path);
}

uint64_t RCGetFileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    BOOL found = ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    std::wstring longPath;
    if (!found && RCToLongPath(path, longPath))
        found = ::GetFileAttributesExW(longPath.c_str(), GetFileExInfoStandard, &data);
    if (found) {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            return 0;
        return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }

    // Files held open without sharing refuse the attribute query but still
    // show in a directory listing.
    WIN32_FIND_DATAW entry = {};
    RC::unique_hfind find(::FindFirstFileW(path.c_str(), &entry));
    if (!find || (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    return (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

bool RCGetSpecialFolder(int folderId, std::wstring& path)
{
    using GetLocationFn = HRESULT(WINAPI*)(HWND, int, PIDLIST_ABSOLUTE*);
    using GetPathFn = BOOL(WINAPI*)(PCIDLIST_ABSOLUTE, LPWSTR);
    using FreeFn = void(WINAPI*)(LPVOID);

    path.clear();
    auto getLocation = RCModuleCache::GetProc<GetLocationFn>(L"Shell32.dll", "SHGetSpecialFolderLocation");
    auto getPath = RCModuleCache::GetProc<GetPathFn>(L"Shell32.dll", "SHGetPathFromIDListW");
    auto freeMemory = RCModuleCache::GetProc<FreeFn>(L"Ole32.dll", "CoTaskMemFree");

    if (getLocation && getPath && freeMemory) {
        PIDLIST_ABSOLUTE items = nullptr;
        if (SUCCEEDED(getLocation(nullptr, folderId, &items)) && items) {
            wchar_t buffer[1040] = {};
            const BOOL ok = getPath(items, buffer);
            freeMemory(items);
            if (ok) {
                path = buffer;
                return true;
            }
        }
    }

    if (folderId == CSIDL_APPDATA) {
        wchar_t buffer[519] = {};
        const DWORD n = ::GetEnvironmentVariableW(L"APPDATA", buffer, 519);
        if (n > 0 && n < 519)
            path = buffer;
        return !path.empty();
    }
    return false;
}

bool RCReadWholeFile(const std::wstring& path, std::vector<char>& text)
{
    // As the engine's file stream opens for reading: a path too long for
    // CreateFile is retried by its long form, sharing writes as well.
    const DWORD flags = FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL;
    RC::unique_hfile file(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr));
    std::wstring longPath;
    if (!file && RCToLongPath(path, longPath))
        file.reset(::CreateFileW(longPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, flags, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart == 0 || size.QuadPart >= 0x7FFFFFFF)
        return false;
    text.assign(static_cast<size_t>(size.QuadPart) + 1, '\0');
    // Large reads are split so that no single system call grows huge.
    constexpr DWORD kMaxChunk = 0x100000;
    DWORD total = 0;
    const DWORD wanted = static_cast<DWORD>(size.QuadPart);
    while (total < wanted) {
        const DWORD chunk = wanted - total < kMaxChunk ? wanted - total : kMaxChunk;
        DWORD read = 0;
        if (!::ReadFile(file.get(), text.data() + total, chunk, &read, nullptr) || read == 0)
            break;
        total += read;
    }
    if (total != wanted) {
        text.clear();
        return false;
    }
    return true;
}

std::wstring RCGetExeFolder()
{
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD n = ::GetModuleFileNameW(::GetModuleHandleW(nullptr), buffer, MAX_PATH + 1);
    std::wstring folder;
    if (n == 0 || n > MAX_PATH || !RCGetFolder(std::wstring(buffer, n), folder))
        return std::wstring();
    RCNormalizePath(folder, RC_PATH_ADD_BACKSLASH);
    return folder;
}
