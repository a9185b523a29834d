// Turning registry texts (command lines, library lists, resource references,
// kernel-style image paths) into the file they name, for either file view.
#include "Src/Engine/Enumerator/RCAvEnumIMPL.h"

#include <shlobj.h>

#include "foundation/RCDebugger.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCString.h"

namespace RC {

namespace {

constexpr DWORD kExpandChars = 260;
constexpr DWORD kFirstPathChars = 4096;

const wchar_t* const kSearchExtensions[] = {
    L".exe", L".dll", L".sys", L".com", L".cpl", L".drv", L".scr", L".ocx",
};

bool Exists(const std::wstring& path)
{
    return RCIsDirectory(path) || RCIsFile(path);
}

// The Windows folder with its trailing backslash; it does not change while
// the process runs.
const std::wstring& WindowsFolder()
{
    static const std::wstring folder = [] {
        std::wstring path;
        RCGetSpecialFolder(CSIDL_WINDOWS, path);
        return path + L"\\";
    }();
    return folder;
}

bool HasExtension(const std::wstring& name)
{
    const size_t nameStart = name.find_last_of(L"\\/");
    const size_t dot = name.rfind(L'.');
    return dot != std::wstring::npos && (nameStart == std::wstring::npos || dot > nameStart);
}

bool ReadPathVariable(std::wstring& value)
{
    std::wstring buffer(kFirstPathChars, L'\0');
    DWORD length = ::GetEnvironmentVariableW(L"PATH", &buffer[0], kFirstPathChars);
    if (length >= kFirstPathChars) {
        buffer.assign(length, L'\0');
        length = ::GetEnvironmentVariableW(L"PATH", &buffer[0], length);
        if (length >= buffer.size())
            return false;
    }
    if (length == 0)
        return false;
    value.assign(buffer.c_str(), length);
    return true;
}

// The text with its environment variables expanded; empty when that fails
// or does not fit the 260 characters of a registry value.
std::wstring ExpandEnvironment(const wchar_t* text)
{
    wchar_t expanded[kExpandChars] = {};
    const DWORD needed = ::ExpandEnvironmentStringsW(text, expanded, kExpandChars);
    if (needed == 0 || needed > kExpandChars)
        return std::wstring();
    return expanded;
}

// The file part of a command text: no enclosing blanks or quotes, nothing
// from the next quote, no arguments after an executable, no "res://" scheme
// and nothing from the first "/" (a resource name or a switch).
std::wstring FileOfCommandText(std::wstring path)
{
    RCTrim(path, L" \"");
    const size_t quote = path.find(L'"');
    if (quote != std::wstring::npos)
        path.erase(quote);
    const int exe = RCFindNoCase(path, L".exe ");
    if (exe >= 0)
        path.erase(static_cast<size_t>(exe) + 4);
    if (RCFindNoCase(path, L"res://") == 0)
        path.erase(0, 6);
    const size_t slash = path.find(L'/');
    if (slash != std::wstring::npos)
        path.erase(slash);
    return path;
}

// Replaces the first what in path by with; false when the result names
// nothing.
bool MapFolder(std::wstring& path, const wchar_t* what, const wchar_t* with)
{
    RCReplaceNoCase(path, what, with);
    return Exists(path);
}

// A path read in the 64-bit registry view names a System32 file as the
// 32-bit view sees it (SysWOW64), and a missing Program Files file may live
// under Program Files (x86); one read in the own view is moved out of
// Program Files (x86). False when the mapped path names nothing.
bool MapToFileView(std::wstring& path, RCRegView view)
{
    if (MapsToSysWow64(view)) {
        if (RCFindNoCase(path, L"\\System32\\") > 0)
            return MapFolder(path, L"\\System32\\", L"\\SysWOW64\\");
        if (RCFindNoCase(path, L"\\Program Files\\") > 0 && !Exists(path))
            return MapFolder(path, L"\\Program Files\\", L"\\Program Files (x86)\\");
        return true;
    }
    if (RCFindNoCase(path, L"\\Program Files (x86)\\") > 0)
        return MapFolder(path, L"\\Program Files (x86)\\", L"\\Program Files\\");
    return true;
}

} // namespace

std::wstring RCAvEnumIMPL::TranslateRegistryPath(const wchar_t* text, RCRegView view)
{
    if (!text || !*text)
        return std::wstring();
    try {
        RC_LOG(Detail, L"originalPath = %s", text);
        std::wstring path = ExpandEnvironment(text);
        if (path.empty())
            return std::wstring();
        path = FileOfCommandText(path);
        if (path.size() < 2 || path[0] == L'%')
            return std::wstring();
        if (path[1] != L':' && !ResolveWithoutDrive(path, view))
            return std::wstring();
        if (!MapToFileView(path, view))
            return std::wstring();
        RC_LOG(Detail, L"retPath = %s", path.c_str());
        return path;
    } catch (...) {
        RC_LOG(Failure, L"execption");
        return std::wstring();
    }
}

bool RCAvEnumIMPL::ResolveWithoutDrive(std::wstring& path, RCRegView view)
{
    bool rewritten = false;
    if (path[0] == L'\\') {
        const std::wstring original = path;
        for (size_t at = path.find(L"\\??\\"); at != std::wstring::npos; at = path.find(L"\\??\\"))
            path.erase(at, 4);
        RCReplaceNoCase(path, L"\\SystemRoot\\", WindowsFolder());
        rewritten = path != original;
    }
    // A kernel-style image path that now names a file needs no search:
    // PATH would only be combined with the whole drive path.
    if (rewritten && RCIsFile(path))
        return true;
    std::wstring found;
    if (!SearchPathEnv(path, found, view))
        return false;
    path = std::move(found);
    return true;
}

bool RCAvEnumIMPL::SearchPathEnv(const std::wstring& name, std::wstring& found, RCRegView view)
{
    if (name.empty())
        return false;
    std::vector<std::wstring> candidates{name};
    if (!HasExtension(name)) {
        for (const wchar_t* extension : kSearchExtensions)
            candidates.push_back(name + extension);
    }

    std::wstring variable;
    if (!ReadPathVariable(variable))
        return false;

    size_t start = 0;
    for (;;) {
        const size_t end = variable.find(L';', start);
        std::wstring folder = variable.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        RCTrimRight(folder, L"\\");
        if (MapsToSysWow64(view) && RCFindNoCase(folder, L"\\System32") > 0)
            RCReplaceNoCase(folder, L"\\System32", L"\\SysWOW64");
        if (!folder.empty()) {
            for (const std::wstring& candidate : candidates) {
                std::wstring path = folder + L"\\" + candidate;
                if (RCIsFile(path)) {
                    found = std::move(path);
                    return true;
                }
            }
        }
        if (end == std::wstring::npos)
            return false;
        start = end + 1;
    }
}

} // namespace RC
