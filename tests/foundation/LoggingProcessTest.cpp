// Each case writes a log configuration into the prefix, runs the helper
// host once (the configuration is read once per process) and collects what
// reached the debugger output and the disk. The configuration is shared by
// every process of the prefix, so this program runs alone (RUN_SERIAL).
#include "support/DebugOutputCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const std::wstring kHelper = L"log_helper.exe";

class Logging : public testing::Test {
protected:
    void SetUp() override
    {
        KivoTest::RemoveLogs(kHelper);
        ASSERT_FALSE(RCPathExists(KivoTest::kLogRoot + L"Log"));
    }
    void TearDown() override { KivoTest::RemoveLogs(kHelper); }

    void RunHelper()
    {
        lines_ = KivoTest::DebugOutputCapture().Run(kHelper, helperId_);
        ASSERT_NE(helperId_, 0u);
    }

    bool Logged(unsigned level) const
    {
        const std::string marker = "[L" + std::to_string(level) + "] [RC::RCLogHelper::Run] kivo level ";
        return std::any_of(lines_.begin(), lines_.end(),
                           [&](const std::string& line) { return line.find(marker) != std::string::npos; });
    }

    DWORD helperId_ = 0;
    std::vector<std::string> lines_;
};

TEST_F(Logging, WithoutConfigurationNothingAnywhere)
{
    RunHelper();
    EXPECT_TRUE(lines_.empty());
    EXPECT_FALSE(RCPathExists(KivoTest::kLogRoot + L"Log"));
}

// Global 1, the process's entry 2 (found among others, in any case), its
// library's entry 4: level 4 on the debugger only.
TEST_F(Logging, TheProcessAndLibraryEntriesRefineTheLevel)
{
    ASSERT_TRUE(KivoTest::WriteLogConfig("<Root><Global LogLevel=\"1\" LogToFile=\"0\">"
                                         "<Exe Name=\"other.exe\" LogLevel=\"5\"/>"
                                         "<Exe Name=\"LOG_HELPER.exe\" LogLevel=\"2\">"
                                         "<Module Name=\"kernel32.dll\" LogLevel=\"4\"/>"
                                         "<Module Name=\"other.dll\" LogLevel=\"5\"/>"
                                         "</Exe></Global></Root>"));
    RunHelper();
    EXPECT_TRUE(Logged(4));
    EXPECT_FALSE(Logged(5));
    EXPECT_FALSE(RCPathExists(KivoTest::kLogRoot + L"Log"));
}

TEST_F(Logging, EveryLineWholeInThePerProcessFile)
{
    ASSERT_TRUE(KivoTest::WriteLogConfig("<Root>\n  <Global LogLevel=\"5\" LogToFile=\"1\"/>\n</Root>\n"));
    RunHelper();
    ASSERT_EQ(lines_.size(), 6u);
    EXPECT_TRUE(Logged(5));

    // <pid>_<yyyy-mm-dd>.log, the only file in the process's folder.
    std::string content;
    SYSTEMTIME today;
    ::GetLocalTime(&today);
    wchar_t expectedName[64];
    swprintf(expectedName, 64, L"%lu_%04u-%02u-%02u.log", helperId_, today.wYear, today.wMonth, today.wDay);
    EXPECT_EQ(KivoTest::ProcessLogs(kHelper, &content), std::vector<std::wstring>{expectedName});
    std::string expected;
    for (const std::string& line : lines_)
        expected += line;
    EXPECT_EQ(content, expected);

    const std::string& first = lines_.front();
    const std::string tail =
        "] >> [L1] [RC::RCLogHelper::Run] kivo level 1 of helper << [log_helper.exe(PID:" + std::to_string(helperId_) +
        ")|kernel32.dll(SID:";
    ASSERT_GT(first.size(), 15 + tail.size());
    EXPECT_EQ(first.substr(15, tail.size()), tail);
    EXPECT_NE(first.find("|LogHelper.cpp(Line:"), std::string::npos);
    EXPECT_NE(lines_.back().find("long " + std::string(1500, 'x') + " end"), std::string::npos);
}

} // namespace
