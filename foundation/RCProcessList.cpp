#include "foundation/RCProcessList.h"

#include "foundation/RCHandles.h"
#include "foundation/RCModuleCache.h"
#include "foundation/RCPath.h"
#include "foundation/RCProcessInfo.h"

#include <tlhelp32.h>

namespace {

// The file name of a path's full form.
std::wstring FullFileName(const std::wstring& path)
{
    wchar_t buffer[MAX_PATH * 2] = {};
    wchar_t* filePart = nullptr;
    const DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH * 2, buffer, &filePart);
    if (n == 0 || n >= MAX_PATH * 2 || !filePart)
        return std::wstring();
    return filePart;
}

} // namespace

bool RCProcessList::Refresh()
{
    using SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
    using WalkFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32W*);

    clear();
    HMODULE kernel = ::GetModuleHandleW(L"Kernel32.dll");
    if (!kernel)
        kernel = RCModuleCache::GetInstance().GetModule(L"Kernel32.dll");
    if (!kernel)
        return false;
    auto snapshotFn = RCGetProcAddress<SnapshotFn>(kernel, "CreateToolhelp32Snapshot");
    auto firstFn = RCGetProcAddress<WalkFn>(kernel, "Process32FirstW");
    auto nextFn = RCGetProcAddress<WalkFn>(kernel, "Process32NextW");
    if (!snapshotFn || !firstFn || !nextFn)
        return false;

    RC::unique_snapshot snapshot(snapshotFn(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return false;

    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = firstFn(snapshot.get(), &entry); more; more = nextFn(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == 0)
            continue;
        RCProcessEntry process;
        process.name = entry.szExeFile;
        process.processId = entry.th32ProcessID;
        process.parentProcessId = entry.th32ParentProcessID;
        // A "~" marks a short 8.3 name, which callers could not match against
        // the names they know; the image path gives the long one.
        if (process.name.find(L'~') != std::wstring::npos) {
            const std::wstring image = RCGetProcessImagePath(process.processId);
            if (!image.empty()) {
                process.imagePath = image;
                const std::wstring longName = FullFileName(image);
                if (!longName.empty())
                    process.name = longName;
            }
        }
        push_back(std::move(process));
    }
    return true;
}
