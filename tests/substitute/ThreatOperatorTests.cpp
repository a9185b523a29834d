// Quarantine (operation 1) and restore (operation 4) through Halvane.dll's
// threat operator, called by slot with MSVC-layout arguments.

#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "EngineCopy.h"
#include "engine/EngineObjectIds.h"
#include "engine/MsvcWString.h"
#include "engine/ThreatOperation4Request.h"

using namespace EngineTest;

namespace {

class Operator {
public:
    explicit Operator(EngineCopy& engine) : engine_(engine), object_(engine.Create(L"Halvane.dll", RC::kThreatOperatorObjectId))
    {
        if (object_ != nullptr)
            CallSlot<void>(object_, 0);
    }
    ~Operator()
    {
        if (object_ != nullptr) {
            CallSlot<void>(object_, 1);
            engine_.Destroy(L"Halvane.dll", RC::kThreatOperatorObjectId, object_);
        }
    }
    bool Exists() const { return object_ != nullptr; }
    bool Quarantine(const std::wstring& path, const RC::ScanResult& result)
    {
        RC::MsvcWString text(path.c_str(), path.size());
        return CallSlot<bool>(object_, 2, static_cast<const RC::MsvcWString*>(&text), &result);
    }
    bool Restore(const std::wstring& path, const RC::ScanResult& result)
    {
        RC::ThreatOperation4Request request;
        RC::BuildThreatOperation4Request(path.c_str(), path.size(), result, request);
        return CallSlot<bool>(object_, 6, static_cast<const RC::ThreatOperation4Request*>(&request));
    }

private:
    EngineCopy& engine_;
    void* object_;
};

// What a scan of these bytes answers with: the MD5 at byte 404 is the key.
RC::ScanResult ResultFor(const std::string& bytes, const wchar_t* name)
{
    RC::ScanResult result;
    std::memset(&result, 0, sizeof result);
    result.level = 3;
    std::wcscpy(result.threatName, name);
    const std::string hex = Md5Hex(bytes);
    for (std::size_t i = 0; i < 16; ++i)
        result.fileMd5[i] = static_cast<std::uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    return result;
}

} // namespace

TEST(ThreatOperator, QuarantineThenRestoreGivesBackTheSameBytesAtTheSamePath)
{
    EngineCopy engine;
    std::string bytes = "MZ threat bytes ";
    for (int i = 0; i < 12; ++i)
        bytes += bytes; // 64 KiB, several writes' worth
    CreateDirectoryW(engine.PathOf(L"victim folder").c_str(), nullptr);
    const std::wstring path = engine.PathOf(L"victim folder\\threat.exe");
    engine.Write(L"victim folder\\threat.exe", bytes);
    const RC::ScanResult result = ResultFor(bytes, L"Win.Trojan.Agent-1");

    Operator threats(engine);
    ASSERT_TRUE(threats.Exists());
    ASSERT_TRUE(threats.Quarantine(path, result));
    EXPECT_FALSE(Exists(path));
    const std::vector<std::wstring> items = engine.List(L"Quarantine\\*.qtn");
    ASSERT_EQ(items.size(), 1u);
    // Stored inert: the original bytes appear nowhere in the item.
    EXPECT_EQ(engine.Read(L"Quarantine\\" + items[0]).find("MZ threat bytes"), std::string::npos);

    RC::ScanResult other = result;
    other.fileMd5[0] ^= 1;
    EXPECT_FALSE(threats.Restore(path, other));

    ASSERT_TRUE(threats.Restore(path, result));
    EXPECT_EQ(ReadAll(path), bytes);
    EXPECT_TRUE(engine.List(L"Quarantine\\*.qtn").empty());
    EXPECT_FALSE(threats.Restore(path, result)); // nothing left to restore
}

TEST(ThreatOperator, RestoreNeverReplacesAFileAtTheTargetPath)
{
    EngineCopy engine;
    const std::string bytes = "first content";
    const std::wstring path = engine.PathOf(L"file.bin");
    engine.Write(L"file.bin", bytes);
    const RC::ScanResult result = ResultFor(bytes, L"Win.Trojan.Agent-1");
    Operator threats(engine);
    ASSERT_TRUE(threats.Quarantine(path, result));
    engine.Write(L"file.bin", "newer file");
    EXPECT_FALSE(threats.Restore(path, result));
    EXPECT_EQ(ReadAll(path), "newer file");
    EXPECT_EQ(engine.List(L"Quarantine\\*.qtn").size(), 1u);
}

