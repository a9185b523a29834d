// The module's own log lines, seen from outside: the reference host runs as a
// child process with a log configuration in place, and its debugger output
// is collected. The configuration affects every process of the prefix, so
// this program runs alone.
#include <gtest/gtest.h>

#include <windows.h>

#include "foundation/RCFileSystem.h"
#include "support/DebugOutputCapture.h"

namespace {

const std::wstring kConfig = L"c:\\KivoTrevox\\KivoLog.xml";

std::vector<std::string> RunHostWithConfig(const std::string& xml, DWORD& processId)
{
    {
        RC::unique_hfile file(::CreateFileW(kConfig.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ::WriteFile(file.get(), xml.data(), static_cast<DWORD>(xml.size()), &written, nullptr);
    }
    KivoTest::DebugOutputCapture capture;
    std::wstring command = L"\"" + RCGetExeFolder() + L"kivohost.exe\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::vector<std::string> lines;
    if (capture.Ready() &&
        ::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                         &info)) {
        RC::unique_handle process(info.hProcess);
        RC::unique_handle thread(info.hThread);
        processId = info.dwProcessId;
        lines = capture.Collect(process.get(), info.dwProcessId);
        ::WaitForSingleObject(process.get(), KivoTest::kHangGuardMs);
    }
    ::DeleteFileW(kConfig.c_str());
    return lines;
}

} // namespace

TEST(ModuleLogging, EachRequestIsLoggedUnderTheModulesName)
{
    DWORD processId = 0;
    const std::vector<std::string> lines =
        RunHostWithConfig("<Root><Global LogLevel=\"5\" LogToFile=\"0\"/></Root>", processId);

    const std::string request = "[L5] [RC::RCTrevoxModule::OnReceiveMessage] Get request "
                                "52481B5F-E99D-4232-8924-74BCF21C28EF";
    const std::string owner = "[kivohost.exe(PID:" + std::to_string(processId) + ")|RCTrevox.dll(";
    bool found = false;
    for (const std::string& line : lines) {
        if (line.find(request) != std::string::npos) {
            found = true;
            EXPECT_NE(line.find(owner), std::string::npos) << line;
            EXPECT_NE(line.find("|RCTrevoxModule.cpp(Line:"), std::string::npos) << line;
        }
    }
    EXPECT_TRUE(found) << lines.size() << " lines caught";

    // Below level 5 the request is not logged.
    const std::vector<std::string> quieter =
        RunHostWithConfig("<Root><Global LogLevel=\"4\" LogToFile=\"0\"/></Root>", processId);
    for (const std::string& line : quieter)
        EXPECT_EQ(line.find("Get request"), std::string::npos) << line;
}
