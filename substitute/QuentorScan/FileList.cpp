#include "substitute/QuentorScan/FileList.h"

#include <windows.h>
#include <psapi.h>

#include "substitute/system/SubstituteHandles.h"
#include "substitute/system/Wow64RedirectionOff.h"

namespace Substitute {

namespace {

void Walk(const std::wstring& path, std::vector<std::wstring>& files)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        files.push_back(path);
        return;
    }
    WIN32_FIND_DATAW found{};
    UniqueFind find = UniqueFind(FindFirstFileW((path + L"\\*").c_str(), &found));
    if (!find)
        return;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            Walk(path + L"\\" + name, files);
    } while (FindNextFileW(find.get(), &found));
}

} // namespace

std::vector<std::wstring> ListFiles(const std::vector<std::wstring>& roots)
{
    std::vector<std::wstring> files;
    // The walk names files as a 64-bit process would, as the engine opens them.
    Wow64RedirectionOff redirectionOff;
    for (const std::wstring& root : roots)
        Walk(root, files);
    return files;
}

double PeakWorkingSetMiB()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return counters.PeakWorkingSetSize / 1048576.0;
}

} // namespace Substitute
