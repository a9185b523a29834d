// Each case writes a log configuration into the prefix, runs the helper
// host once (the configuration is read once per process) and collects what
// reached the debugger output and the disk. The configuration is shared by
// every process of the prefix, so this program runs alone (RUN_SERIAL).
#include "foundation/RCFileSystem.h"
#include "foundation/RCHandles.h"
#include "support/DebugOutputCapture.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

const std::wstring kRoot = L"c:\\KivoTrevox\\";
const std::wstring kConfig = kRoot + L"KivoLog.xml";
const std::wstring kHelperFolder = kRoot + L"Log\\log_helper.exe";

void RemoveLogFolder()
{
    WIN32_FIND_DATAW entry;
    RC::unique_hfind find(::FindFirstFileW((kHelperFolder + L"\\*.log").c_str(), &entry));
    for (BOOL more = find.is_valid(); more; more = ::FindNextFileW(find.get(), &entry))
        ::DeleteFileW((kHelperFolder + L"\\" + entry.cFileName).c_str());
    find.reset();
    ::RemoveDirectoryW(kHelperFolder.c_str());
    ::RemoveDirectoryW((kRoot + L"Log").c_str());
}

class Logging : public testing::Test
{
protected:
    void SetUp() override
    {
        ::DeleteFileW(kConfig.c_str());
        RemoveLogFolder();
        ASSERT_FALSE(RCPathExists(kRoot + L"Log"));
    }
    void TearDown() override
    {
        ::DeleteFileW(kConfig.c_str());
        RemoveLogFolder();
    }

    static void WriteConfig(const std::string& xml)
    {
        RC::unique_hfile file(::CreateFileW(kConfig.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), xml.data(), static_cast<DWORD>(xml.size()), &written, nullptr));
    }

    // Runs the helper; its debugger lines go to lines_.
    void RunHelper()
    {
        KivoTest::DebugOutputCapture capture;
        ASSERT_TRUE(capture.Ready());
        std::wstring command = L"\"" + RCGetExeFolder() + L"log_helper.exe\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        ASSERT_TRUE(::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                     &info))
            << ::GetLastError() << " " << std::string(command.begin(), command.end());
        RC::unique_handle process(info.hProcess);
        RC::unique_handle thread(info.hThread);
        helperId_ = info.dwProcessId;
        lines_ = capture.Collect(process.get(), info.dwProcessId);
        ASSERT_EQ(::WaitForSingleObject(process.get(), KivoTest::kHangGuardMs), WAIT_OBJECT_0);
    }

    bool Logged(unsigned level) const
    {
        const std::string marker = "[L" + std::to_string(level) + "] [RC::RCLogHelper::Run] kivo level ";
        for (const std::string& line : lines_) {
            if (line.find(marker) != std::string::npos)
                return true;
        }
        return false;
    }

    DWORD helperId_ = 0;
    std::vector<std::string> lines_;
};

TEST_F(Logging, WithoutConfigurationNothingAnywhere)
{
    RunHelper();
    EXPECT_TRUE(lines_.empty());
    EXPECT_FALSE(RCPathExists(kRoot + L"Log"));
}

TEST_F(Logging, UpToTheLevelOnTheDebuggerOnlyWithoutFile)
{
    WriteConfig("<Root><Global LogLevel=\"3\" LogToFile=\"0\"/></Root>");
    RunHelper();
    EXPECT_TRUE(Logged(1));
    EXPECT_TRUE(Logged(3));
    EXPECT_FALSE(Logged(4));
    EXPECT_FALSE(Logged(5));
    EXPECT_FALSE(RCPathExists(kRoot + L"Log"));
}

TEST_F(Logging, TheProcessAndLibraryEntriesRefineTheLevel)
{
    WriteConfig("<Root><Global LogLevel=\"1\" LogToFile=\"0\">"
                "<Exe Name=\"other.exe\" LogLevel=\"5\"/>"
                "<Exe Name=\"LOG_HELPER.exe\" LogLevel=\"2\">"
                "<Module Name=\"kernel32.dll\" LogLevel=\"4\"/><Module Name=\"other.dll\" LogLevel=\"5\"/>"
                "</Exe></Global></Root>");
    RunHelper();
    EXPECT_TRUE(Logged(4));
    EXPECT_FALSE(Logged(5));
}

TEST_F(Logging, EveryLineWholeInThePerProcessFile)
{
    WriteConfig("<Root>\n  <Global LogLevel=\"5\" LogToFile=\"1\"/>\n</Root>\n");
    RunHelper();
    ASSERT_EQ(lines_.size(), 6u);
    EXPECT_TRUE(Logged(5));

    // <pid>_<yyyy-mm-dd>.log, the only file in the process's folder.
    WIN32_FIND_DATAW entry;
    RC::unique_hfind find(::FindFirstFileW((kHelperFolder + L"\\*.log").c_str(), &entry));
    ASSERT_TRUE(find);
    const std::wstring name = entry.cFileName;
    EXPECT_FALSE(::FindNextFileW(find.get(), &entry));
    SYSTEMTIME today;
    ::GetLocalTime(&today);
    wchar_t expectedName[64];
    swprintf(expectedName, 64, L"%lu_%04u-%02u-%02u.log", helperId_, today.wYear, today.wMonth, today.wDay);
    EXPECT_EQ(name, expectedName);

    RC::unique_hfile file(::CreateFileW((kHelperFolder + L"\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    std::string content(64 * 1024, '\0');
    DWORD read = 0;
    ASSERT_TRUE(::ReadFile(file.get(), &content[0], static_cast<DWORD>(content.size()), &read, nullptr));
    content.resize(read);

    std::string expected;
    for (const std::string& line : lines_)
        expected += line;
    EXPECT_EQ(content, expected);

    const std::string& first = lines_.front();
    const std::string tail = "] >> [L1] [RC::RCLogHelper::Run] kivo level 1 of helper << [log_helper.exe(PID:" +
        std::to_string(helperId_) + ")|kernel32.dll(SID:";
    ASSERT_GT(first.size(), 16u);
    EXPECT_EQ(first.substr(0, 3), "\r\n[");
    EXPECT_EQ(first.substr(15, tail.size()), tail);
    EXPECT_EQ(first.substr(first.size() - 2), "\r\n");
    EXPECT_NE(first.find("|LogHelper.cpp(Line:"), std::string::npos);
    EXPECT_NE(lines_.back().find("long " + std::string(1500, 'x') + " end"), std::string::npos);
}

} // namespace
