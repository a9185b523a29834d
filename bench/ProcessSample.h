#pragma once
// The process's handle count and memory, as the stress programs compare them
// between an early point of a run and its end.
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <vector>

namespace KivoBench {

struct ProcessSample {
    DWORD handles = 0;
    double privateMiB = 0;
    double workingSetMiB = 0;
};

// Wine 8 answers GetProcessHandleCount with 0; its system handle list is real.
inline DWORD HandleCount()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0)
        return count;
    std::vector<char> buffer(1 << 16);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(16), buffer.data(),
                                              static_cast<ULONG>(buffer.size()), &needed)) ==
           static_cast<NTSTATUS>(0xC0000004L)) // the list outgrew the buffer
        buffer.resize(buffer.size() * 2);
    if (status < 0)
        return 0;
    const auto* list = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(buffer.data());
    for (ULONG i = 0; i < list->Count; ++i)
        count += list->Handle[i].OwnerPid == GetCurrentProcessId();
    return count;
}

inline ProcessSample SampleProcess()
{
    ProcessSample sample;
    sample.handles = HandleCount();
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    // The commit charge is the private bytes; Wine fills only the older field.
    sample.privateMiB = (counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage) / 1048576.0;
    sample.workingSetMiB = counters.WorkingSetSize / 1048576.0;
    return sample;
}

} // namespace KivoBench
