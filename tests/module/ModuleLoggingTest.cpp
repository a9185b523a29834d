// The module's own log lines, seen from outside: the reference host runs as a
// child process with a log configuration in place, and its debugger output
// is collected. The configuration affects every process of the prefix, so
// this program runs alone.
#include <gtest/gtest.h>

#include "support/DebugOutputCapture.h"

TEST(ModuleLogging, EachRequestIsLoggedUnderTheModulesName)
{
    ASSERT_TRUE(KivoTest::WriteLogConfig("<Root><Global LogLevel=\"5\" LogToFile=\"0\"/></Root>"));
    DWORD processId = 0;
    const std::vector<std::string> lines = KivoTest::DebugOutputCapture().Run(L"kivohost.exe", processId);
    KivoTest::RemoveLogs(L"kivohost.exe");
    ASSERT_NE(processId, 0u);

    const std::string request = "[L5] [RC::RCTrevoxModule::OnReceiveMessage] Get request "
                                "52481B5F-E99D-4232-8924-74BCF21C28EF";
    const std::string owner = "[kivohost.exe(PID:" + std::to_string(processId) + ")|RCTrevox.dll(";
    int found = 0;
    for (const std::string& line : lines) {
        if (line.find(request) != std::string::npos) {
            ++found;
            EXPECT_NE(line.find(owner), std::string::npos) << line;
            EXPECT_NE(line.find("|RCTrevoxModule.cpp(Line:"), std::string::npos) << line;
        }
    }
    EXPECT_GT(found, 0) << lines.size() << " lines caught";
}
