#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>

#include "Src/Engine/Enumerator/RCAvEnumService.h"
#include "EnumTestSupport.h"
#include "engine/Wow64FsRedirectionGuard.h"
#include "foundation/RCHandles.h"
#include "foundation/RCString.h"
#include "foundation/RCSystemInfo.h"

using namespace RC;
using namespace RC::test;

namespace {

// A demand-start service of the test's own, deleted again however the test ends.
class ScratchService {
public:
    ScratchService(DWORD type, const std::wstring& binary)
        : manager_(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS))
    {
        const std::wstring name = UniqueName(L"KivoSvc");
        service_.reset(::CreateServiceW(manager_.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, type,
                                        SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, binary.c_str(), nullptr, nullptr,
                                        nullptr, nullptr, nullptr));
    }
    ~ScratchService()
    {
        if (service_)
            ::DeleteService(service_.get());
    }
    bool Created() const { return service_.is_valid(); }

private:
    unique_schandle manager_, service_;
};

// A file made by the test in a system folder, removed again.
struct ScratchFile {
    explicit ScratchFile(std::wstring at)
        : path(std::move(at)),
          created(unique_hfile(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr))
                      .is_valid())
    {
    }
    ~ScratchFile() { ::DeleteFileW(path.c_str()); }
    std::wstring path;
    bool created;
};

// Runs an enumerator as the enumeration thread does: with the native file view.
std::vector<std::wstring> Walk(RCAvEnumService* enumerator, bool stopAtFirst = false)
{
    Wow64FsRedirectionGuard redirection;
    redirection.Disable();
    RecordingSink sink;
    sink.stopAtFirst = stopAtFirst;
    return RunOnce(enumerator, sink);
}

size_t CountNoCase(const std::vector<std::wstring>& paths, const std::wstring& path)
{
    return std::count_if(paths.begin(), paths.end(), [&](const std::wstring& p) { return RCEqualsNoCase(p, path); });
}

// The service host flag lives as long as the process: these runs are the first of it.
TEST(RCAvEnumServiceTest, TheServiceHostIsReportedOncePerProcessAnyOtherSpellingEveryTime)
{
    const std::wstring quotedExe = L"C:\\Kivo Services\\" + UniqueName(L"svc") + L".exe";
    ScratchService hostA(SERVICE_WIN32_SHARE_PROCESS, L"C:\\windows\\system32\\svchost.exe -k kivoA");
    ScratchService hostB(SERVICE_WIN32_SHARE_PROCESS, L"C:\\windows\\system32\\svchost.exe -k kivoB");
    ScratchService shouted(SERVICE_WIN32_OWN_PROCESS, L"C:\\WINDOWS\\SYSTEM32\\SVCHOST.EXE -k x");
    ScratchService quoted(SERVICE_WIN32_OWN_PROCESS, L"\"" + quotedExe + L"\" /run \"now\"");
    const std::wstring driverFile = L"C:\\Kivo Services\\" + UniqueName(L"drv") + L".sys";
    ScratchService driver(SERVICE_KERNEL_DRIVER, driverFile);
    ASSERT_TRUE(hostA.Created() && hostB.Created() && shouted.Created() && quoted.Created() && driver.Created());

    for (size_t run = 0; run < 2; ++run) {
        const std::vector<std::wstring> paths = Walk(new RCAvEnumService(0x02, 19));
        const size_t hosts = std::count_if(paths.begin(), paths.end(), [](const std::wstring& p) {
            return std::wcsstr(p.c_str(), L"svchost.exe") && RCFindNoCase(p, L"\\system32\\") > 0;
        });
        EXPECT_EQ(hosts, run == 0 ? 1u : 0u) << run;
        EXPECT_EQ(std::count(paths.begin(), paths.end(), L"C:\\WINDOWS\\SYSTEM32\\SVCHOST.EXE"), 1) << run;
        // The 32-bit view of the host is a file of its own on 64-bit Windows.
        EXPECT_EQ(std::count(paths.begin(), paths.end(), L"C:\\WINDOWS\\SysWOW64\\SVCHOST.EXE"), RCIs64BitOs() ? 1 : 0)
            << run;
        EXPECT_EQ(std::count(paths.begin(), paths.end(), quotedExe), 1) << run;
        EXPECT_EQ(std::count(paths.begin(), paths.end(), driverFile), 0) << run;
    }
    // A stop taken with the first binary ends the walk before the next service.
    EXPECT_LE(Walk(new RCAvEnumService(0x02, 19), true).size(), 2u);
}

TEST(RCAvEnumServiceTest, DriverImagePathsUnderTheSystemFolderAreFoundInEachView)
{
    Wow64FsRedirectionGuard redirection;
    redirection.Disable();
    const std::wstring relative = UniqueName(L"kivorel") + L".sys";
    const std::wstring rooted = UniqueName(L"kivoroot") + L".sys";
    const std::wstring native = L"C:\\windows\\system32\\";
    const std::wstring view32 = L"C:\\windows\\SysWOW64\\";
    // Also one only in the system folder, and one only in the 32-bit system folder with another extension.
    const std::wstring nativeOnly = UniqueName(L"kivonative") + L".sys", only32 = UniqueName(L"kivo32");
    ScratchFile files[] = {ScratchFile(native + relative),   ScratchFile(native + rooted),
                           ScratchFile(view32 + relative),   ScratchFile(view32 + rooted),
                           ScratchFile(native + nativeOnly), ScratchFile(view32 + only32 + L".ocx")};
    ASSERT_TRUE(files[0].created && files[1].created && files[4].created);
    ASSERT_EQ(files[2].created, RCIs64BitOs());
    ScratchService byPath(SERVICE_KERNEL_DRIVER, L"system32\\" + relative);
    ScratchService byRoot(SERVICE_KERNEL_DRIVER, L"\\SystemRoot\\system32\\" + rooted);
    ScratchService byFullPath(SERVICE_KERNEL_DRIVER, native + nativeOnly);
    ScratchService byName(SERVICE_KERNEL_DRIVER, only32);
    ScratchService service(SERVICE_WIN32_OWN_PROCESS, native + L"kivo-not-a-driver.exe");
    ASSERT_TRUE(byPath.Created() && byRoot.Created() && byFullPath.Created() && byName.Created() && service.Created());

    const std::vector<std::wstring> paths = Walk(new RCAvEnumDriver(0x02, 18));
    EXPECT_EQ(CountNoCase(paths, native + relative), 1u);
    EXPECT_EQ(CountNoCase(paths, native + rooted), 1u);
    EXPECT_EQ(CountNoCase(paths, view32 + relative), RCIs64BitOs() ? 1u : 0u);
    EXPECT_EQ(CountNoCase(paths, view32 + rooted), RCIs64BitOs() ? 1u : 0u);
    EXPECT_EQ(CountNoCase(paths, native + nativeOnly), 1u);
    EXPECT_EQ(CountNoCase(paths, view32 + nativeOnly), 0u);
    EXPECT_EQ(CountNoCase(paths, view32 + only32 + L".ocx"), RCIs64BitOs() ? 1u : 0u);
    EXPECT_EQ(CountNoCase(paths, native + L"kivo-not-a-driver.exe"), 0u);
}

} // namespace
