// kivoscan run as a user runs it: a child process with its output in files,
// its exit code and what it printed checked after it ended. (Ctrl-C is
// kivoscan-interrupt.sh: Wine turns a SIGINT into the console event.)
#include <windows.h>

#include <gtest/gtest.h>

#include <boost/property_tree/json_parser.hpp>
#include <sstream>

#include "Src/Engine/Enumerator/EnumTestSupport.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCHandles.h"
#include "support/TestData.h"

namespace {

using RC::test::ScratchDir;
using KivoTest::kEicar;
using KivoTest::ReadAll;

constexpr DWORD kHangGuardMs = 120000;
const std::string kEicarMd5 = "44D88612FEA8A8F36DE82E1278ABB02F";
const std::string kListed = "@echo off\r\necho listed in the demo database\r\n";  // 45 bytes
const std::string kDemoHdb = "4aa942831bfee960b3c13394e43e8017:45:PUA.Win.Adware.KivoDemo-1\n";

struct Outcome {
    DWORD exitCode = STILL_ACTIVE;
    std::string out;
    std::string err;
};

// One kivoscan process; stdout and stderr go to files of a scratch folder.
class Kivoscan {
public:
    explicit Kivoscan(const std::wstring& args, const std::wstring& exe = RCGetExeFolder() + L"kivoscan.exe")
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        RC::unique_hfile out(CreateFileW(outPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         &inherit, CREATE_ALWAYS, 0, nullptr));
        RC::unique_hfile err(CreateFileW(errPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         &inherit, CREATE_ALWAYS, 0, nullptr));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out.get();
        startup.hStdError = err.get();
        std::wstring line = L"\"" + exe + L"\" " + args;
        PROCESS_INFORMATION info{};
        if (CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, files_.Path().c_str(),
                           &startup, &info)) {
            process_.reset(info.hProcess);
            RC::unique_handle thread(info.hThread);
        }
    }
    Outcome Finish()
    {
        Outcome outcome;
        if (process_ && WaitForSingleObject(process_.get(), kHangGuardMs) != WAIT_OBJECT_0)
            TerminateProcess(process_.get(), 99);
        if (process_)
            GetExitCodeProcess(process_.get(), &outcome.exitCode);
        outcome.out = ReadAll(outPath_);
        outcome.err = ReadAll(errPath_);
        return outcome;
    }

private:
    ScratchDir files_;
    const std::wstring outPath_ = files_.Path() + L"\\out.txt";
    const std::wstring errPath_ = files_.Path() + L"\\err.txt";
    RC::unique_handle process_;
};

Outcome RunKivoscan(const std::wstring& args) { return Kivoscan(args).Finish(); }

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

class KivoscanTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        signatures_.Write(L"demo.hdb", kDemoHdb);
        ASSERT_TRUE(RCIsFile(RCGetExeFolder() + L"kivoscan.exe"));
    }
    std::wstring WithDemoSignatures() const { return L"--signatures " + Quoted(signatures_.Path()) + L" "; }

    ScratchDir signatures_;
    ScratchDir folder_;
};

TEST_F(KivoscanTest, ReportsBothThreatsOfTheDemoFolderWithTheirAdviceAndACleanFolderExitsZero)
{
    folder_.Write(L"hello.bat", "@echo hello\r\n");
    folder_.Write(L"eicar.com", kEicar);
    folder_.Make(L"docs");
    const std::wstring listed = folder_.Write(L"docs\\listed.bat", kListed);

    Outcome found = RunKivoscan(WithDemoSignatures() + Quoted(folder_.Path()));
    EXPECT_EQ(1u, found.exitCode) << found.err;
    EXPECT_NE(std::string::npos, found.out.find("eicar.com: Eicar-Test-Signature FOUND")) << found.out;
    EXPECT_NE(std::string::npos, found.out.find("listed.bat: PUA.Win.Adware.KivoDemo-1 FOUND")) << found.out;
    EXPECT_NE(std::string::npos, found.out.find(u8"    木马, 隔离文件: 木马文件通常利用系统漏洞")) << found.out;
    EXPECT_NE(std::string::npos, found.out.find(u8"    插件, 隔离文件: 插件文件可能会恶意获取")) << found.out;
    EXPECT_NE(std::string::npos, found.out.find("Scanned files: 3\nThreats found: 2\n")) << found.out;

    ScratchDir clean;
    clean.Write(L"hello.bat", "@echo hello\r\n");
    Outcome nothing = RunKivoscan(Quoted(clean.Path()));
    EXPECT_EQ(0u, nothing.exitCode) << nothing.err;
    EXPECT_NE(std::string::npos, nothing.out.find("State: completed")) << nothing.out;
    EXPECT_NE(std::string::npos, nothing.out.find("Threats found: 0")) << nothing.out;
}

