// Quarantine (operation 1, slot 2) and restore (operation 4, slot 6) of the
// threat operator (Halvane.dll), by slot.
#include "EngineTest.h"

using KivoTest::ReadAll;

class ThreatOperator : public EngineTest {};

TEST_F(ThreatOperator, QuarantineStoresTheFileInertAndRestoreGivesBackTheSameBytes)
{
    std::string bytes = "MZ threat bytes ";
    for (int i = 0; i < 12; ++i)
        bytes += bytes; // 64 KiB
    const std::wstring path = files_.Write(L"threat.exe", bytes);
    const RC::ScanResult result = ResultFor(bytes);
    ASSERT_TRUE(Quarantine(path, result));
    EXPECT_FALSE(RCPathExists(path));
    ASSERT_EQ(1u, Quarantined().size());
    EXPECT_EQ(std::string::npos, ReadAll(Quarantined()[0]).find("MZ threat bytes"));

    RC::ScanResult other = result;
    other.fileMd5[0] ^= 1;
    EXPECT_FALSE(Restore(path, other));
    ASSERT_TRUE(Restore(path, result));
    EXPECT_EQ(bytes, ReadAll(path));
    EXPECT_TRUE(Quarantined().empty());
    EXPECT_FALSE(Restore(path, result)); // nothing left to restore

    // A restore never replaces a file that is there now; the item waits.
    ASSERT_TRUE(Quarantine(path, result));
    files_.Write(L"threat.exe", "newer file");
    EXPECT_FALSE(Restore(path, result));
    EXPECT_EQ("newer file", ReadAll(path));
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    ASSERT_TRUE(Restore(path, result));

    // Identical files quarantined back to back are two items, each restored.
    const std::wstring twin = files_.Write(L"twin.exe", bytes);
    ASSERT_TRUE(Quarantine(path, result) && Quarantine(twin, result));
    EXPECT_EQ(2u, Quarantined().size());
    EXPECT_TRUE(Restore(path, result) && Restore(twin, result));
    EXPECT_EQ(bytes, ReadAll(twin));
}

TEST_F(ThreatOperator, RefusesAChangedFileAndLinksAndLeavesNoPartialFile)
{
    const std::string bytes = "scanned content";
    const RC::ScanResult result = ResultFor(bytes);
    // Changed after the scan: restore looks items up by the scan's MD5.
    const std::wstring changed = files_.Write(L"changed.exe", "changed content");
    EXPECT_FALSE(Quarantine(changed, result));
    EXPECT_EQ("changed content", ReadAll(changed));

    // Reached through a folder link (the build makes link -> real): neither
    // direction may follow it, even when the path was fine before the open.
    const std::wstring links = L"C:\\KivoTest\\substitute_links\\", name = RC::test::UniqueName(L"victim");
    ASSERT_NE(0u, GetFileAttributesW((links + L"link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    Write(links + L"real\\" + name, bytes);
    EXPECT_FALSE(Quarantine(links + L"link\\" + name, result));
    EXPECT_EQ(bytes, ReadAll(links + L"real\\" + name));
    ASSERT_TRUE(Quarantine(links + L"real\\" + name, result));
    EXPECT_FALSE(Restore(links + L"link\\" + name, result));
    EXPECT_FALSE(RCPathExists(links + L"real\\" + name));
    EXPECT_TRUE(Quarantined(L"*.tmp").empty());

    // A restore that fails midway (a damaged item) leaves no partial file.
    ASSERT_EQ(1u, Quarantined().size());
    std::string item = ReadAll(Quarantined()[0]);
    item.back() ^= 1;
    Write(Quarantined()[0], item);
    EXPECT_FALSE(Restore(files_.Path() + L"\\restored.exe", result));
    EXPECT_FALSE(RCPathExists(files_.Path() + L"\\restored.exe"));
    EXPECT_EQ(1u, Quarantined().size());
}

// In a 32-bit process on 64-bit Windows, C:\Windows\System32 names the 64-bit
// folder to the engine as it does to the scan that found the file.
TEST_F(ThreatOperator, ASystem32FileIsHashedQuarantinedAndRestoredAsThe64BitOne)
{
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    if (!wow64)
        GTEST_SKIP() << "no file-system redirection on 32-bit Windows";
    const std::wstring name = RC::test::UniqueName(L"kivo") + L".dll", path = L"C:\\Windows\\System32\\" + name;
    const std::wstring native = L"C:\\Windows\\Sysnative\\" + name, wow = L"C:\\Windows\\SysWOW64\\" + name;
    Write(native, "64-bit library");
    Write(wow, "32-bit library");
    Write(Beside(L"signatures\\s.hdb"), "4fc6279068fca7124bf6bf794fd7983d:14:Win.Trojan.Native-1\n");
    const RC::ScanResult result = Scan(Proxy(), {path}).at(0);
    EXPECT_EQ(3u, result.level);
    EXPECT_TRUE(Quarantine(path, result));
    EXPECT_FALSE(RCPathExists(native));
    EXPECT_EQ("32-bit library", ReadAll(wow));
    EXPECT_TRUE(Restore(path, result));
    EXPECT_EQ("64-bit library", ReadAll(native));
    EXPECT_EQ("32-bit library", ReadAll(wow));
    DeleteFileW(native.c_str());
    DeleteFileW(wow.c_str());
}
