// Each case writes a log configuration into the prefix, runs the helper
// host once (the configuration is read once per process) and collects what
// reached the debugger output and the disk. The configuration is shared by
// every process of the prefix, so this program runs alone (RUN_SERIAL).
#include "foundation/RCFileSystem.h"
#include "foundation/RCHandles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kHangGuardMs = 60000;
const std::wstring kRoot = L"c:\\KivoTrevox\\";
const std::wstring kConfig = kRoot + L"KivoLog.xml";
const std::wstring kHelperFolder = kRoot + L"Log\\log_helper.exe";

// The receiving end of the debugger-output protocol (DBWIN): the writer
// waits for "buffer ready", fills the shared buffer (process id, then ANSI
// text) and signals "data ready".
class DebugOutputCapture
{
public:
    DebugOutputCapture()
        : m_bufferReady(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY")),
          m_dataReady(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")),
          m_mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER"))
    {
        if (m_mapping)
            m_view = static_cast<const char*>(::MapViewOfFile(m_mapping.get(), FILE_MAP_READ, 0, 0, 4096));
    }
    ~DebugOutputCapture()
    {
        if (m_view)
            ::UnmapViewOfFile(m_view);
    }
    bool Ready() const { return m_bufferReady && m_dataReady && m_view; }

    // Everything the process writes until it ends.
    std::vector<std::string> Collect(HANDLE process, DWORD processId)
    {
        std::vector<std::string> lines;
        ::SetEvent(m_bufferReady.get());
        const HANDLE handles[2] = {m_dataReady.get(), process};  // data first: drain before the exit
        while (::WaitForMultipleObjects(2, handles, FALSE, kHangGuardMs) == WAIT_OBJECT_0) {
            if (*reinterpret_cast<const DWORD*>(m_view) == processId)
                lines.emplace_back(m_view + sizeof(DWORD));
            ::SetEvent(m_bufferReady.get());
        }
        return lines;
    }

private:
    RC::unique_handle m_bufferReady;
    RC::unique_handle m_dataReady;
    RC::unique_handle m_mapping;
    const char* m_view = nullptr;
};

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

    // Runs the helper; its debugger lines go to m_lines.
    void RunHelper()
    {
        DebugOutputCapture capture;
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
        m_helperId = info.dwProcessId;
        m_lines = capture.Collect(process.get(), info.dwProcessId);
        ASSERT_EQ(::WaitForSingleObject(process.get(), kHangGuardMs), WAIT_OBJECT_0);
    }

    bool Logged(unsigned level) const
    {
        const std::string marker = "[L" + std::to_string(level) + "] [RC::RCLogHelper::Run] kivo level ";
        for (const std::string& line : m_lines) {
            if (line.find(marker) != std::string::npos)
                return true;
        }
        return false;
    }

    DWORD m_helperId = 0;
    std::vector<std::string> m_lines;
};

TEST_F(Logging, WithoutConfigurationNothingAnywhere)
{
    RunHelper();
    EXPECT_TRUE(m_lines.empty());
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

TEST_F(Logging, EveryLineWholeInThePerProcessFile)
{
    WriteConfig("<Root>\n  <Global LogLevel=\"5\" LogToFile=\"1\"/>\n</Root>\n");
    RunHelper();
    ASSERT_EQ(m_lines.size(), 6u);
    EXPECT_TRUE(Logged(5));

    // <pid>_<yyyy-mm-dd>.log, the only file in the process's folder.
    WIN32_FIND_DATAW entry;
    RC::unique_hfind find(::FindFirstFileW((kHelperFolder + L"\\*.log").c_str(), &entry));
    ASSERT_TRUE(find);
    const std::wstring name = entry.cFileName;
    EXPECT_FALSE(::FindNextFileW(find.get(), &entry));
    const std::wstring prefix = std::to_wstring(m_helperId) + L"_";
    ASSERT_EQ(name.size(), prefix.size() + 14) << name;
    EXPECT_EQ(name.substr(0, prefix.size()), prefix);
    EXPECT_EQ(name[prefix.size() + 4], L'-');
    EXPECT_EQ(name[prefix.size() + 7], L'-');
    EXPECT_EQ(name.substr(prefix.size() + 10), L".log");

    std::string content;
    RC::unique_hfile file(::CreateFileW((kHelperFolder + L"\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    content.resize(static_cast<size_t>(RCGetFileSize(kHelperFolder + L"\\" + name)));
    DWORD read = 0;
    ASSERT_TRUE(::ReadFile(file.get(), &content[0], static_cast<DWORD>(content.size()), &read, nullptr));

    std::string expected;
    for (const std::string& line : m_lines)
        expected += line;
    EXPECT_EQ(content, expected);

    const std::string& first = m_lines.front();
    const std::string tail = "] >> [L1] [RC::RCLogHelper::Run] kivo level 1 of helper << [log_helper.exe(PID:" +
        std::to_string(m_helperId) + ")|kernel32.dll(SID:";
    ASSERT_GT(first.size(), 16u);
    EXPECT_EQ(first.substr(0, 3), "\r\n[");
    EXPECT_EQ(first.substr(15, tail.size()), tail);
    EXPECT_EQ(first.substr(first.size() - 2), "\r\n");
    EXPECT_NE(first.find("|LogHelper.cpp(Line:"), std::string::npos);
    EXPECT_NE(m_lines.back().find("long " + std::string(1500, 'x') + " end"), std::string::npos);
}

} // namespace
