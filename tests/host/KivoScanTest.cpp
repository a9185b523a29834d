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

const std::string kEicarMd5 = "44D88612FEA8A8F36DE82E1278ABB02F";

struct Outcome {
    DWORD exitCode = STILL_ACTIVE;
    std::string out, err;
};

// One kivoscan process, waited for (bounded, so that a hang fails the case).
Outcome Kivoscan(const std::wstring& args, const std::wstring& exe = RCGetExeFolder() + L"kivoscan.exe")
{
    ScratchDir files;
    const std::wstring outPath = files.Path() + L"\\out.txt", errPath = files.Path() + L"\\err.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    RC::unique_hfile out(CreateFileW(outPath.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr));
    RC::unique_hfile err(CreateFileW(errPath.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    std::wstring line = L"\"" + exe + L"\" " + args;
    PROCESS_INFORMATION info{};
    EXPECT_TRUE(CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, files.Path().c_str(),
                               &startup, &info));
    RC::unique_handle process(info.hProcess), thread(info.hThread);
    Outcome outcome;
    if (WaitForSingleObject(process.get(), 120000) != WAIT_OBJECT_0)
        TerminateProcess(process.get(), 99);
    GetExitCodeProcess(process.get(), &outcome.exitCode);
    outcome.out = ReadAll(outPath);
    outcome.err = ReadAll(errPath);
    return outcome;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

TEST(Kivoscan, ReportsBothThreatsOfTheDemoFolderWithTheirAdviceAndACleanFolderExitsZero)
{
    ScratchDir signatures, folder, clean;
    signatures.Write(L"demo.hdb", "4aa942831bfee960b3c13394e43e8017:45:PUA.Win.Adware.KivoDemo-1\n");
    folder.Write(L"hello.bat", "@echo hello\r\n");
    folder.Write(L"eicar.com", kEicar);
    folder.Make(L"docs");
    folder.Write(L"docs\\listed.bat", "@echo off\r\necho listed in the demo database\r\n");
    const Outcome found = Kivoscan(L"--signatures " + Quoted(signatures.Path()) + L" " + Quoted(folder.Path()));
    EXPECT_EQ(1u, found.exitCode) << found.err;
    for (const char* text : {"eicar.com: Eicar-Test-Signature FOUND", "listed.bat: PUA.Win.Adware.KivoDemo-1 FOUND",
                             u8"    木马, 隔离文件: 木马文件通常利用系统漏洞", u8"    插件, 隔离文件: 插件文件可能会恶意获取",
                             "Scanned files: 3\nThreats found: 2\n"})
        EXPECT_NE(std::string::npos, found.out.find(text)) << found.out;

    clean.Write(L"hello.bat", "@echo hello\r\n");
    const Outcome nothing = Kivoscan(Quoted(clean.Path()));
    EXPECT_EQ(0u, nothing.exitCode) << nothing.err;
    EXPECT_NE(std::string::npos, nothing.out.find("State: completed\nScanned files: 1\nThreats found: 0")) << nothing.out;
}

TEST(Kivoscan, JsonLinesCarryTheTaskEventsInOrder)
{
    ScratchDir folder;
    folder.Write(L"eicar.com", kEicar);
    const Outcome run = Kivoscan(L"--json " + Quoted(folder.Path()));
    EXPECT_EQ(1u, run.exitCode) << run.err;
    std::string seen;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        boost::property_tree::ptree event;
        std::istringstream text(line);
        ASSERT_NO_THROW(boost::property_tree::read_json(text, event)) << line;
        seen += event.get<std::string>("event", "") + "/" + event.get<std::string>("state", "") +
                event.get<std::string>("categoryName", "") + " ";
    }
    size_t at = 0;
    for (const std::string step : {"EVT_TASK_SETUP_DONE/ ", "EVT_SCAN_STATE/1 ", "EVT_SCAN_PROGRESS/ ",
                                   u8"EVT_THREAT_FOUND/木马 ", "EVT_SCAN_STATE/4 "})
        ASSERT_NE(std::string::npos, at = seen.find(step, at)) << step << "in order in " << seen;
}

TEST(Kivoscan, AMissingPathAnUnknownOptionAndAMissingEngineExitTwoWithAMessage)
{
    ScratchDir bare;
    ASSERT_TRUE(CopyFileW((RCGetExeFolder() + L"kivoscan.exe").c_str(), (bare.Path() + L"\\kivoscan.exe").c_str(), FALSE));
    const std::pair<Outcome, const char*> cases[] = {
        {Kivoscan(Quoted(bare.Path() + L"\\no-such-file.exe")), "no-such-file.exe: no such file or folder"},
        {Kivoscan(L"--no-such-option"), "unknown option '--no-such-option'"},
        {Kivoscan(Quoted(bare.Path()), bare.Path() + L"\\kivoscan.exe"), "engine missing"}};
    for (const auto& [outcome, message] : cases) {
        EXPECT_EQ(2u, outcome.exitCode) << message;
        EXPECT_EQ(0u, outcome.err.rfind("kivoscan: ", 0)) << outcome.err;
        EXPECT_NE(std::string::npos, outcome.err.find(message)) << outcome.err;
    }
}

TEST(Kivoscan, AQuarantinedFileIsListedAndRestoredByteForByte)
{
    // The engine's quarantine beside this program starts empty.
    const std::wstring quarantine = RCGetExeFolder() + L"Quarantine" + L'\0';
    SHFILEOPSTRUCTW remove{nullptr, FO_DELETE, quarantine.c_str(), nullptr, FOF_NO_UI, FALSE, nullptr, nullptr};
    SHFileOperationW(&remove);
    ScratchDir folder;
    const std::wstring eicar = folder.Write(L"eicar.com", kEicar);
    const Outcome scan = Kivoscan(L"--quarantine " + Quoted(folder.Path()));
    EXPECT_EQ(1u, scan.exitCode) << scan.err;
    EXPECT_NE(std::string::npos, scan.out.find("eicar.com: quarantined")) << scan.out;
    EXPECT_NE(std::string::npos, scan.out.find("Quarantined: 1")) << scan.out;
    ASSERT_FALSE(RCPathExists(eicar));

    const Outcome list = Kivoscan(L"--list-quarantine");
    EXPECT_EQ(0u, list.exitCode) << list.err;
    EXPECT_NE(std::string::npos, list.out.find(kEicarMd5)) << list.out;
    const Outcome restore = Kivoscan(L"--restore " + std::wstring(kEicarMd5.begin(), kEicarMd5.end()) + L" " + Quoted(eicar));
    EXPECT_EQ(0u, restore.exitCode) << restore.err;
    EXPECT_EQ(kEicar, ReadAll(eicar));
    EXPECT_EQ(std::string::npos, Kivoscan(L"--list-quarantine").out.find(kEicarMd5));
}

} // namespace
