// What a foreign host sees when something inside a slot throws: the slot's
// own failure value, no unwinding into the caller, and one level-1 line in
// the log. The log configuration is shared by every process of the prefix,
// so this program runs alone.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <new>
#include <stdexcept>
#include <string>

#include "foundation/RCHandles.h"
#include "module/RCSafeModuleBase.h"
#include "module/RCTrevoxModule.h"
#include "support/RecordingHost.h"

namespace {

std::atomic<bool> failNextAllocation{false};

} // namespace

// The whole program allocates through here, the module's code included, so a
// test can make exactly one allocation fail.
void* operator new(std::size_t size)
{
    if (failNextAllocation.exchange(false))
        throw std::bad_alloc();
    if (void* block = ::HeapAlloc(::GetProcessHeap(), 0, size != 0 ? size : 1))
        return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    if (block != nullptr)
        ::HeapFree(::GetProcessHeap(), 0, block);
}

void operator delete(void* block, std::size_t) noexcept
{
    ::operator delete(block);
}

namespace {

const std::wstring kRoot = L"c:\\KivoTrevox\\";
const std::wstring kConfig = kRoot + L"KivoLog.xml";
const std::wstring kOwnLogFolder = kRoot + L"Log\\module_boundary_tests.exe";

// A message whose first read throws what it is given, as a broken host might.
template <typename Thrown>
class ThrowingMessage final : public RC::DmAvCore::IVBusMessage {
public:
    explicit ThrowingMessage(Thrown thrown) : thrown_(thrown) {}
    void __thiscall Reserved0() override {}
    void __thiscall Reserved1() override {}
    void __thiscall Reserved2() override {}
    const wchar_t* __thiscall GetMessageId() override { throw thrown_; }
    void __thiscall Reserved4() override {}
    const wchar_t* __thiscall GetAddress2() override { return L""; }
    void __thiscall Reserved6() override {}
    const wchar_t* __thiscall GetAddress1() override { return L""; }
    void __thiscall Reserved8() override {}
    void __thiscall Reserved9() override {}
    void __thiscall SetBinary(const wchar_t*, const void*, uint32_t) override {}
    uint32_t __thiscall GetBinarySize(const wchar_t*) override { return RC::DmAvCore::kAbsentBinary; }
    bool __thiscall GetBinary(const wchar_t*, void*, uint32_t) override { return false; }
    void __thiscall SetString(const wchar_t*, const wchar_t*) override {}

private:
    Thrown thrown_;
};

std::string ReadOwnLog()
{
    WIN32_FIND_DATAW entry;
    RC::unique_hfind find(::FindFirstFileW((kOwnLogFolder + L"\\*.log").c_str(), &entry));
    if (!find)
        return std::string();
    RC::unique_hfile file(::CreateFileW((kOwnLogFolder + L"\\" + entry.cFileName).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string content(64 * 1024, '\0');
    DWORD read = 0;
    if (!::ReadFile(file.get(), &content[0], static_cast<DWORD>(content.size()), &read, nullptr))
        read = 0;
    content.resize(read);
    return content;
}

void RemoveOwnLog()
{
    WIN32_FIND_DATAW entry;
    RC::unique_hfind find(::FindFirstFileW((kOwnLogFolder + L"\\*.log").c_str(), &entry));
    for (BOOL more = find.is_valid(); more; more = ::FindNextFileW(find.get(), &entry))
        ::DeleteFileW((kOwnLogFolder + L"\\" + entry.cFileName).c_str());
    find.reset();
    ::RemoveDirectoryW(kOwnLogFolder.c_str());
    ::RemoveDirectoryW((kRoot + L"Log").c_str());
}

using AttachSlot = int32_t(__thiscall*)(void* self, RC::DmAvCore::IVBusHost* host, const wchar_t* text);

} // namespace

TEST(BoundaryGuard, WhatIsThrownInsideASlotBecomesItsFailureValueAndALevelOneLine)
{
    // Written before this process logs anything: the logger reads it once.
    {
        RC::unique_hfile config(::CreateFileW(kConfig.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(config);
        const std::string xml = "<Root><Global LogLevel=\"1\" LogToFile=\"1\"/></Root>";
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(config.get(), xml.data(), static_cast<DWORD>(xml.size()), &written, nullptr));
    }

    KivoTest::RecordingHost host;
    RC::RCTrevoxModule module;
    RC::DmAvCore::IVBusModule* slots = &module;
    const AttachSlot attach = reinterpret_cast<AttachSlot>((*reinterpret_cast<void***>(slots))[0]);

    // Attach whose sender cannot be allocated: 0 as always, and nothing
    // subscribed that could never be answered. The next Attach succeeds.
    failNextAllocation = true;
    EXPECT_EQ(0, attach(slots, &host, L""));
    EXPECT_TRUE(host.subscribed.empty());
    EXPECT_EQ(0, attach(slots, &host, L""));
    EXPECT_EQ(9u, host.subscribed.size());

    // The dispatch callback returns to the host whatever the message throws.
    ThrowingMessage<std::runtime_error> hostile(std::runtime_error("hostile message"));
    RC::DispatchHostMessage(slots, &hostile);
    ThrowingMessage<int> odd(42);
    RC::DispatchHostMessage(slots, &odd);

    const std::string log = ReadOwnLog();
    ::DeleteFileW(kConfig.c_str());
    RemoveOwnLog();
    EXPECT_NE(log.find("[L1] [RC::RCLogEscapedException] RCSafeModuleBase::Attach exception: std::bad_alloc"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("[L1] [RC::RCLogEscapedException] DispatchHostMessage exception: hostile message"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("[L1] [RC::RCLogEscapedException] DispatchHostMessage exception: unknown exception"),
              std::string::npos)
        << log;
}
