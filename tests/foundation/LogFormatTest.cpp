#include "foundation/RCDebugger.h"
#include "foundation/RCFormatString.h"
#include "foundation/RCLogConfig.h"
#include "foundation/RCTextConvert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Shapes {

// Functions of every shape a log call can stand in, each answering with the
// compiler's own text of its name.
struct Logged {
    const char* Plain(int) const { return __PRETTY_FUNCTION__; }
    const char* Overload(int) && { return __PRETTY_FUNCTION__; }
    operator const char*() const { return __PRETTY_FUNCTION__; }
    const char* operator<(int) const { return __PRETTY_FUNCTION__; }
    const char* operator()(int) { return __PRETTY_FUNCTION__; }
    const char* Lambda(int)
    {
        return [](int) { return __PRETTY_FUNCTION__; }(0);
    }
    template <class T>
    std::map<int, T> Template(void (*)(T), const char** out)
    {
        *out = __PRETTY_FUNCTION__;
        return {};
    }
};

template <class T>
struct Box {
    const char* Get() { return __PRETTY_FUNCTION__; }
};

// The compiler's text of each shape's name, and the name a log line shows.
std::vector<std::pair<std::string, std::wstring>> PrettyFunctionNames()
{
    Shapes::Logged logged;
    const char* templated = nullptr;
    logged.Template<int>(nullptr, &templated);
    return {
        {logged.Plain(0), L"Shapes::Logged::Plain"},
        {Shapes::Logged().Overload(0), L"Shapes::Logged::Overload"},
        {static_cast<const char*>(logged), L"Shapes::Logged::operator const char*"},
        {logged < 0, L"Shapes::Logged::operator<"},
        {logged(0), L"Shapes::Logged::operator()"},
        {logged.Lambda(0), L"Shapes::Logged::Lambda::<lambda>"},
        {templated, L"Shapes::Logged::Template"},
        {Shapes::Box<int>().Get(), L"Shapes::Box<T>::Get"},
        {"int main()", L"main"},
    };
}

} // namespace Shapes

namespace {

TEST(FormatString, FormatsWideTextOfAnyLength)
{
    std::wstring out = L"stale";
    RCFormatString(out, nullptr);
    EXPECT_EQ(out, L"");
    const std::wstring exact(1023, L'z');
    RCFormatString(out, L"%s", exact.c_str());
    EXPECT_EQ(out, exact);
}

TEST(FormatLine, NamesTheFunctionFileAndLine)
{
    for (const auto& [pretty, name] : Shapes::PrettyFunctionNames())
        EXPECT_EQ(RC::RCDebugger::QualifiedFunctionName(pretty.c_str()), name) << pretty;

    RC::RCDebugger* logger = RC::RCDebugger::GetInstance();
    logger->Init(nullptr);
    const std::wstring ids = L"(PID:" + std::to_wstring(::GetCurrentProcessId()) + L")|(SID:" +
                             std::to_wstring(::GetCurrentThreadId()) + L")|";

    std::wstring line = L"Start enter";
    logger->FormatLine(RC::RCLogLevel::Lifecycle, line, L"Src\\Engine/engine.cpp", L"RC::RCExample::Start", 142);
    ASSERT_GT(line.size(), 16u);
    EXPECT_EQ(line.substr(0, 3), L"\r\n[");
    EXPECT_EQ(line[5], L'-');
    EXPECT_EQ(line.substr(15), L"] >> [L3] [RC::RCExample::Start] Start enter << [foundation_tests.exe" + ids +
                                   L"engine.cpp(Line:142)]\r\n");

    line = L"bare";
    logger->FormatLine(RC::RCLogLevel::Failure, line, nullptr, nullptr, 7);
    EXPECT_EQ(line.substr(15), L"] >> [L1] [] bare << [foundation_tests.exe" + ids + L"(Line:7)]\r\n");
}

TEST(LogConfig, AppliesMatchingEntriesInOrder)
{
    const struct {
        const char* xml;
        bool configured;
        unsigned level;
        bool toFile;
    } cases[] = {
        {"<Global LogLevel=\"3\"/>", false, 0, false},
        {"<Root><Global LogLevel=\"3\"", false, 0, false},
        {"<Root><Global Name=\"x\" LogLevel=\"3\"/></Root>", false, 0, false},
        {"<Root><Global LogLevel=\"-1\" LogToFile=\"1\"/></Root>", true, 0xFFFFFFFFu, true},
        {"<Root><Global LogLevel=\"many\" LogToFile=\"yes\"/></Root>", true, 0, false},
        {"<Root><Global LogLevel=\"1\" LogToFile=\"1\"><Exe Name=\"HOST.EXE\" LogLevel=\"5\"/></Global></Root>", true,
         5, true},
        {"<Root><Global LogLevel=\"1\"><Module Name=\"Mod.dll\" LogLevel=\"5\"/></Global></Root>", true, 1, false},
        {"<Root><Global LogLevel=\"1\"><Exe Name=\"host.exe\" LogLevel=\"2\">"
         "<Module Name=\"mod.DLL\" LogToFile=\"1\"/></Exe></Global></Root>",
         true, 2, true},
        {"<Root><Global LogLevel=\"1\"><Exe Name=\"host.exe\" LogLevel=\"4\" LogToFile=\"1\"/>"
         "<Exe Name=\"host.exe\" LogLevel=\"2\"/></Global></Root>",
         true, 2, true},
        // Siblings after the first Global are searched whatever their name.
        {"<Root><Global LogLevel=\"1\"/><Other LogLevel=\"4\"/></Root>", true, 4, false}};
    const auto read = [](const char* xml, const wchar_t* module, RCLogSetting& setting) {
        std::vector<char> text(xml, xml + std::strlen(xml) + 1);
        return RCReadLogConfig(text, L"Host.exe", module, RCUtf8ToWide, setting);
    };
    for (const auto& c : cases) {
        RCLogSetting setting;
        EXPECT_EQ(read(c.xml, L"Mod.dll", setting), c.configured) << c.xml;
        EXPECT_EQ(setting.level, c.level) << c.xml;
        EXPECT_EQ(setting.toFile, c.toFile) << c.xml;
    }
    // Without a module name, no Module entry applies, not even a nameless one.
    RCLogSetting setting;
    ASSERT_TRUE(read("<Root><Global LogLevel=\"1\"><Exe Name=\"Host.exe\" LogLevel=\"2\">"
                     "<Module Name=\"\" LogLevel=\"5\"/></Exe></Global></Root>",
                     L"", setting));
    EXPECT_EQ(setting.level, 2u);
}

} // namespace
