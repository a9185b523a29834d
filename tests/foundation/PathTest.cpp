#include "foundation/RCFileSystem.h"
#include "foundation/RCPath.h"

#include <gtest/gtest.h>

#include "Src/Engine/Enumerator/EnumTestSupport.h"

namespace {

std::wstring Normalized(std::wstring path, unsigned flags)
{
    RCNormalizePath(path, flags);
    return path;
}

TEST(Path, NormalizesByFlagsInTheirOrderAndJoinsWithOneBackslash)
{
    EXPECT_EQ(Normalized(L"C:/Dir//", RC_PATH_ADD_BACKSLASH), L"C:/Dir\\");
    EXPECT_EQ(Normalized(L"", RC_PATH_ADD_BACKSLASH), L"");
    EXPECT_EQ(Normalized(L"C:\\Dir\\/", RC_PATH_REMOVE_BACKSLASH), L"C:\\Dir");
    EXPECT_EQ(Normalized(L"\"", RC_PATH_UNQUOTE), L"\"");
    EXPECT_EQ(Normalized(L"\"\"a b\"\"", RC_PATH_UNQUOTE), L"\"a b\"");
    EXPECT_EQ(Normalized(L"\"'x'\"", RC_PATH_UNQUOTE), L"x");
    EXPECT_EQ(Normalized(L"\"C:/A/b/\"", RC_PATH_UNQUOTE | RC_PATH_LOWER | RC_PATH_ADD_BACKSLASH | RC_PATH_BACKSLASHES),
              L"c:\\a\\b\\");

    EXPECT_EQ(RCPathJoin(L"C:\\Dir", L"\\name.txt"), L"C:\\Dir\\name.txt");
    EXPECT_EQ(RCPathJoin(L"C:\\Dir", L"\"D:\\other\""), L"D:\\other");
    EXPECT_EQ(RCPathJoin(L"", L"\\name"), L"name");

    EXPECT_EQ(RCGetFileName(L"C:\\a\\"), L"");
    EXPECT_EQ(RCGetFileName(L"bare"), L"bare");

    std::wstring longPath;
    EXPECT_TRUE(RCToLongPath(L"c:\\x", longPath));
    EXPECT_EQ(longPath, L"\\\\?\\c:\\x");
    EXPECT_FALSE(RCToLongPath(L"\\\\server\\share", longPath));
    EXPECT_EQ(longPath, L"\\\\server\\share");
}

TEST(FileSystem, CreatesDeepFoldersAndTellsFilesFromFolders)
{
    RC::test::ScratchDir root;
    const std::wstring deep = root.Path() + L"\\a\\b\\c";
    EXPECT_FALSE(RCPathExists(deep));
    ASSERT_TRUE(RCCreateDirectories(deep + L"\\"));
    EXPECT_TRUE(RCIsDirectory(deep));
    EXPECT_FALSE(RCCreateDirectories(L""));

    const std::wstring file = root.Write(L"file.bin", "12345");
    EXPECT_TRUE(RCIsFile(file));
    EXPECT_TRUE(RCIsFile(file + L"\\"));
    EXPECT_TRUE(RCIsFile(L"\"" + file + L"\""));
    EXPECT_FALSE(RCIsFile(deep));
    EXPECT_TRUE(RCPathExists(file + L"/"));
    EXPECT_FALSE(RCCreateDirectories(file));
    EXPECT_FALSE(RCCreateDirectories(file + L"\\below"));

    EXPECT_EQ(RCGetFileSize(file), 5u);
    EXPECT_EQ(RCGetFileSize(deep), 0u);
    std::wstring folder;
    ASSERT_TRUE(RCGetFolder(file, folder));
    EXPECT_EQ(folder, root.Path() + L"\\");
}

} // namespace