TEST_F(KivoscanTest, JsonLinesCarryTheTaskEventsInOrder)
{
    folder_.Write(L"eicar.com", kEicar);
    Outcome run = RunKivoscan(L"--json " + Quoted(folder_.Path()));
    EXPECT_EQ(1u, run.exitCode) << run.err;

    const std::vector<std::string> expected = {"EVT_TASK_SETUP_DONE/", "EVT_SCAN_STATE/1", "EVT_SCAN_PROGRESS/",
                                               "EVT_THREAT_FOUND/", "EVT_SCAN_STATE/4"};
    size_t next = 0;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        boost::property_tree::ptree event;
        std::istringstream text(line);
        ASSERT_NO_THROW(boost::property_tree::read_json(text, event)) << line;
        const std::string name = event.get<std::string>("event", "") + "/";
        const std::string key = name == "EVT_SCAN_STATE/" ? name + event.get<std::string>("state") : name;
        if (name == "EVT_THREAT_FOUND/") {
            EXPECT_EQ(u8"木马", event.get<std::string>("categoryName")) << line;
        }
        if (next < expected.size() && key == expected[next])
            ++next;
    }
    EXPECT_EQ(expected.size(), next) << run.out;
}

TEST_F(KivoscanTest, AMissingPathAnUnknownOptionAndAMissingEngineExitTwoWithAMessage)
{
    ScratchDir bare;
    ASSERT_TRUE(CopyFileW((RCGetExeFolder() + L"kivoscan.exe").c_str(), (bare.Path() + L"\\kivoscan.exe").c_str(),
                          FALSE));
    const Outcome outcomes[] = {RunKivoscan(Quoted(folder_.Path() + L"\\no-such-file.exe")),
                                RunKivoscan(L"--no-such-option"),
                                Kivoscan(Quoted(folder_.Path()), bare.Path() + L"\\kivoscan.exe").Finish()};
    const char* messages[] = {"no-such-file.exe: no such file or folder", "unknown option '--no-such-option'",
                              "engine missing"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(2u, outcomes[i].exitCode) << messages[i];
        EXPECT_EQ(0u, outcomes[i].err.rfind("kivoscan: ", 0)) << outcomes[i].err;
        EXPECT_NE(std::string::npos, outcomes[i].err.find(messages[i])) << outcomes[i].err;
    }
}

// The engine's quarantine beside this program starts empty.
void EmptyQuarantine()
{
    const std::wstring folder = RCGetExeFolder() + L"Quarantine\\";
    WIN32_FIND_DATAW found{};
    RC::unique_hfind find(FindFirstFileW((folder + L"*.qtn").c_str(), &found));
    if (find)
        do
            DeleteFileW((folder + found.cFileName).c_str());
        while (FindNextFileW(find.get(), &found));
}

TEST_F(KivoscanTest, AQuarantinedFileIsListedAndRestoredByteForByte)
{
    EmptyQuarantine();
    const std::wstring eicar = folder_.Write(L"eicar.com", kEicar);
    Outcome scan = RunKivoscan(L"--quarantine " + Quoted(folder_.Path()));
    EXPECT_EQ(1u, scan.exitCode) << scan.err;
    EXPECT_NE(std::string::npos, scan.out.find("eicar.com: quarantined")) << scan.out;
    EXPECT_NE(std::string::npos, scan.out.find("Quarantined: 1")) << scan.out;
    ASSERT_FALSE(RCPathExists(eicar));

    Outcome list = RunKivoscan(L"--list-quarantine");
    EXPECT_EQ(0u, list.exitCode) << list.err;
    EXPECT_NE(std::string::npos, list.out.find(kEicarMd5)) << list.out;

    Outcome restore = RunKivoscan(L"--restore " + std::wstring(kEicarMd5.begin(), kEicarMd5.end()) + L" " +
                                  Quoted(eicar));
    EXPECT_EQ(0u, restore.exitCode) << restore.err;
    EXPECT_EQ(kEicar, ReadAll(eicar));
    EXPECT_EQ(std::string::npos, RunKivoscan(L"--list-quarantine").out.find(kEicarMd5));
}

} // namespace
