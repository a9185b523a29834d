#include "foundation/RCFileSystem.h"
#include "foundation/RCPath.h"

#include <gtest/gtest.h>

#include <shlobj.h>

namespace {

std::wstring Normalized(std::wstring path, unsigned flags)
{
    RCNormalizePath(path, flags);
    return path;
}

TEST(Path, NormalizesByFlagsInTheirOrder)
{
    EXPECT_EQ(Normalized(L"C:/Dir//", RC_PATH_ADD_BACKSLASH), L"C:/Dir\\");
    EXPECT_EQ(Normalized(L"", RC_PATH_ADD_BACKSLASH), L"");
    EXPECT_EQ(Normalized(L"C:\\Dir\\/", RC_PATH_REMOVE_BACKSLASH), L"C:\\Dir");
    EXPECT_EQ(Normalized(L"\"", RC_PATH_UNQUOTE), L"\"");
    EXPECT_EQ(Normalized(L"\"\"a b\"\"", RC_PATH_UNQUOTE), L"\"a b\"");
    EXPECT_EQ(Normalized(L"\"'x'\"", RC_PATH_UNQUOTE), L"x");
    EXPECT_EQ(Normalized(L"\"C:/A/b/\"", RC_PATH_UNQUOTE | RC_PATH_LOWER | RC_PATH_ADD_BACKSLASH |
                                             RC_PATH_BACKSLASHES),
              L"c:\\a\\b\\");
}

TEST(Path, JoinsWithOneBackslashAndLetsAbsoluteNamesStand)
{
    EXPECT_EQ(RCPathJoin(L"C:\\Dir", L"\\name.txt"), L"C:\\Dir\\name.txt");
    EXPECT_EQ(RCPathJoin(L"\"C:\\Dir//\"", L"/\\sub\\n"), L"C:\\Dir\\sub\\n");
    EXPECT_EQ(RCPathJoin(L"C:\\Dir", L"\"D:\\other\""), L"D:\\other");
    EXPECT_EQ(RCPathJoin(L"C:\\Dir", L"\\\\server\\share"), L"\\\\server\\share");
    EXPECT_EQ(RCPathJoin(L"", L"\\name"), L"name");

    EXPECT_TRUE(RCIsAbsolutePath(L"c:/x"));
    EXPECT_FALSE(RCIsAbsolutePath(L"c:x"));
    EXPECT_FALSE(RCIsAbsolutePath(L"\\x"));

    EXPECT_EQ(RCGetFileName(L"C:\\a\\"), L"");
    EXPECT_EQ(RCGetFileName(L"bare"), L"bare");

    std::wstring longPath;
    EXPECT_TRUE(RCToLongPath(L"c:\\x", longPath));
    EXPECT_EQ(longPath, L"\\\\?\\c:\\x");
    EXPECT_FALSE(RCToLongPath(L"\\\\server\\share", longPath));
    EXPECT_EQ(longPath, L"\\\\server\\share");
}

class FileSystem : public testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        root_ = std::wstring(temp) + L"KivoPathTest-" + std::to_wstring(::GetCurrentProcessId());
        file_ = root_ + L"\\file.bin";
    }
    void TearDown() override
    {
        ::DeleteFileW(file_.c_str());
        for (std::wstring dir = root_ + L"\\a\\b\\c"; dir.size() >= root_.size(); dir = dir.substr(0, dir.rfind(L'\\')))
            ::RemoveDirectoryW(dir.c_str());
    }

    std::wstring root_;
    std::wstring file_;
};

TEST_F(FileSystem, CreatesDeepFoldersAndTellsFilesFromFolders)
{
    const std::wstring deep = root_ + L"\\a\\b\\c";
    EXPECT_FALSE(RCPathExists(deep));
    ASSERT_TRUE(RCCreateDirectories(deep + L"\\"));
    EXPECT_TRUE(RCIsDirectory(deep));
    EXPECT_FALSE(RCCreateDirectories(L""));

    const HANDLE file = ::CreateFileW(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, "12345", 5, &written, nullptr);
    ::CloseHandle(file);

    EXPECT_TRUE(RCIsFile(file_));
    EXPECT_TRUE(RCIsFile(file_ + L"\\"));
    EXPECT_TRUE(RCIsFile(L"\"" + file_ + L"\""));
    EXPECT_FALSE(RCIsFile(deep));
    EXPECT_TRUE(RCPathExists(file_ + L"/"));
    EXPECT_FALSE(RCCreateDirectories(file_));
    EXPECT_FALSE(RCCreateDirectories(file_ + L"\\below"));

    EXPECT_EQ(RCGetFileSize(file_), 5u);
    EXPECT_EQ(RCGetFileSize(deep), 0u);

    std::wstring folder;
    ASSERT_TRUE(RCGetFolder(file_, folder));
    EXPECT_EQ(folder, root_ + L"\\");
}

TEST(Folders, FindsTheExecutableAndSpecialFolders)
{
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::wstring folder = RCGetExeFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), L'\\');
    EXPECT_EQ(folder + RCGetFileName(exe), exe);

    std::wstring windows;
    ASSERT_TRUE(RCGetSpecialFolder(CSIDL_WINDOWS, windows));
    EXPECT_TRUE(RCIsDirectory(windows));
    std::wstring none = L"stale";
    EXPECT_FALSE(RCGetSpecialFolder(0x7FFF, none));
    EXPECT_TRUE(none.empty());
}

} // namespace
