// The scanning library as a foreign host sees it: exports by name, objects by
// id, operations by vtable slot.

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "EngineCopy.h"
#include "engine/EngineObjectIds.h"
#include "support/TestData.h"

using namespace EngineTest;
using KivoTest::kEicar;

namespace {

// The proxy's slots, called by number as the product's binary does.
class Proxy {
public:
    explicit Proxy(EngineCopy& engine) : engine_(engine), object_(engine.Create(L"Quentor.dll", RC::kScanProxyObjectId)) {}
    ~Proxy()
    {
        if (object_ != nullptr) {
            UnInit();
            engine_.Destroy(L"Quentor.dll", RC::kScanProxyObjectId, object_);
        }
    }
    bool Exists() const { return object_ != nullptr; }
    void Init(const wchar_t* argument) { CallSlot<void>(object_, 0, argument); }
    void UnInit() { CallSlot<void>(object_, 1); }
    void SetAssist(void* assist) { CallSlot<void>(object_, 2, assist); }
    void Start() { CallSlot<void>(object_, 3); }
    void Stop() { CallSlot<void>(object_, 4); }
    bool AddQuery(std::uint32_t id, const std::wstring& path) { return CallSlot<bool>(object_, 5, id, path.c_str()); }
    void EndOfQueries() { CallSlot<void>(object_, 6); }
    void SetResultCallback(AnswerLog& log) { CallSlot<void>(object_, 7, static_cast<void*>(&log), &AnswerLog::Callback); }

    // Init, callback and Start, as the product's queue does it.
    void Begin(AnswerLog& log)
    {
        Init(L"Task-1");
        SetResultCallback(log);
        Start();
    }

private:
    EngineCopy& engine_;
    void* object_;
};

std::string Name(const RC::ScanResult& result)
{
    std::string name;
    for (const wchar_t* p = result.threatName; *p != 0; ++p)
        name.push_back(static_cast<char>(*p));
    return name;
}

std::string Md5Of(const RC::ScanResult& result)
{
    return KivoTest::Hex(std::vector<std::uint8_t>(std::begin(result.fileMd5), std::end(result.fileMd5)));
}

} // namespace

TEST(ScanProxy, FindsEicarAndListedFilesAndPassesCleanOnes)
{
    EngineCopy engine;
    const std::string trojan = "trojan body", adware = "adware body", worm = "worm body", sized = "wrong size";
    CreateDirectoryW(engine.PathOf(L"signatures").c_str(), nullptr);
    engine.Write(L"signatures\\a.hdb", Md5Hex(trojan) + ":" + std::to_string(trojan.size()) + ":Win.Trojan.Agent-1\r\n" +
                                           "not a signature line\r\n" + Md5Hex(sized) + ":999:Win.Trojan.Sized-2\r\n");
    engine.Write(L"signatures\\b.hsb", Sha256Hex(adware) + ":*:PUA.Win.Adware.Popper-3\n" + Sha1Hex(worm) + ":" +
                                           std::to_string(worm.size()) + ":Win.Worm.Crawler-4\n");
    engine.Write(L"eicar.com", kEicar + "\r\n");
    engine.Write(L"trojan.exe", trojan);
    engine.Write(L"adware.exe", adware);
    engine.Write(L"worm.exe", worm);
    engine.Write(L"sized.exe", sized);
    engine.Write(L"clean.txt", "nothing here");
    engine.Write(L"eicar-plus.txt", kEicar + "tail");

    AnswerLog log;
    Proxy proxy(engine);
    ASSERT_TRUE(proxy.Exists());
    proxy.Begin(log);
    const wchar_t* files[] = {L"eicar.com", L"trojan.exe", L"adware.exe", L"worm.exe",
                              L"sized.exe", L"clean.txt", L"eicar-plus.txt", L"missing.txt"};
    for (std::uint32_t id = 1; id <= 8; ++id)
        ASSERT_TRUE(proxy.AddQuery(id, engine.PathOf(files[id - 1])));
    proxy.EndOfQueries();
    ASSERT_TRUE(log.WaitFor(8));
    proxy.Stop();
    ASSERT_EQ(log.Count(), 8u);

    // Name, level/sub-level and record number: records count the valid
    // signatures over the files in name order, the malformed line skipped.
    const auto verdict = [&](std::uint32_t id) {
        const RC::ScanResult result = log.For(id).at(0);
        return Name(result) + " " + std::to_string(result.level) + "/" + std::to_string(result.subLevel) + " #" +
               std::to_string(result.signatureId);
    };
    EXPECT_EQ(verdict(1), "Eicar-Test-Signature 3/2 #0");
    EXPECT_EQ(verdict(2), "Win.Trojan.Agent-1 3/0 #1");
    EXPECT_EQ(verdict(3), "PUA.Win.Adware.Popper-3 2/1 #3");
    EXPECT_EQ(verdict(4), "Win.Worm.Crawler-4 3/0 #4");
    EXPECT_EQ(Md5Of(log.For(2).at(0)), Md5Hex(trojan));
    EXPECT_EQ(log.For(2).at(0).fileSizeLow, trojan.size());

    // A listed hash with another size, a clean file, EICAR with more than
    // whitespace after it, and a file that is not there are all level 0.
    for (std::uint32_t id : {5u, 6u, 7u, 8u}) {
        const RC::ScanResult clean = log.For(id).at(0);
        EXPECT_EQ(clean.level, 0u) << id;
        EXPECT_EQ(clean.threatName[0], L'\0') << id;
    }
    EXPECT_EQ(Md5Of(log.For(6).at(0)), Md5Hex("nothing here"));
}

