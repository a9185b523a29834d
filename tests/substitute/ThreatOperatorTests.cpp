// Quarantine (operation 1) and restore (operation 4) through Halvane.dll's
// threat operator, called by slot with MSVC-layout arguments.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
}
