// kivoscan run as a user runs it: a child process with its output in files,
// its exit code and what it printed checked after it ended. (Ctrl-C is
// kivoscan-interrupt.sh: Wine turns a SIGINT into the console event.)
#include <windows.h>

#include <gtest/gtest.h>

#include <boost/property_tree/json_parser.hpp>
#include <sstream>
#include <tuple>

#include "Src/Engine/Enumerator/EnumTestSupport.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCHandles.h"
#include "support/TestData.h"

namespace {

using KivoTest::kEicar;
using KivoTest::ReadAll;
using RC::test::ScratchDir;

const std::string kEicarMd5 = "44D88612FEA8A8F36DE82E1278ABB02F";

struct Outcome {
    DWORD exitCode = STILL_ACTIVE;
    std::string out, err;
};

// One kivoscan process, waited for (bounded, so that a hang fails the case),
// in the locale lang.
Outcome Kivoscan(const std::wstring& args, const std::wstring& exe = RCGetExeFolder() + L"kivoscan.exe",
                 const wchar_t* lang = L"C.UTF-8")
{
    SetEnvironmentVariableW(L"LANG", lang);
    SetEnvironmentVariableW(L"LC_ALL", nullptr);
    SetEnvironmentVariableW(L"LC_MESSAGES", nullptr);
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

std::wstring Quoted(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

void ExpectAll(const std::string& text, std::initializer_list<const char*> parts)
{
    for (const char* part : parts)
        EXPECT_NE(std::string::npos, text.find(part)) << part << " not in\n" << text;
}

const std::string kListedBat = "@echo off\r\necho listed in the demo database\r\n";

TEST(Kivoscan, ReportsTheDemoFolderInTheReadersLanguageWithCountsAndProgressToTheEnd)
{
    ScratchDir signatures, folder, clean;
    signatures.Write(L"demo.hdb", "4aa942831bfee960b3c13394e43e8017:45:PUA.Win.Adware.KivoDemo-1\n");
    // "Kivo", two to four bytes, "body", then "!" or "?".
    signatures.Write(L"demo.ndb", "Win.Trojan.KivoBody-1:0:*:4b69766f{2-4}626f6479(21|3f)\n");
    folder.Write(L"hello.bat", "@echo hello\r\n");
    folder.Write(L"body.bat", "@echo a Kivo -- body? sample\r\n");
    folder.Write(L"eicar.com", kEicar);
    folder.Make(L"docs");
    folder.Write(L"docs\\listed.bat", kListedBat);
    for (int i = 0; i < 30; ++i) // passed over by the extension filter: the module's percentage stays low
        folder.Write(L"docs\\note" + std::to_wstring(i) + L".txt", "a note");
    const Outcome found =
        Kivoscan(L"--progress --signatures " + Quoted(signatures.Path()) + L" " + Quoted(folder.Path()));
    EXPECT_EQ(1u, found.exitCode) << found.err;
    ExpectAll(found.out, {"eicar.com: Eicar-Test-Signature FOUND", "listed.bat: PUA.Win.Adware.KivoDemo-1 FOUND",
                          "body.bat: Win.Trojan.KivoBody-1 FOUND",
                          "    Trojan, quarantine the file: Trojans usually exploit system flaws",
                          "    Plug-in, quarantine the file: Plug-ins may collect your private information",
                          "Custom scan items: finished, 34 files found, 3 detections",
                          "State: completed\nFiles found: 34\nFiles scanned: 4\nNot scanned: 30 (extension)\n"
                          "Threats found: 3\nDetections: 3\n"});
    // Progress lines on stderr never go back and end at 100 %.
    std::istringstream lines(found.err);
    unsigned last = 0, count = 0;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("[", 0) == 0 && line.size() > 5 && line[4] == '%') {
            const unsigned percent = std::stoul(line.substr(1, 3));
            EXPECT_LE(last, percent) << found.err;
            last = percent;
            ++count;
        }
    EXPECT_EQ(100u, last) << found.err;
    EXPECT_LE(2u, count) << found.err;

    folder.Write(L"eicar.com", "clean again");
    const Outcome chinese = Kivoscan(Quoted(folder.Path()), RCGetExeFolder() + L"kivoscan.exe", L"zh_CN.UTF-8");
    ExpectAll(chinese.out, {u8"    插件, 隔离文件: 插件文件可能会恶意获取", u8"自定义扫描项: finished"});

    clean.Write(L"hello.bat", "@echo hello\r\n");
    const Outcome nothing = Kivoscan(Quoted(clean.Path()));
    EXPECT_EQ(0u, nothing.exitCode) << nothing.err;
    ExpectAll(nothing.out, {"State: completed\nFiles found: 1\nFiles scanned: 1\nThreats found: 0"});
}

TEST(Kivoscan, FilesItCannotScanAreListedAndCountedAndARepeatedOrMissingPathDoesNotStopTheRest)
{
    ScratchDir folder;
    folder.Write(L"hello.bat", "@echo hello\r\n");
    // The EICAR file at a path of 260 characters, which the engine cannot take.
    const std::wstring deep = folder.Path() + L"\\a" + std::wstring(260 - folder.Path().size() - 12, L'x');
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    const std::wstring longName = L"\\\\?\\" + deep + L"\\eicar.com";
    RC::unique_hfile file(CreateFileW(longName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), kEicar.data(), static_cast<DWORD>(kEicar.size()), &written, nullptr));
    file.reset();

    // And one held open by another process that shares nothing: found, not read.
    const std::wstring held = folder.Write(L"held.com", kEicar);
    RC::unique_hfile holder(CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    // And a zip cut short: read, but not what was inside it.
    const std::wstring cut = folder.Write(L"cut.zip", "PK\x03\x04" + std::string(40, 'z'));
    EXPECT_EQ(2u, Kivoscan(Quoted(cut)).exitCode); // on its own, too, not a clean scan

    const Outcome text = Kivoscan(Quoted(folder.Path()) + L" " + Quoted(folder.Path() + L"\\."));
    EXPECT_EQ(2u, text.exitCode) << text.err;
    ExpectAll(text.err, {"kivoscan: ", ": already among the paths; scanned once"});
    ExpectAll(text.out,
              {"xxx\\eicar.com: not scanned (path too long)", "held.com: not scanned (cannot read: in use)",
               "cut.zip: not fully scanned (damaged zip (no central directory))",
               "Files found: 4\nFiles scanned: 2\nNot scanned: 1 (path too long)\nNot scanned: 1 (cannot read)"
               "\nNot fully scanned: 1 (inside archives)\nThreats found: 0\n"});
    holder.reset();
    DeleteFileW(held.c_str());

    folder.Write(L"eicar.com", kEicar);
    const Outcome json =
        Kivoscan(L"--json " + Quoted(folder.Path() + L"\\no-such-folder") + L" " + Quoted(folder.Path()));
    EXPECT_EQ(1u, json.exitCode) << json.err; // threats found: that comes first, as with clamscan
    ExpectAll(json.err, {"no-such-folder: no such file or folder"});
    ExpectAll(json.out,
              {"xxx\\\\eicar.com\",\"reason\":\"path too long\"}",
               "no-such-folder\",\"reason\":\"no such file or folder\"}",
               "cut.zip\",\"reason\":\"not fully scanned: damaged zip (no central directory)\"}",
               "\"event\":\"SUMMARY\",\"state\":4,\"stateName\":\"completed\",\"filesFound\":4,"
               "\"filesScanned\":3,\"notScannedExtension\":0,\"notScannedPathTooLong\":1,\"notScannedUnread\":0,"
               "\"notFullyScanned\":1,\"pathsNotScanned\":1"});
    DeleteFileW(longName.c_str());
    RemoveDirectoryW((L"\\\\?\\" + deep).c_str());
}

TEST(Kivoscan, JsonLinesCarryTheTaskEventsInOrderWithNamesBesideCodesAndTheModulesTexts)
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
        seen += event.get<std::string>("event", "") + "/" + event.get<std::string>("stateName", "") +
                event.get<std::string>("statusName", "") + event.get<std::string>("categoryName", "") +
                event.get<std::string>("fileSize", "") + " ";
    }
    size_t at = 0;
    for (const std::string step :
         {"EVT_TASK_SETUP_DONE/ ", "EVT_SCAN_STATE/scanning ", "EVT_SCAN_PROGRESS/ ", u8"EVT_THREAT_FOUND/木马68 ",
          "EVT_ITEM_STATUS/finished ", "EVT_SCAN_STATE/completed ", "SUMMARY/completed "})
        ASSERT_NE(std::string::npos, at = seen.find(step, at)) << step << "in order in " << seen;
}

