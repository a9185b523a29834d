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

} // namespace

std::wstring RCAvEnumIMPL::TranslateRegistryPath(const wchar_t* text, bool wow64)
{
    if (!text || !*text)
        return std::wstring();
    try {
        RC_LOG(5, L"originalPath = %s", text);

        wchar_t expanded[kExpandChars] = {};
        const DWORD needed = ::ExpandEnvironmentStringsW(text, expanded, kExpandChars);
        if (needed == 0 || needed > kExpandChars || expanded[0] == L'\0')
            return std::wstring();
        std::wstring path = expanded;

        RCTrim(path, L" \"");
        const size_t quote = path.find(L'"');
        if (quote != std::wstring::npos)
            path.erase(quote);
        // Arguments after an executable are not part of the file.
        const int exe = FindNoCase(path, L".exe ");
        if (exe >= 0)
            path.erase(static_cast<size_t>(exe) + 4);

        const std::wstring& windows = WindowsFolder();
        if (FindNoCase(path, L"res://") == 0)
            path.erase(0, 6);
        const size_t slash = path.find(L'/');
        if (slash != std::wstring::npos)
            path.erase(slash);
        if (path.size() < 2 || path[0] == L'%')
            return std::wstring();

        if (path[1] != L':') {
            bool rewritten = false;
            if (path[0] == L'\\') {
                const std::wstring original = path;
                for (size_t at = path.find(L"\\??\\"); at != std::wstring::npos; at = path.find(L"\\??\\"))
                    path.erase(at, 4);
                ReplaceNoCase(path, L"\\SystemRoot\\", windows);
                rewritten = path != original;
            }
            // A kernel-style image path that now names a file needs no search:
            // PATH would only be combined with the whole drive path.
            if (!(rewritten && RCIsFile(path))) {
                std::wstring found;
                if (!SearchPathEnv(path, found, wow64))
                    return std::wstring();
                path = found;
            }
        }

        if (wow64) {
            if (FindNoCase(path, L"\\System32\\") > 0) {
                ReplaceNoCase(path, L"\\System32\\", L"\\SysWOW64\\");
                if (!Exists(path))
                    return std::wstring();
            } else if (FindNoCase(path, L"\\Program Files\\") > 0 && !Exists(path)) {
                ReplaceNoCase(path, L"\\Program Files\\", L"\\Program Files (x86)\\");
                if (!Exists(path))
                    return std::wstring();
            }
        } else if (FindNoCase(path, L"\\Program Files (x86)\\") > 0) {
            ReplaceNoCase(path, L"\\Program Files (x86)\\", L"\\Program Files\\");
            if (!Exists(path))
                return std::wstring();
        }

        RC_LOG(5, L"retPath = %s", path.c_str());
        return path;
    } catch (...) {
        RC_LOG(1, L"execption");
        return std::wstring();
    }
}

bool RCAvEnumIMPL::SearchPathEnv(const std::wstring& name, std::wstring& found, bool wow64)
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
        if (wow64 && FindNoCase(folder, L"\\System32") > 0)
            ReplaceNoCase(folder, L"\\System32", L"\\SysWOW64");
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
