// The scan proxy (Quentor.dll) and the assist's BeginRun (Halvane.dll), by slot.
#include "EngineTest.h"

#include <set>

#include "substitute/scan/UnreadFiles.h"
#include "tests/substitute/SignatureFiles.h"

class ScanProxy : public EngineTest {};

TEST_F(ScanProxy, AnswersWithLevelRecordNumberMd5AndSizeOfTheListedFile)
{
    // Records count the valid signatures over the databases in name order;
    // the malformed line has none.
    Write(Beside(L"signatures\\a.hdb"),
          "f0487a5fe46199c808c871d2e0a52bb2:11:Win.Trojan.Agent-1\r\nnot a signature\r\n" + std::string(32, 'f') +
              ":1:Win.Trojan.Other-2\r\n");
    Write(Beside(L"signatures\\b.hsb"),
          "f516ad7402c1fe8c855e4ffec17ecb1aa7c66d187ba61405004ff9cae79237f4:*:PUA.Win.Adware.Popper-3:73\n");
    const std::vector<RC::ScanResult> results =
        Scan(Proxy(), {files_.Write(L"trojan.exe", "trojan body"), files_.Write(L"adware.exe", "adware body"),
                       files_.Path() + L"\\missing.txt"});
    std::vector<std::string> verdicts;
    for (const RC::ScanResult& r : results)
        verdicts.push_back(std::string(r.threatName, r.threatName + std::wcslen(r.threatName)) + " " +
                           std::to_string(r.level) + "/" + std::to_string(r.subLevel) + " #" +
                           std::to_string(r.signatureRecord) + " " + KivoTest::Hex({r.fileMd5, r.fileMd5 + 16}) + " " +
                           std::to_string(r.fileSizeLow));
    EXPECT_EQ("Win.Trojan.Agent-1 3/0 #1 f0487a5fe46199c808c871d2e0a52bb2 11", verdicts.at(0));
    EXPECT_EQ("PUA.Win.Adware.Popper-3 2/1 #3 627e5b4181b3e087ee9b6cc51dcb9fb2 11", verdicts.at(1));
    EXPECT_EQ(0u, results.at(2).level); // a file that is gone is answered, not dropped
}

TEST_F(ScanProxy, ReadsAContainerWithSectionHashesAllowListsAndIgnoredNames)
{
    // Three images with the same listed section; one is on the allow-list,
    // one also matches a whole-file signature that an .ign2 line silences.
    const std::string section(0x100, 'S');
    const std::string image = SignatureFiles::Pe({{0x200, 0x100}}) + section;
    const std::string allowed = image + "allowed";
    const std::string silenced = image + "silenced";
    const std::string cut = SignatureFiles::Pe({{0x200, 0x100}}) + section.substr(1);
    // These containers are built here, unsigned: the engine takes them as asked.
    SetEnvironmentVariableW(L"QUENTOR_UNSIGNED_CONTAINERS", L"1");
    const auto md5 = [](const std::string& bytes) {
        const RC::ScanResult result = ResultFor(bytes);
        return KivoTest::Hex({result.fileMd5, result.fileMd5 + 16});
    };
    Write(Beside(L"signatures\\daily.cvd"),
          SignatureFiles::Header(27000, 4) +
              SignatureFiles::Gzip(SignatureFiles::Tar(
                  {{"daily.mdb", "256:" + md5(section) + ":Win.Trojan.Section-1\n"},
                   {"daily.hdb", md5(silenced) + ":" + std::to_string(silenced.size()) + ":Win.Trojan.Silenced-2\n"},
                   {"daily.fp", md5(allowed) + ":" + std::to_string(allowed.size()) + ":Allowed.File\n"},
                   {"daily.ign2", "Win.Trojan.Silenced-2\n"}})));
    // An older copy of the same database, as an update leaves it beside the new one: never loaded.
    Write(Beside(L"signatures\\daily.cld"),
          SignatureFiles::Header(26999, 1) +
              SignatureFiles::Tar(
                  {{"daily.hdb", md5(cut) + ":" + std::to_string(cut.size()) + ":Win.Trojan.Stale-9\n"}}));
    const std::vector<RC::ScanResult> results =
        Scan(Proxy(), {files_.Write(L"image.exe", image), files_.Write(L"allowed.exe", allowed),
                       files_.Write(L"silenced.exe", silenced), files_.Write(L"cut.exe", cut)});
    EXPECT_EQ(std::wstring(L"Win.Trojan.Section-1"), results.at(0).threatName);
    EXPECT_EQ(1u, results.at(0).signatureRecord);
    EXPECT_EQ(0u, results.at(1).level);
    EXPECT_EQ(std::wstring(L"Win.Trojan.Section-1"), results.at(2).threatName);
    EXPECT_EQ(0u, results.at(3).level); // its section reaches past the end: not hashed
    SetEnvironmentVariableW(L"QUENTOR_UNSIGNED_CONTAINERS", nullptr);
}

