#include "foundation/RCEvent.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCHandles.h"
#include "foundation/RCModuleCache.h"
#include "foundation/RCPath.h"
#include "foundation/RCProcessInfo.h"
#include "foundation/RCProcessList.h"
#include "foundation/RCShellRun.h"
#include "foundation/RCString.h"
#include "foundation/RCSystemInfo.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr DWORD kHangGuardMs = 60000;

// The prefix CTest runs this case in; its bitness is what the answers must match.
std::wstring WinePrefixKind()
{
    wchar_t value[16] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"KIVO_WINE_PREFIX", value, 16);
    return n > 0 && n < 16 ? value : L"wow64";
}

TEST(Bitness, MatchesThePrefix)
{
    const bool wow64Prefix = WinePrefixKind() == L"wow64";
    EXPECT_EQ(RCIs64BitOs(), wow64Prefix);
    EXPECT_EQ(RCIsWow64(), wow64Prefix);
    EXPECT_FALSE(RCIsWow64Process(nullptr));
    EXPECT_EQ(RCIsDirectory(L"C:\\windows\\syswow64"), wow64Prefix);
}

TEST(ModuleCache, LoadsEachNameOnceInAnyCase)
{
    RCModuleCache& cache = RCModuleCache::GetInstance();
    EXPECT_EQ(cache.GetModule(L""), nullptr);
    EXPECT_EQ(cache.GetModule(L"no-such-library.dll"), nullptr);

    const HMODULE lower = cache.GetModule(L"version.dll");
    ASSERT_NE(lower, nullptr);
    EXPECT_EQ(cache.GetModule(L"VERSION.DLL"), lower);
    EXPECT_EQ(::GetModuleHandleW(L"version.dll"), lower);
    EXPECT_EQ(RCModuleCache::GetProc<FARPROC>(L"Version.dll", "NoSuchFunction"), nullptr);
}

// A child process of the same bitness that stays until the test lets it go.
class ChildProcess
{
public:
    ChildProcess()
    {
        const std::wstring base = L"KivoTest-Child-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(s_count++);
        readyName_ = base + L"-ready";
        quitName_ = base + L"-quit";
        EXPECT_TRUE(ready_.Create(readyName_, true));
        EXPECT_TRUE(quit_.Create(quitName_, true));
        path_ = RCGetExeFolder() + L"foundation_child.exe";
    }
    ~ChildProcess()
    {
        quit_.Set();
        if (process_)
            ::WaitForSingleObject(process_.get(), kHangGuardMs);
    }

    bool StartWithShell()
    {
        HANDLE process = nullptr;
        if (!RCShellRun(path_, readyName_ + L" " + quitName_, false, &process))
            return false;
        process_.reset(process);
        return ready_.Wait(kHangGuardMs);
    }

    DWORD Id() const { return ::GetProcessId(process_.get()); }
    const std::wstring& Path() const { return path_; }

private:
    static int s_count;
    std::wstring readyName_, quitName_, path_;
    RC::RCEvent ready_, quit_;
    RC::unique_handle process_;
};
int ChildProcess::s_count = 0;

TEST(Processes, ListsAChildWithItsModulesAndImagePath)
{
    ChildProcess child;
    ASSERT_TRUE(child.StartWithShell());
    const DWORD id = child.Id();
    ASSERT_NE(id, 0u);

    RCProcessList processes;
    ASSERT_TRUE(processes.Refresh());
    auto entry = std::find_if(processes.begin(), processes.end(),
                              [id](const RCProcessEntry& e) { return e.processId == id; });
    ASSERT_NE(entry, processes.end());
    EXPECT_TRUE(RCEqualsNoCase(entry->name, L"foundation_child.exe"));
    EXPECT_TRUE(entry->imagePath.empty());
    EXPECT_TRUE(std::none_of(processes.begin(), processes.end(),
                             [](const RCProcessEntry& e) { return e.processId == 0; }));

    std::vector<std::wstring> modules;
    ASSERT_TRUE(RCGetProcessModules(id, modules));
    auto has = [&modules](const std::wstring& name) {
        return std::any_of(modules.begin(), modules.end(),
                           [&name](const std::wstring& m) { return RCEqualsNoCase(RCGetFileName(m), name); });
    };
    EXPECT_TRUE(has(L"foundation_child.exe"));
    EXPECT_TRUE(has(L"kernel32.dll"));

    EXPECT_TRUE(RCEqualsNoCase(RCGetProcessImagePath(id), child.Path()));
    EXPECT_EQ(RCGetProcessImagePath(0), L"");
    EXPECT_FALSE(RCGetProcessModules(0xFFFFFFF0u, modules));
}

TEST(Processes, ShellRunRefusesAnEmptyPathAndAMissingFile)
{
    HANDLE process = reinterpret_cast<HANDLE>(1);
    EXPECT_FALSE(RCShellRun(L"", L"", false, &process));
    EXPECT_EQ(process, nullptr);
    EXPECT_FALSE(RCShellRun(RCGetExeFolder() + L"no-such-program.exe", L"", true, nullptr));
}

} // namespace