TEST(ScanProxy, AcceptsQueriesOnlyWhileStartedAndStopsOnlyAfterTheLastAnswer)
{
    EngineCopy engine;
    engine.Write(L"Quentor.ini", "[Controls]\r\nDelayMs=5\r\nWorkers=2\r\n");
    engine.Write(L"file.txt", "some bytes");
    AnswerLog log;
    Proxy proxy(engine);
    proxy.Init(L"Task-1");
    proxy.SetResultCallback(log);
    EXPECT_FALSE(proxy.AddQuery(1, engine.PathOf(L"file.txt")));

    proxy.Start();
    const std::uint32_t queries = 40;
    for (std::uint32_t id = 1; id <= queries; ++id)
        ASSERT_TRUE(proxy.AddQuery(id, engine.PathOf(L"file.txt")));
    proxy.Stop();
    // Every accepted query answered exactly once, none still in the callback.
    EXPECT_EQ(log.Running(), 0);
    EXPECT_EQ(log.Count(), queries);
    for (std::uint32_t id = 1; id <= queries; ++id)
        EXPECT_EQ(log.For(id).size(), 1u) << id;
    EXPECT_FALSE(proxy.AddQuery(queries + 1, engine.PathOf(L"file.txt")));

    // A stopped proxy starts again for the next run.
    proxy.Start();
    EXPECT_TRUE(proxy.AddQuery(100, engine.PathOf(L"file.txt")));
    proxy.EndOfQueries();
    ASSERT_TRUE(log.WaitFor(queries + 1));
    proxy.Stop();
    EXPECT_EQ(log.For(100).size(), 1u);
}

TEST(ScanProxy, TestControlsRefuseSilenceAndRepeatChosenFiles)
{
    EngineCopy engine;
    engine.Write(L"Quentor.ini", "NeverAnswer=never.txt\nAnswerTwice=" + std::string("twice.txt") +
                                     "\nRefuse=refused.txt\n; comment\n");
    for (const wchar_t* name : {L"never.txt", L"twice.txt", L"refused.txt", L"plain.txt"})
        engine.Write(name, "x");
    AnswerLog log;
    Proxy proxy(engine);
    proxy.Begin(log);
    EXPECT_FALSE(proxy.AddQuery(1, engine.PathOf(L"refused.txt")));
    EXPECT_TRUE(proxy.AddQuery(2, engine.PathOf(L"never.txt")));
    EXPECT_TRUE(proxy.AddQuery(3, engine.PathOf(L"twice.txt")));
    EXPECT_TRUE(proxy.AddQuery(4, engine.PathOf(L"plain.txt")));
    proxy.EndOfQueries();
    ASSERT_TRUE(log.WaitFor(3));
    proxy.Stop();
    EXPECT_EQ(log.For(1).size(), 0u);
    EXPECT_EQ(log.For(2).size(), 0u);
    EXPECT_EQ(log.For(3).size(), 2u);
    EXPECT_EQ(log.For(4).size(), 1u);
}

TEST(ScanProxy, BeginRunOfTheAssistPicksUpChangedDatabases)
{
    EngineCopy engine;
    const std::string body = "late signature";
    engine.Write(L"sample.bin", body);
    CreateDirectoryW(engine.PathOf(L"signatures").c_str(), nullptr);
    engine.Write(L"signatures\\first.hdb", "");
    AnswerLog log;
    Proxy proxy(engine);
    void* assist = engine.Create(L"Halvane.dll", RC::kEngineAssistObjectId);
    ASSERT_NE(assist, nullptr);
    proxy.SetAssist(assist);

    auto scanOnce = [&](std::uint32_t id, bool beginRun) {
        if (beginRun)
            CallSlot<void>(assist, 1); // as the product does before each run
        proxy.Start();
        EXPECT_TRUE(proxy.AddQuery(id, engine.PathOf(L"sample.bin")));
        proxy.EndOfQueries();
        EXPECT_TRUE(log.WaitFor(id));
        proxy.Stop();
        return log.For(id).at(0);
    };
    proxy.Init(L"Task-1");
    proxy.SetResultCallback(log);
    EXPECT_EQ(scanOnce(1, true).level, 0u);
    engine.Write(L"signatures\\second.hdb", Md5Hex(body) + ":" + std::to_string(body.size()) + ":Win.Virus.Late-9\n");
    EXPECT_EQ(scanOnce(2, false).level, 0u); // databases change between runs, not within one
    const RC::ScanResult found = scanOnce(3, true);
    EXPECT_EQ(found.level, 3u);
    EXPECT_EQ(found.subLevel, 1u);
    EXPECT_EQ(Name(found), "Win.Virus.Late-9");

    proxy.UnInit();
    engine.Destroy(L"Halvane.dll", RC::kEngineAssistObjectId, assist);
}

TEST(ScanProxy, UnknownObjectIdsAreRefused)
{
    EngineCopy engine;
    EXPECT_EQ(engine.Create(L"Quentor.dll", 0x1003), nullptr);
    EXPECT_EQ(engine.Create(L"Halvane.dll", 0x7777), nullptr);
}