TEST(Kivoscan, AMissingPathANamedFileNotScannedAnUnknownOptionAndAMissingEngineExitTwoWithAMessage)
{
    ScratchDir bare;
    ASSERT_TRUE(
        CopyFileW((RCGetExeFolder() + L"kivoscan.exe").c_str(), (bare.Path() + L"\\kivoscan.exe").c_str(), FALSE));
    const std::wstring named = bare.Write(L"notes.txt", "a file the user named, of no scanned extension");
    const std::pair<Outcome, const char*> cases[] = {
        {Kivoscan(Quoted(bare.Path() + L"\\no-such-file.exe")), "no-such-file.exe: no such file or folder"},
        {Kivoscan(Quoted(named)), "notes.txt: not scanned (the module scans only files of its fifteen extensions)"},
        {Kivoscan(L"--no-such-option"), "unknown option '--no-such-option'"},
        {Kivoscan(L"--list-quarantine extra"), "unexpected argument 'extra'"},
        {Kivoscan(L"--signatures " + Quoted(named)), "notes.txt: a file; --signatures takes the folder that holds it"},
        {Kivoscan(Quoted(bare.Path()), bare.Path() + L"\\kivoscan.exe"), "engine missing"}};
    for (const auto& [outcome, message] : cases) {
        EXPECT_EQ(2u, outcome.exitCode) << message;
        EXPECT_EQ(0u, outcome.err.rfind("kivoscan: ", 0)) << outcome.err;
        EXPECT_NE(std::string::npos, outcome.err.find(message)) << outcome.err;
    }
}

