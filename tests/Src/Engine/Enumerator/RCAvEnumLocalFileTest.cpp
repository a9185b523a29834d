#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <shlobj.h>

#include <fstream>
#include <iterator>
#include <wrl/client.h>

#include "Src/Engine/Enumerator/RCAvEnumFileFilter.h"
#include "Src/Engine/Enumerator/RCAvEnumLocalLnkFile.h"
#include "Src/Engine/Enumerator/RCShellLinkParser.h"
#include "EnumTestSupport.h"
#include "foundation/RCOleInit.h"
#include "foundation/RCTextConvert.h"

using namespace RC;
using namespace RC::test;
using Microsoft::WRL::ComPtr;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::Pair;
using testing::UnorderedElementsAre;

namespace {

void Put32(std::string& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A shell link without an ID list whose LinkInfo holds a local base path.
std::string LinkToBasePath(const std::string& basePath)
{
    std::string link(76, '\0');
    Put32(link, 0, 76);
    Put32(link, 20, 0x2); // has LinkInfo
    std::string info(28, '\0');
    const uint32_t size = static_cast<uint32_t>(28 + basePath.size() + 2);
    Put32(info, 0, size);
    Put32(info, 4, 28);                               // header size
    Put32(info, 8, 1);                                // volume ID and local base path
    Put32(info, 16, 28);                              // local base path offset
    Put32(info, 24, static_cast<uint32_t>(size - 1)); // common path suffix offset
    return link + info + basePath + std::string(2, '\0');
}

// The build makes C:\KivoTest\enum_loop with a file and a link back to the
// folder itself; Wine shows the link as a reparse point, which is not entered.
TEST(RCAvEnumLocalFileTest, WalksFilesOfEachFolderBeforeItsSubFoldersNotThroughLinksAndStopsWhenRefused)
{
    ScratchDir dir;
    dir.Make(L"one");
    dir.Make(L"one\\deep");
    dir.Make(L"two");
    const std::wstring b = dir.Write(L"one\\b.txt"), c = dir.Write(L"one\\deep\\c.txt"), d = dir.Write(L"two\\d.txt"),
                       single = dir.Write(L"single.exe");

    RecordingSink sink;
    RCRefPtr<RCAvEnumLocalFile> walker(new RCAvEnumLocalFile(0x200, 26));
    walker->SetEnumEvent(&sink);
    for (const std::wstring& root : {single, std::wstring(), dir.Path() + L"\\missing", dir.Path() + L"\\one",
                                     dir.Path() + L"\\two", std::wstring(L"C:\\KivoTest\\enum_loop")})
        walker->AddPath(root);
    walker->Stop(); // a run begins unstopped
    EXPECT_TRUE(walker->Enum());
    ASSERT_THAT(sink.Paths(), ElementsAre(single, b, c, d, L"C:\\KivoTest\\enum_loop\\inside.txt"));
    EXPECT_EQ(sink.files[0].second, L"");

    // A refusal ends the whole walk, later roots included; the end event still comes.
    sink.files.clear();
    sink.itemEnds = 0;
    sink.acceptCount = 1;
    walker->Enum();
    EXPECT_THAT(sink.Paths(), ElementsAre(single, b));
    EXPECT_EQ(sink.itemEnds, 1);

    sink.files.clear();
    sink.startAnswer = false;
    walker->Enum();
    EXPECT_THAT(sink.files, IsEmpty());
    EXPECT_EQ(sink.itemEnds, 2);
}

TEST(RCAvEnumLocalLnkFileTest, ReportsTargetsOfShortcutsUpTo10000Bytes)
{
    RCOleInit ole;
    ScratchDir dir;
    const std::wstring target = dir.Write(L"target.exe"), other = dir.Write(L"other.exe");
    dir.Make(L"links");

    ComPtr<IShellLinkW> shell;
    ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&shell))));
    shell->SetPath(target.c_str());
    ComPtr<IPersistFile> file;
    ASSERT_TRUE(SUCCEEDED(shell.As(&file)));
    const std::wstring viaShell = dir.Path() + L"\\links\\shell.lnk";
    ASSERT_TRUE(SUCCEEDED(file->Save(viaShell.c_str(), TRUE)));
    // The same link with a LinkInfo path that names another file: the ID
    // list, which the shell reads, goes first.
    std::ifstream saved(viaShell.c_str(), std::ios::binary);
    std::string idListFirst(std::istreambuf_iterator<char>(saved), {});
    ASSERT_GT(idListFirst.size(), 78u);
    const size_t linkInfo = 78 + static_cast<uint8_t>(idListFirst[76]) + 256 * static_cast<uint8_t>(idListFirst[77]);
    const size_t name = idListFirst.find("target.exe", linkInfo);
    ASSERT_NE(name, std::string::npos);
    idListFirst[name] = 'T';
    const std::wstring idListLink = dir.Write(L"links\\idlist.lnk", idListFirst);

    std::string exact = LinkToBasePath(RCWideToMultiByte(other, CP_ACP));
    exact.resize(10000, '\0');
    const std::wstring exactLink = dir.Write(L"links\\exact.lnk", exact);
    exact.push_back('\0');
    dir.Write(L"links\\tooBig.lnk", exact);
    dir.Write(L"links\\note.txt", "hello");
    dir.Write(L"links\\longBase.lnk", LinkToBasePath(std::string(300, 'x')));
    std::string lyingIdList = LinkToBasePath(RCWideToMultiByte(other, CP_ACP));
    Put32(lyingIdList, 20, 0x3);
    lyingIdList[76] = '\xFF'; // an ID list longer than the file
    lyingIdList[77] = '\xFF';
    dir.Write(L"links\\lying.lnk", lyingIdList);

    RecordingSink sink;
    RCRefPtr<RCAvEnumLocalLnkFile> links(new RCAvEnumLocalLnkFile(0x200, 20));
    EXPECT_EQ(links->GetScanGroup(), 0x40);
    links->AddPath(dir.Path() + L"\\links");
    links->SetEnumEvent(&sink);
    links->Enum();
    EXPECT_THAT(sink.files,
                UnorderedElementsAre(Pair(other, exactLink), Pair(target, idListLink), Pair(target, viaShell)));
}

