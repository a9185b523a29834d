#include "foundation/RCString.h"
#include "foundation/RCTextConvert.h"

#include <gtest/gtest.h>

namespace {

TEST(String, TrimsCutsAndComparesWithoutCase)
{
    std::wstring text = L"  \tvalue; ";
    RCTrim(text);
    EXPECT_EQ(text, L"value;");
    RCTrimRight(text, L";");
    EXPECT_EQ(text, L"value");
    text = L"   ";
    RCTrim(text);
    EXPECT_EQ(text, L"");

    EXPECT_EQ(RCRight(L"abc", 9), L"abc");
    EXPECT_EQ(RCRight(L"abc", -1), L"");
    EXPECT_EQ(RCLeft(L"abc", 2), L"ab");
    EXPECT_EQ(RCLeft(L"abc", 9), L"abc");
    EXPECT_EQ(RCLeft(L"abc", -1), L"");
    EXPECT_EQ(RCMid(L"abcd", 1, 2), L"bc");
    EXPECT_EQ(RCMid(L"abcd", 2, 9), L"cd");
    EXPECT_EQ(RCMid(L"abcd", 4, 1), L"");
    EXPECT_EQ(RCMid(L"abcd", -1, 1), L"");

    EXPECT_TRUE(RCEqualsNoCase(L"Kernel32.DLL", L"kernel32.dll"));
    EXPECT_FALSE(RCEqualsNoCase(L"kernel32", L"kernel32.dll"));

    EXPECT_EQ(RCCompareNoCase(L"abcX", L"ABCy", 3), 0);
    EXPECT_LT(RCCompareNoCase(L"abcX", L"ABCy", 4), 0);
    EXPECT_EQ(RCCompareNoCase(L"a", L"b", 0), 0);
    EXPECT_EQ(RCCompareNoCase(L"ab", L"AB", 10), 0); // stops at the terminator
    EXPECT_GT(RCCompareNoCase(L"b", L"A", 1), 0);
}

TEST(TextConvert, ConvertsBetweenUtf8AnsiAndWide)
{
    const std::string utf8 = "gr\xC3\xBC\xC3\x9F \xE2\x82\xAC"; // "grüß €"
    const std::wstring wide = L"gr\u00FC\u00DF \u20AC";
    EXPECT_EQ(RCUtf8ToWide(utf8), wide);
    EXPECT_EQ(RCWideToUtf8(wide), utf8);
    EXPECT_EQ(RCUtf8ToWide(""), L"");
    EXPECT_EQ(RCAnsiToWide(nullptr), L"");
    EXPECT_EQ(RCAnsiToWide("plain"), L"plain");
    EXPECT_EQ(RCWideToMultiByte(L"plain", CP_ACP), "plain");

    // ANSI text is read in the process's default code page once one is set.
    RCSetDefaultCodePage(CP_UTF8);
    EXPECT_EQ(RCAnsiToWide(utf8.c_str()), wide);
    RCSetDefaultCodePage(0);
    EXPECT_NE(RCAnsiToWide(utf8.c_str()), wide);
}

} // namespace
