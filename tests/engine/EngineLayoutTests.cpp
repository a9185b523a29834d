// The engine boundary's byte layouts, as an MSVC-built engine reads them.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "engine/MsvcWString.h"
#include "engine/ThreatOperation4Request.h"
#include "engine/Wow64FsRedirectionGuard.h"
#include "support/TestData.h"

namespace {

template <typename T>
T At(const void* base, std::size_t offset)
{
    T value;
    std::memcpy(&value, static_cast<const char*>(base) + offset, sizeof value);
    return value;
}

// Machine field of a PE file's header: 0x14C for x86, 0x8664 for x64.
unsigned MachineOf(const std::wstring& path)
{
    const std::string head = KivoTest::ReadAll(path);
    const std::uint32_t pe = head.size() >= 64 ? At<std::uint32_t>(head.data(), 0x3C) : 0;
    return pe != 0 && pe + 6 <= head.size() ? At<std::uint16_t>(head.data(), pe + 4) : 0;
}

} // namespace

TEST(EngineLayout, WideStringObjectKeepsShortTextInlineAndLongTextOnTheHeap)
{
    const RC::MsvcWString shortText(L"C:\\a.ex");
    EXPECT_EQ(At<std::uint32_t>(&shortText, 16), 7u);
    EXPECT_EQ(At<std::uint32_t>(&shortText, 20), 7u);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(&shortText)), L"C:\\a.ex");

    const std::wstring path = L"C:\\Users\\someone\\Downloads\\threat.exe";
    const RC::MsvcWString longText(path.c_str(), path.size());
    EXPECT_EQ(At<std::uint32_t>(&longText, 16), path.size());
    EXPECT_GE(At<std::uint32_t>(&longText, 20), path.size());
    EXPECT_EQ(std::wstring(At<const wchar_t*>(&longText, 0)), path);
}

TEST(EngineLayout, OperationFourRequestCarriesFixedFieldsPathAndKey)
{
    RC::ScanResult result;
    std::memset(&result, 0, sizeof result);
    for (int i = 0; i < 16; ++i)
        reinterpret_cast<unsigned char*>(&result)[404 + i] = static_cast<unsigned char>(0xA0 + i);
    const std::wstring longPath = L"C:\\" + std::wstring(297, L'x');
    RC::ThreatOperation4Request request;
    std::memset(&request, 0xEE, sizeof request);
    RC::BuildThreatOperation4Request(longPath.c_str(), longPath.size(), result, request);

    EXPECT_EQ(At<std::uint32_t>(&request, 0), 0u);
    EXPECT_EQ(At<std::uint8_t>(&request, 4), 0u);
    EXPECT_EQ(At<std::uint32_t>(&request, 8), 1u);
    EXPECT_EQ(std::wstring(request.path), longPath.substr(0, 259));
    EXPECT_EQ(At<std::uint64_t>(&request, 536), 0u);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&request) + 544, result.fileMd5, 16), 0);
}

TEST(EngineLayout, RedirectionGuardReachesTheNativeSystemFolderOnlyUnderWow64)
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring kernel32 = std::wstring(system) + L"\\kernel32.dll";
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);

    RC::Wow64FsRedirectionGuard guard;
    EXPECT_EQ(MachineOf(kernel32), 0x14Cu);
    guard.Disable();
    EXPECT_EQ(MachineOf(kernel32), wow64 ? 0x8664u : 0x14Cu);
    guard.Revert();
    EXPECT_EQ(MachineOf(kernel32), 0x14Cu);
}
