// A host that frees the library right after it releases the module, while
// the network monitor's probe hangs on a listener whose queue is full.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "ForeignHost.h"
#include "Src/Engine/RCNetAptMonitor.h"
#include "foundation/RCEvent.h"
#include "foundation/RCHandles.h"
#include "support/LoopbackListener.h"

namespace {

std::vector<DWORD> ThreadsOfThisProcess()
{
    std::vector<DWORD> ids;
    RC::unique_snapshot snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId())
            ids.push_back(entry.th32ThreadID);
    return ids;
}

} // namespace

TEST(ForeignHostUnload, TheReleaseLeavesAHangingProbeBehindAndTheLibraryGoesOnlyAfterItsThreads)
{
    KivoTest::LoopbackListener listener;
    ASSERT_TRUE(listener.FillQueue());
    RC::unique_hkey key;
    const std::wstring probeHost = L"127.0.0.1:" + std::to_wstring(listener.Port());
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, RC::RCNetAptMonitor::kSettingsKey, 0, nullptr, 0,
                                               KEY_SET_VALUE, nullptr, key.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.get(), RC::RCNetAptMonitor::kProbeHostValue, 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(probeHost.c_str()),
                                              static_cast<DWORD>((probeHost.size() + 1) * sizeof(wchar_t))));

    const std::vector<DWORD> before = ThreadsOfThisProcess();
    ForeignModule* module = StartForeignModule(L"RCTrevox.dll");
    ASSERT_NE(nullptr, module);
    ::Sleep(1000); // the monitor thread reads the setting and begins its probe
    ::RegDeleteValueW(key.get(), RC::RCNetAptMonitor::kProbeHostValue);
    std::vector<RC::unique_handle> moduleThreads;
    for (DWORD id : ThreadsOfThisProcess())
        if (std::find(before.begin(), before.end(), id) == before.end())
            moduleThreads.emplace_back(::OpenThread(SYNCHRONIZE, FALSE, id));

    RC::RCEvent released(true);
    std::thread releaser([&] {
        ReleaseForeignModule(module);
        released.Set();
    });
    // The probe hangs for minutes; the release waits for it only as long as
    // a module stop may (10 s, and up to 5 s for the update relay's wake).
    EXPECT_TRUE(released.Wait(60000)) << "the release waited for the probe";
    // The thread still probing keeps the library the host has freed.
    EXPECT_NE(nullptr, ::GetModuleHandleW(L"RCTrevox.dll"));
    listener.Close(); // the probe's next attempt is refused
    releaser.join();
    // A thread that ran on in a freed library would have ended the process.
    for (const RC::unique_handle& thread : moduleThreads)
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.get(), 60000));
    EXPECT_EQ(nullptr, ::GetModuleHandleW(L"RCTrevox.dll"));
}
