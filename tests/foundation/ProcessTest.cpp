#include "foundation/RCEvent.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCHandles.h"
#include "foundation/RCProcessInfo.h"
#include "foundation/RCProcessList.h"
#include "foundation/RCShellRun.h"
#include "foundation/RCString.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr DWORD kHangGuardMs = 60000;

// The child signals "ready" once it runs and stays until "quit" (at most a minute).
TEST(Processes, ShellRunStartsAChildThatTheListShowsWithItsImagePathAndRefusesWhatIsNotThere)
{
    const std::wstring base = L"KivoTest-Child-" + std::to_wstring(::GetCurrentProcessId());
    RC::RCEvent ready(true, base + L"-ready"), quit(true, base + L"-quit");
    const std::wstring path = RCGetExeFolder() + L"foundation_child.exe";
    HANDLE started = nullptr;
    ASSERT_TRUE(RCShellRun(path, base + L"-ready " + base + L"-quit", false, &started));
    RC::unique_handle process(started);
    ASSERT_TRUE(ready.Wait(kHangGuardMs));
    const DWORD id = ::GetProcessId(process.get());

    RCProcessList processes;
    ASSERT_TRUE(processes.Refresh());
    auto entry =
        std::find_if(processes.begin(), processes.end(), [id](const RCProcessEntry& e) { return e.processId == id; });
    ASSERT_NE(entry, processes.end());
    EXPECT_TRUE(RCEqualsNoCase(entry->name, L"foundation_child.exe"));
    EXPECT_TRUE(RCEqualsNoCase(RCGetProcessImagePath(id), path));
    EXPECT_EQ(RCGetProcessImagePath(0), L"");
    quit.Set();
    EXPECT_EQ(::WaitForSingleObject(process.get(), kHangGuardMs), WAIT_OBJECT_0);

    // An empty path or a missing file starts nothing.
    started = reinterpret_cast<HANDLE>(1);
    EXPECT_FALSE(RCShellRun(L"", L"", false, &started));
    EXPECT_EQ(started, nullptr);
    EXPECT_FALSE(RCShellRun(RCGetExeFolder() + L"no-such-program.exe", L"", true, nullptr));
}

} // namespace