TEST(ThreatOperator, AFileThatCannotBeRemovedStaysWhereItWas)
{
    EngineCopy engine;
    const std::string bytes = "locked content";
    const RC::ScanResult result = ResultFor(bytes, L"Win.Trojan.Agent-1");
    Operator threats(engine);

    // Held open by someone who allows no deletion.
    const std::wstring held = engine.PathOf(L"held.exe");
    engine.Write(L"held.exe", bytes);
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(threats.Quarantine(held, result));
    CloseHandle(holder);
    EXPECT_EQ(ReadAll(held), bytes);

    // Read-only: copied first, then the removal fails and the copy is dropped.
    const std::wstring readOnly = engine.PathOf(L"readonly.exe");
    engine.Write(L"readonly.exe", bytes);
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(threats.Quarantine(readOnly, result));
    EXPECT_EQ(ReadAll(readOnly), bytes);

    EXPECT_FALSE(threats.Quarantine(engine.PathOf(L"missing.exe"), result));
    EXPECT_TRUE(engine.List(L"Quarantine\\*").size() <= 2u); // only "." and ".."
    EXPECT_TRUE(engine.List(L"Quarantine\\*.qtn").empty());
    EXPECT_TRUE(engine.List(L"Quarantine\\*.tmp").empty());

    // A restore into a folder that is gone keeps the item for a later try.
    ASSERT_TRUE(threats.Quarantine(held, result));
    EXPECT_FALSE(threats.Restore(engine.PathOf(L"gone\\held.exe"), result));
    EXPECT_EQ(engine.List(L"Quarantine\\*.qtn").size(), 1u);
    ASSERT_TRUE(threats.Restore(held, result));
    EXPECT_EQ(ReadAll(held), bytes);
}