// The file's last-write time, or 0.
uint64_t WriteTime(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// Sets the file's last-write time to the start of 2001.
void MakeOld(const std::wstring& path)
{
    RC::unique_hfile file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    const FILETIME old{0xC89DC000u, 0x01C07385u};
    ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &old));
}

TEST(Kivoscan, AQuarantinedFileIsRestoredByteForByteWithItsTimesWhetherOrNotItIsStillDetected)
{
    // The engine's quarantine beside this program starts empty.
    const std::wstring quarantine = RCGetExeFolder() + L"Quarantine" + L'\0';
    SHFILEOPSTRUCTW remove{nullptr, FO_DELETE, quarantine.c_str(), nullptr, FOF_NO_UI, FALSE, nullptr, nullptr};
    SHFileOperationW(&remove);
    ScratchDir folder, signatures;
    const std::wstring eicar = folder.Write(L"eicar.com", kEicar);
    // A harmless file that a signature wrongly lists: a false positive.
    const std::string harmless = "@echo off\r\necho wrongly listed as adware\r\n",
                      harmlessMd5 = "B473358ECEEAC4374A2AD487D1BB539C";
    const std::wstring listed = folder.Write(L"listed.bat", harmless);
    signatures.Write(L"false-positive.hdb", harmlessMd5 + ":42:PUA.Win.Adware.Wrong-1\n");
    MakeOld(eicar);
    MakeOld(listed);
    const uint64_t old = WriteTime(eicar);
    const Outcome scan =
        Kivoscan(L"--quarantine --signatures " + Quoted(signatures.Path()) + L" " + Quoted(folder.Path()));
    EXPECT_EQ(1u, scan.exitCode) << scan.err;
    ExpectAll(scan.out, {"eicar.com: quarantined", "listed.bat: quarantined", "Quarantined: 2"});
    ASSERT_FALSE(RCPathExists(eicar));
    ASSERT_FALSE(RCPathExists(listed));

    const Outcome list = Kivoscan(L"--list-quarantine");
    EXPECT_EQ(0u, list.exitCode) << list.err;
    ExpectAll(list.out, {kEicarMd5.c_str(), harmlessMd5.c_str()});
    ASSERT_TRUE(DeleteFileW((RCGetExeFolder() + L"signatures\\false-positive.hdb").c_str()));
    const std::tuple<std::wstring, std::string, std::string> restores[] = {{eicar, kEicar, kEicarMd5},
                                                                           {listed, harmless, harmlessMd5}};
    for (const auto& [path, bytes, md5] : restores) {
        const Outcome restore = Kivoscan(L"--restore " + std::wstring(md5.begin(), md5.end()) + L" " + Quoted(path));
        EXPECT_EQ(0u, restore.exitCode) << restore.err;
        EXPECT_EQ(bytes, ReadAll(path));
        EXPECT_EQ(old, WriteTime(path));
        EXPECT_EQ(std::string::npos, Kivoscan(L"--list-quarantine").out.find(md5));
    }
}

} // namespace

