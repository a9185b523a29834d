#include "foundation/RCShellRun.h"

#include "foundation/RCHandles.h"
#include "foundation/RCModuleCache.h"
#include "foundation/RCPath.h"
#include "foundation/RCSystemInfo.h"

#include <shellapi.h>

bool RCShellRun(const std::wstring& path, const std::wstring& parameters, bool elevate, HANDLE* process)
{
    using ShellExecuteExFn = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);

    if (process)
        *process = nullptr;
    if (path.empty())
        return false;

    std::wstring directory;
    RCGetFolder(path, directory);
    const wchar_t* verb = L"open";
    OSVERSIONINFOEXW version;
    if (elevate && RCGetOsVersion(version) && version.dwMajorVersion >= 6)
        verb = L"runas";

    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | SEE_MASK_ASYNCOK;
    info.lpVerb = verb;
    info.lpFile = path.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    info.nShow = SW_SHOWNORMAL;

    auto shellExecute = RCModuleCache::GetProc<ShellExecuteExFn>(L"Shell32.dll", "ShellExecuteExW");
    if (!shellExecute || !shellExecute(&info) || !info.hProcess)
        return false;
    RC::unique_handle started(info.hProcess);
    if (process)
        *process = started.release();
    return true;
}