TEST(ThreatOperator, RefusesWhatTheScanDidNotFind)
{
    EngineCopy engine;
    Operator threats(engine);
    const std::string bytes = "scanned content";
    const RC::ScanResult result = ResultFor(bytes, L"Win.Trojan.Agent-1");

    // Changed after the scan: restore looks items up by the scan's MD5.
    engine.Write(L"changed.exe", "changed content");
    EXPECT_FALSE(threats.Quarantine(engine.PathOf(L"changed.exe"), result));
    EXPECT_EQ(engine.Read(L"changed.exe"), "changed content");

    // Reached through a folder link (the build makes link -> real): neither
    // direction may follow it, even when the path was fine before the open.
    const std::wstring links = L"C:\\KivoTest\\substitute_links\\";
    ASSERT_NE(GetFileAttributesW((links + L"link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    const std::wstring name = L"victim-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    WriteAll(links + L"real\\" + name, bytes);
    EXPECT_FALSE(threats.Quarantine(links + L"link\\" + name, result));
    EXPECT_EQ(ReadAll(links + L"real\\" + name), bytes);
    ASSERT_TRUE(threats.Quarantine(links + L"real\\" + name, result));
    EXPECT_FALSE(threats.Restore(links + L"link\\" + name, result));
    EXPECT_FALSE(Exists(links + L"real\\" + name));
    EXPECT_TRUE(engine.List(L"Quarantine\\*.tmp").empty());

    // A restore that fails midway (a damaged item) leaves no partial file.
    const std::vector<std::wstring> items = engine.List(L"Quarantine\\*.qtn");
    ASSERT_EQ(items.size(), 1u);
    std::string item = engine.Read(L"Quarantine\\" + items[0]);
    item.back() ^= 1;
    engine.Write(L"Quarantine\\" + items[0], item);
    EXPECT_FALSE(threats.Restore(engine.PathOf(L"restored.exe"), result));
    EXPECT_FALSE(Exists(engine.PathOf(L"restored.exe")));
    EXPECT_EQ(engine.List(L"Quarantine\\*.qtn").size(), 1u);
}

TEST(ThreatOperator, ManyFilesComeBackByteForByteEvenWhenIdentical)
{
    EngineCopy engine;
    Operator threats(engine);
    // Files 0 and 1 are identical and go back to back on one thread: within
    // one clock tick at most.
    std::vector<std::string> contents(1000);
    for (std::size_t i = 0; i < contents.size(); ++i) {
        for (std::size_t j = 0; j <= i % 97; ++j)
            contents[i] += static_cast<char>((i * 31 + j * 7) & 0xFF);
        engine.Write(std::to_wstring(i) + L".bin", contents[i]);
    }
    contents[1] = contents[0];
    engine.Write(L"1.bin", contents[1]);

    // Several operators' worth of threads, as the product's workers would; the
    // quarantine's flushes dominate, and they overlap.
    std::vector<char> quarantined(contents.size()), restored(contents.size());
    const auto inParallel = [&](std::vector<char>& done, bool restore) {
        std::vector<std::thread> workers;
        for (std::size_t first = 0; first < contents.size(); first += 125)
            workers.emplace_back([&, first] {
                for (std::size_t i = first; i < first + 125; ++i) {
                    const RC::ScanResult result = ResultFor(contents[i], L"Win.Trojan.Agent-1");
                    const std::wstring path = engine.PathOf(std::to_wstring(i) + L".bin");
                    done[i] = restore ? threats.Restore(path, result) : threats.Quarantine(path, result);
                }
            });
        for (std::thread& worker : workers)
            worker.join();
    };
    inParallel(quarantined, false);
    EXPECT_EQ(std::count(quarantined.begin(), quarantined.end(), 1), 1000);
    EXPECT_EQ(engine.List(L"Quarantine\\*.qtn").size(), contents.size());
    inParallel(restored, true);
    for (std::size_t i = 0; i < contents.size(); ++i)
        ASSERT_EQ(engine.Read(std::to_wstring(i) + L".bin"), contents[i]) << i;
    EXPECT_TRUE(engine.List(L"Quarantine\\*.qtn").empty());
}

// In a 32-bit process on 64-bit Windows, C:\Windows\System32 names the 64-bit
// folder to the engine as it does to the scan that found the file.
TEST(ThreatOperator, ASystem32FileIsHashedQuarantinedAndRestoredAsThe64BitOne)
{
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    if (!wow64)
        GTEST_SKIP() << "no file-system redirection on 32-bit Windows";
    const std::wstring name = L"kivo-" + std::to_wstring(GetCurrentProcessId()) + L".dll";
    const std::string native = "64-bit library", wow = "32-bit library";
    WriteAll(L"C:\\Windows\\Sysnative\\" + name, native);
    WriteAll(L"C:\\Windows\\SysWOW64\\" + name, wow);
    EngineCopy engine;
    ASSERT_TRUE(CreateDirectoryW(engine.PathOf(L"signatures").c_str(), nullptr));
    engine.Write(L"signatures\\s.hdb", Md5Hex(native) + ":" + std::to_string(native.size()) + ":Win.Trojan.Native-1\n");

    const std::wstring path = L"C:\\Windows\\System32\\" + name;
    AnswerLog log;
    void* proxy = engine.Create(L"Quentor.dll", RC::kScanProxyObjectId);
    ASSERT_NE(proxy, nullptr);
    CallSlot<void>(proxy, 0, L"Task-1");
    CallSlot<void>(proxy, 7, static_cast<void*>(&log), &AnswerLog::Callback);
    CallSlot<void>(proxy, 3);
    ASSERT_TRUE(CallSlot<bool>(proxy, 5, 1u, path.c_str()));
    ASSERT_TRUE(log.WaitFor(1));
    CallSlot<void>(proxy, 4);
    CallSlot<void>(proxy, 1);
    engine.Destroy(L"Quentor.dll", RC::kScanProxyObjectId, proxy);
    const RC::ScanResult result = log.For(1).at(0);
    EXPECT_EQ(result.level, 3u);
    EXPECT_EQ(std::memcmp(result.fileMd5, ResultFor(native, L"").fileMd5, 16), 0);

    Operator threats(engine);
    EXPECT_TRUE(threats.Quarantine(path, result));
    EXPECT_FALSE(Exists(L"C:\\Windows\\Sysnative\\" + name));
    EXPECT_EQ(ReadAll(L"C:\\Windows\\SysWOW64\\" + name), wow);
    EXPECT_TRUE(threats.Restore(path, result));
    EXPECT_EQ(ReadAll(L"C:\\Windows\\Sysnative\\" + name), native);
    EXPECT_EQ(ReadAll(L"C:\\Windows\\SysWOW64\\" + name), wow);
    DeleteFileW((L"C:\\Windows\\Sysnative\\" + name).c_str());
    DeleteFileW((L"C:\\Windows\\SysWOW64\\" + name).c_str());
}