TEST(KivoscanSignatures, AFolderIsSummarisedWithItsProblemsAndNotCopiedAgainWhenUnchanged)
{
    const std::wstring installed = RCGetExeFolder() + L"signatures";
    for (const wchar_t* name : {L"demo.hdb", L"demo.ndb", L"local.hdb", L"local.ndb"})
        DeleteFileW((installed + L"\\" + name).c_str());
    ScratchDir signatures, folder;
    signatures.Write(L"local.hdb", "4aa942831bfee960b3c13394e43e8017:45:PUA.Win.Adware.KivoDemo-1\nnot a line\n");
    signatures.Write(L"local.ndb", "Body:0:*:414243\nBad:0:*:41(42\n");
    signatures.Write(L"notes.txt", "not a database\n");
    folder.Write(L"hello.bat", "@echo hello\r\n");
    const std::wstring args = L"--signatures " + Quoted(signatures.Path()) + L" " + Quoted(folder.Path());
    const Outcome first = Kivoscan(args);
    EXPECT_EQ(0u, first.exitCode) << first.err;
    EXPECT_NE(std::string::npos, first.out.find("signatures loaded: 1 hdb, 1 ndb; 2 malformed lines\n")) << first.out;
    EXPECT_NE(std::string::npos, first.err.find("kivoscan: local.hdb:2: malformed line")) << first.err;
    EXPECT_NE(std::string::npos,
              first.err.find("kivoscan: local.ndb:2: malformed body signature: unbalanced parentheses"))
        << first.err;
    EXPECT_FALSE(RCIsFile(installed + L"\\notes.txt"));

    // The installed copy, changed behind kivoscan's back to the same size and
    // time as its source, is what an unchanged source leaves in place.
    const std::wstring copy = installed + L"\\local.hdb";
    WIN32_FILE_ATTRIBUTE_DATA source{};
    ASSERT_TRUE(GetFileAttributesExW((signatures.Path() + L"\\local.hdb").c_str(), GetFileExInfoStandard, &source));
    {
        RC::unique_hfile file(CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        const char comment[] = "#";
        DWORD written = 0;
        ASSERT_TRUE(SetFilePointer(file.get(), 62, nullptr, FILE_BEGIN) == 62 &&
                    WriteFile(file.get(), comment, 1, &written, nullptr));
        ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &source.ftLastWriteTime));
    }
    const Outcome second = Kivoscan(L"--signatures " + Quoted(signatures.Path())); // installs, scans nothing
    EXPECT_NE(std::string::npos, second.out.find("signatures loaded: 1 hdb, 1 ndb; 1 malformed lines\n")) << second.out;
    EXPECT_EQ(0u, second.exitCode) << second.err;
    EXPECT_EQ(std::string::npos, second.out.find("SCAN SUMMARY")) << second.out;

    // Installed files are listed by name and removed one at a time.
    EXPECT_NE(std::string::npos, Kivoscan(L"--signatures-list").out.find("local.ndb  30\n"));
    EXPECT_EQ(0u, Kivoscan(L"--signatures-remove local.ndb").exitCode);
    const Outcome left = Kivoscan(L"--signatures-list");
    EXPECT_EQ(std::string::npos, left.out.find("local.ndb")) << left.out;
    EXPECT_NE(std::string::npos, left.out.find("signatures loaded: 1 hdb\n")) << left.out;
    EXPECT_EQ(2u, Kivoscan(L"--signatures-remove local.ndb").exitCode);
    EXPECT_EQ(2u, Kivoscan(L"--signatures-remove ..\\signatures\\local.hdb").exitCode);
    EXPECT_TRUE(RCIsFile(installed + L"\\local.hdb"));

    // A database removed from the folder leaves the installed set at the next install.
    DeleteFileW((signatures.Path() + L"\\local.hdb").c_str());
    EXPECT_EQ(0u, Kivoscan(L"--signatures " + Quoted(signatures.Path())).exitCode);
    EXPECT_FALSE(RCIsFile(installed + L"\\local.hdb"));

    // -d scans with exactly the databases of a folder or of one file, and installs nothing.
    ScratchDir own, listed;
    const std::wstring ownDatabase = own.Write(L"own.hdb", "4aa942831bfee960b3c13394e43e8017:45:Own.Test.Listed-1\n");
    listed.Write(L"listed.bat", kListedBat);
    for (const std::wstring& source : {own.Path(), ownDatabase}) {
        const Outcome scan = Kivoscan(L"-d " + Quoted(source) + L" " + Quoted(listed.Path()));
        EXPECT_EQ(1u, scan.exitCode) << scan.err;
        EXPECT_NE(std::string::npos, scan.out.find("listed.bat: Own.Test.Listed-1 FOUND")) << scan.out;
    }
    EXPECT_FALSE(RCIsFile(installed + L"\\own.hdb"));
}