TEST(RCShellLinkParserTest, SizeFieldsThatLieAreRefusedWithoutReadingPastTheBuffer)
{
    const std::string valid = LinkToBasePath("C:\\x.exe");
    const auto* bytes = reinterpret_cast<const uint8_t*>(valid.data());
    RCShellLinkParser::Link link;
    std::string basePath;
    ASSERT_EQ(RCShellLinkParser::Parse(bytes, valid.size(), link), RCShellLinkParser::Result::Parsed);
    EXPECT_TRUE(RCShellLinkParser::ReadLinkInfoPath(bytes, valid.size(), link.linkInfoPosition, basePath));
    EXPECT_EQ(basePath, "C:\\x.exe");

    // No truncation of a valid link runs off its end (the bytes past it are
    // poison). One that cuts the LinkInfo fields up to the path's offset (20
    // bytes) is refused and leaves the path as it was; one that ends later,
    // before the path does, is a link that names nothing.
    for (size_t size = 0; size < valid.size(); ++size) {
        const std::string cut = valid.substr(0, size) + std::string(16, 'Z');
        const auto* data = reinterpret_cast<const uint8_t*>(cut.data());
        const RCShellLinkParser::Result parsed = RCShellLinkParser::Parse(data, size, link);
        EXPECT_EQ(parsed, size < 76 ? RCShellLinkParser::Result::NotShellLink : RCShellLinkParser::Result::Parsed);
        basePath = "kept";
        const bool pathCut = size >= link.linkInfoPosition + 20;
        if (parsed == RCShellLinkParser::Result::Parsed) {
            EXPECT_EQ(pathCut, RCShellLinkParser::ReadLinkInfoPath(data, size, link.linkInfoPosition, basePath))
                << size;
        }
        EXPECT_EQ(basePath, pathCut ? "" : "kept") << size;
    }

    // ID lists go to the shell only when sizes chain inside the buffer and
    // no item points the shell outside itself.
    // A GUID item; a file item named "" whose extension block of 8 bytes at
    // offset 16 runs to its end; the terminator.
    std::vector<uint8_t> list(20 + 24 + 2, 0);
    for (const auto& [at, value] : std::initializer_list<std::pair<int, int>>{
             {0, 20}, {2, 0x1F}, {20, 24}, {20 + 2, 0x32}, {20 + 16, 8}, {20 + 22, 16}})
        list[at] = static_cast<uint8_t>(value);
    EXPECT_TRUE(RCShellLinkParser::IsWellFormedIdList(list.data(), list.size()));
    EXPECT_FALSE(RCShellLinkParser::IsWellFormedIdList(list.data(), list.size() - 2));
    list[20 + 22] = 0xF0; // the extension offset now points far past the item
    EXPECT_FALSE(RCShellLinkParser::IsWellFormedIdList(list.data(), list.size()));
    list[0] = 0x50; // a size past the end
    EXPECT_FALSE(RCShellLinkParser::IsWellFormedIdList(list.data(), list.size()));
}

TEST(RCAvEnumFileFilterTest, KeepsScanExtensionsAndOptionallyExecutableImages)
{
    RCRefPtr<RCAvEnumFileFilter> filter(new RCAvEnumFileFilter);
    for (const wchar_t* extension : {L".exe", L".dll", L".sys", L".com", L".cpl", L".vir", L".drv", L".scr", L".ocx",
                                     L".bat", L".cmd", L".pif", L".rar", L".zip", L".doc"})
        EXPECT_FALSE(filter->IsFileFiltered(std::wstring(L"C:\\a.b\\c") + extension)) << extension;
    for (const wchar_t* kept : {L"C:\\a\\b.EXE", L"C:\\a\\b.Zip"})
        EXPECT_FALSE(filter->IsFileFiltered(kept)) << kept;
    for (const wchar_t* dropped : {L"C:\\a\\b.txt", L"C:\\a\\b.exex", L"C:\\a.exe\\b", L"C:\\a\\exe", L"C:\\a\\b.ex"})
        EXPECT_TRUE(filter->IsFileFiltered(dropped)) << dropped;

    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    filter->checkExtension = 0;
    filter->checkExecutableImage = 1;
    EXPECT_FALSE(filter->IsFileFiltered(self));
    EXPECT_TRUE(filter->IsFileFiltered(L"C:\\a\\b.exe")); // no such file, so no image
}

} // namespace
