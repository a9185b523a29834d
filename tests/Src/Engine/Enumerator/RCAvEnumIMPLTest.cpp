#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include "EnumTestSupport.h"
#include "foundation/RCSystemInfo.h"

using namespace RC;
using namespace RC::test;
using testing::ElementsAre;
using testing::UnorderedElementsAre;

namespace {

class RCAvEnumIMPLTest : public testing::Test {
protected:
    std::wstring Translate(const std::wstring& text, bool wow64 = false)
    {
        return base.TranslateRegistryPath(text.c_str(), wow64 ? RCRegView::Wide64 : RCRegView::Own);
    }

    ScratchDir dir;
    ScratchPath path{dir.Path()};
    const std::wstring app = dir.Write(L"My App.exe"), lib1 = dir.Write(L"lib1.dll"), lib2 = dir.Write(L"lib2.dll");
    RecordingSink sink;
    BareEnum base{&sink};
};

TEST_F(RCAvEnumIMPLTest, CommandTextsBecomeTheFilesTheyName)
{
    EXPECT_EQ(Translate(L"\"" + app + L"\" -a \"b c\""), app);
    EXPECT_EQ(Translate(L"rundll32.exe " + lib1 + L",Entry"), L"C:\\windows\\system32\\rundll32.exe");
    EXPECT_EQ(Translate(L"lib2"), lib2);
    EXPECT_EQ(Translate(L"res://lib1.dll/#2/101"), lib1);
    EXPECT_EQ(Translate(L"\\??\\" + lib1), lib1);
    ::SetEnvironmentVariableW(L"KIVO_DIR", dir.Path().c_str());
    EXPECT_EQ(Translate(L"%KIVO_DIR%\\lib1.dll"), lib1);
    EXPECT_EQ(Translate(L"\\SystemRoot\\System32\\kernel32.dll"), L"C:\\windows\\System32\\kernel32.dll");

    // Names of nothing, unexpanded variables and over-long expansions give no path.
    EXPECT_EQ(Translate(L"missing-kivo.dll"), L"");
    EXPECT_EQ(Translate(L"%KIVO_NO_SUCH_VARIABLE%\\x.exe"), L"");
    ::SetEnvironmentVariableW(L"KIVO_LONG", std::wstring(300, L'a').c_str());
    EXPECT_EQ(Translate(L"C:\\%KIVO_LONG%.exe"), L"");
    EXPECT_EQ(Translate(L""), L"");
}

TEST_F(RCAvEnumIMPLTest, ValuesFireEveryPieceAndOnlyDrivePathsOf3To259Characters)
{
    EXPECT_TRUE(base.FireRegistryValue(L"lib1.dll,,lib2", L"", RCRegView::Own));
    EXPECT_THAT(sink.Paths(), ElementsAre(lib1, lib2));

    sink.files.clear();
    const std::wstring longest = L"C:\\" + std::wstring(256, L'a');
    EXPECT_TRUE(base.FireFileEnumEvent(longest, L"sub"));
    EXPECT_TRUE(base.FireFileEnumEvent(longest + L"a", L""));
    EXPECT_TRUE(base.FireFileEnumEvent(L"\\\\server\\share\\x.exe", L""));
    EXPECT_TRUE(base.FireFileEnumEvent(L"C:", L""));
    EXPECT_TRUE(base.FireFileEnumEvent(L"C:x", L"")); // a file in drive C's current folder
    EXPECT_THAT(sink.Paths(), ElementsAre(longest, L"C:x"));
}

TEST_F(RCAvEnumIMPLTest, RegistryValuesOfOddShapeAreSkippedAndTheWalkGoesOn)
{
    ScratchKey key(HKEY_CURRENT_USER, L"Software", false);
    key.SetText(L"", L"multi", lib1 + L'\0' + lib2 + L'\0', REG_MULTI_SZ);
    key.SetText(L"", L"long", L"C:\\" + std::wstring(300, L'a'));
    const DWORD number = 7;
    key.Set(L"", L"dword", REG_DWORD, &number, sizeof(number));
    const std::wstring unterminated = L"C:\\" + std::wstring(257, L'b'); // 260 units, no terminator
    key.Set(L"", L"unterminated", REG_SZ, unterminated.data(), 520);
    key.SetText(L"", L"app", app);
    key.SetText(L"", lib1.c_str(), std::wstring(300, L'c')); // a name that names a file, data too long
    key.SetText(L"", lib2.c_str(), L"short");

    for (const wchar_t* name : {L"multi", L"long", L"dword", L"unterminated", L"absent"})
        base.FireRegKeyValue(HKEY_CURRENT_USER, key.SubKey().c_str(), name, RCRegView::Own);
    EXPECT_THAT(sink.Paths(), ElementsAre(lib1, lib2));

    // The value walk reads a list's first string as its text and goes on
    // past the values it cannot read.
    sink.files.clear();
    base.EnumRegValues(HKEY_CURRENT_USER, key.SubKey().c_str(), true, RCRegView::Own);
    EXPECT_THAT(sink.Paths(), UnorderedElementsAre(lib1, app));

    // Names are fired only for values the walk can read whole.
    sink.files.clear();
    base.EnumRegValues(HKEY_CURRENT_USER, key.SubKey().c_str(), false, RCRegView::Own);
    EXPECT_THAT(sink.Paths(), ElementsAre(lib2));
}

// Runs in both prefixes: the 32-bit file view exists only on 64-bit Windows
// (the system folder's view shows in the service tests).
TEST_F(RCAvEnumIMPLTest, TheThirtyTwoBitViewMapsProgramFolders)
{
    ScratchDir native(L"C:\\Program Files");
    const std::wstring tool = native.Write(L"tool.exe");
    const std::wstring folder = native.Path().substr(native.Path().rfind(L'\\'));
    EXPECT_EQ(Translate(L"C:\\Program Files (x86)" + folder + L"\\tool.exe"), tool);
    EXPECT_EQ(Translate(L"C:\\Program Files (x86)" + folder + L"\\none.exe"), L"");
    EXPECT_EQ(Translate(tool, true), tool);
    if (RCIs64BitOs()) {
        ScratchDir x86(L"C:\\Program Files (x86)");
        const std::wstring only86 = x86.Write(L"only86.exe");
        const std::wstring folder86 = x86.Path().substr(x86.Path().rfind(L'\\'));
        EXPECT_EQ(Translate(L"C:\\Program Files" + folder86 + L"\\only86.exe", true), only86);
        EXPECT_EQ(Translate(L"C:\\Program Files" + folder86 + L"\\none.exe", true), L"");
    }
}

} // namespace