TEST_F(ScanProxy, TakesQueriesOnlyWhileStartedAndStopsAfterTheLastAnswer)
{
    Write(Beside(L"Quentor.ini"), "[Controls]\r\nDelayMs=5\r\nWorkers=2\r\nAnswerTwice=twice.txt\r\n");
    const std::wstring file = files_.Write(L"file.txt", "some bytes");
    void* proxy = Proxy();
    EXPECT_FALSE(CallSlot<bool>(proxy, 5, 1u, file.c_str()));
    CallSlot<void>(proxy, 3);
    for (std::uint32_t id = 1; id <= 40; ++id)
        ASSERT_TRUE(CallSlot<bool>(proxy, 5, id, file.c_str()));
    CallSlot<void>(proxy, 4);
    // Every accepted query answered exactly once, none still in the callback.
    EXPECT_EQ(0, running_.load());
    const auto answers = Answers();
    EXPECT_EQ(40u, answers.size());
    for (std::uint32_t id = 1; id <= 40; ++id)
        EXPECT_EQ(1u, answers.count(id)) << id;
    EXPECT_FALSE(CallSlot<bool>(proxy, 5, 41u, file.c_str()));
    Scan(proxy, {files_.Write(L"twice.txt", "x")}); // a stopped proxy starts again
    EXPECT_EQ(2u, Answers().count(41));             // as the controls ask
}

TEST_F(ScanProxy, BeginRunOfTheAssistPicksUpChangedDatabasesBetweenRuns)
{
    const std::wstring sample = files_.Write(L"sample.bin", "late signature");
    void* assist = Create(halvane_.get(), RC::kEngineAssistObjectId, false);
    void* proxy = Proxy();
    CallSlot<void>(proxy, 2, assist);
    CallSlot<void>(assist, 1); // as the product does before each run
    EXPECT_EQ(0u, Scan(proxy, {sample}).at(0).level);
    Write(Beside(L"signatures\\late.hdb"), "c5c20fea92c45f21e5976eb4ff20ff57:14:Win.Virus.Late-9\n");
    EXPECT_EQ(0u, Scan(proxy, {sample}).at(0).level); // no BeginRun, no reload
    CallSlot<void>(assist, 1);
    const RC::ScanResult found = Scan(proxy, {sample}).at(0);
    EXPECT_EQ(L"Win.Virus.Late-9 3/1", std::wstring(found.threatName) + L" " + std::to_wstring(found.level) + L"/" +
                                           std::to_wstring(found.subLevel));
}

TEST_F(ScanProxy, FindsWhatArchivesHoldAndAnswersForTheArchiveListingWhatItCouldNotRead)
{
    const std::string marker = "kivo body marker inside";
    Write(Beside(L"signatures\\body.ndb"), "Win.Trojan.Inside-1:0:*:" + KivoTest::Hex({marker.begin(), marker.end()}) + "\n");
    const std::string filler(5000, 'f');
    const std::string eicarZip = SignatureFiles::Zip({{"readme.txt", "hello"}, {"inner/eicar.com", KivoTest::kEicar}});
    const std::string cut = eicarZip.substr(0, eicarZip.size() - 40); // its central directory gone
    const std::string zeros(110u << 20, '\0');
    // Bytes whose checksum field only begins with the digit their signed sum
    // gives, as random files sometimes do: no tar to clamscan, nor here.
    std::string notTar(600, 'x');
    notTar.replace(0, 512, 512, '\0');
    notTar[0] = notTar[1] = '\x83';
    notTar.replace(148, 2, "6\xC2");
    const std::vector<std::wstring> paths = {
        files_.Write(L"eicar.zip", eicarZip),
        files_.Write(L"body.zip", SignatureFiles::Zip({{"a.bin", filler + marker + filler}})),
        files_.Write(L"nested.zip", SignatureFiles::Zip({{"../../in.zip", eicarZip}}, false)),
        files_.Write(L"eicar.tar.gz", SignatureFiles::Gzip(SignatureFiles::Tar({{"x/eicar.com", KivoTest::kEicar}}))),
        // 110 MiB of zeros, read up to max-filesize; the entry after it is still read.
        files_.Write(L"bomb.zip", SignatureFiles::Zip({{"zeros", zeros}, {"eicar.com", KivoTest::kEicar}})),
        files_.Write(L"zeros.zip", SignatureFiles::Zip({{"zeros", zeros}})),
        files_.Write(L"cut.zip", cut),
        files_.Write(L"clean.tar", SignatureFiles::Tar({{"a.txt", filler}})),
        files_.Write(L"random.bin", notTar),
    };
    const std::vector<RC::ScanResult> results = Scan(Proxy(), paths);
    const auto name = [&](std::size_t i) { return std::wstring(results.at(i).threatName); };
    EXPECT_EQ(L"Eicar-Test-Signature", name(0));
    const RC::ScanResult archive = ResultFor(eicarZip); // the archive's MD5 and size: quarantine takes the archive
    EXPECT_EQ(0, std::memcmp(archive.fileMd5, results.at(0).fileMd5, 16));
    EXPECT_EQ(eicarZip.size(), results.at(0).fileSizeLow);
    EXPECT_EQ(L"Win.Trojan.Inside-1", name(1));
    EXPECT_EQ(L"Eicar-Test-Signature", name(2));
    EXPECT_EQ(L"Eicar-Test-Signature", name(3));
    EXPECT_EQ(L"Eicar-Test-Signature", name(4));
    EXPECT_EQ(0u, results.at(5).level);
    EXPECT_EQ(0u, results.at(6).level); // as clamscan: a zip without its directory shows nothing...
    EXPECT_EQ(0u, results.at(7).level);
    // ...and is listed for the host, as a bomb cut at a limit is; a threat
    // found or a file read whole is not.
    std::set<std::wstring> listed;
    for (const auto& entry : Substitute::UnreadFiles::Take(RCGetExeFolder(), L"Task-1"))
        listed.insert(entry.path.substr(entry.path.rfind(L'\\') + 1) + L": " + entry.reason);
    EXPECT_EQ((std::set<std::wstring>{L"cut.zip: not fully scanned: damaged zip (no central directory)",
                                      L"zeros.zip: not fully scanned: max-filesize (104857600 bytes)"}),
              listed);
}
