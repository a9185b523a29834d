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

#include "module/RCSafeModuleBase.h"
#include "module/RCTrevoxModule.h"
#include "support/DebugOutputCapture.h"
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

// A message whose first read throws what it is given, as a broken host might.
template <typename Thrown>
class ThrowingMessage final : public KivoTest::RecordingMessage {
public:
    explicit ThrowingMessage(Thrown thrown) : thrown_(thrown) {}
    const wchar_t* __thiscall GetMessageId() override { throw thrown_; }

private:
    Thrown thrown_;
};

} // namespace

TEST(BoundaryGuard, WhatIsThrownInsideASlotBecomesItsFailureValueAndALevelOneLine)
{
    // Written before this process logs anything: the logger reads it once.
    ASSERT_TRUE(KivoTest::WriteLogConfig("<Root><Global LogLevel=\"1\" LogToFile=\"1\"/></Root>"));

    KivoTest::RecordingHost host;
    RC::RCTrevoxModule module;
    // Attach whose sender cannot be allocated: 0 as always, and nothing
    // subscribed that could never be answered. The next Attach succeeds.
    host.subscribed.reserve(9); // so that the sender's is the next allocation
    failNextAllocation = true;
    EXPECT_EQ(0, module.Attach(&host, L""));
    EXPECT_TRUE(host.subscribed.empty());
    EXPECT_EQ(0, module.Attach(&host, L""));
    EXPECT_EQ(9u, host.subscribed.size());

    // The dispatch callback returns to the host whatever the message throws.
    ThrowingMessage<std::runtime_error> hostile(std::runtime_error("hostile message"));
    RC::DispatchHostMessage(&module, &hostile);
    ThrowingMessage<int> odd(42);
    RC::DispatchHostMessage(&module, &odd);

    std::string log;
    KivoTest::ProcessLogs(L"module_boundary_tests.exe", &log);
    KivoTest::RemoveLogs(L"module_boundary_tests.exe");
    for (const char* line :
         {"RCSafeModuleBase::Attach exception: std::bad_alloc", "DispatchHostMessage exception: hostile message",
          "DispatchHostMessage exception: unknown exception"})
        EXPECT_NE(log.find(std::string("[L1] [RC::RCLogEscapedException] ") + line), std::string::npos) << log;
}
