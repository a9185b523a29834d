#include <gtest/gtest.h>

#include "host/RCBusMessage.h"
#include "module/RCBusIds.h"
#include "module/RCSafeModuleBase.h"

using namespace RC;
using KivoHost::RCBusMessage;

namespace {

// Records what the dispatch hands to the module.
class RecordingModule final : public RCSafeModuleBase {
public:
    struct Received {
        std::wstring address1, address2, id;
        bool hasHeader;
        int32_t header;
        bool hasData;
        std::vector<uint8_t> data;
        uint32_t size;
    };
    std::vector<std::string> lifecycle;
    std::vector<Received> received;

    const wchar_t* __thiscall GetModuleId() override { return L"TEST"; }
    void __thiscall SubscribeRequests(const wchar_t*) override {}
    void __thiscall UnsubscribeRequests() override {}
    void __thiscall OnStart() override { lifecycle.push_back("start"); }
    void __thiscall OnStop() override { lifecycle.push_back("stop"); }
    void __thiscall OnReceiveMessage(const std::wstring& a1, const std::wstring& a2, const std::wstring& id,
                                     int32_t* header, const uint8_t* data, uint32_t size) override
    {
        received.push_back({a1, a2, id, header != nullptr, header ? *header : 0, data != nullptr,
                            data ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>(), size});
    }
};

// A message whose GetBinary fails although GetBinarySize announces a value.
class FailingMessage final : public DmAvCore::IVBusMessage {
public:
    void __thiscall Reserved0() override {}
    void __thiscall Reserved1() override {}
    void __thiscall Reserved2() override {}
    const wchar_t* __thiscall GetMessageId() override { return L"REQ"; }
    void __thiscall Reserved4() override {}
    const wchar_t* __thiscall GetAddress2() override { return nullptr; }
    void __thiscall Reserved6() override {}
    const wchar_t* __thiscall GetAddress1() override { return nullptr; }
    void __thiscall Reserved8() override {}
    void __thiscall Reserved9() override {}
    void __thiscall SetBinary(const wchar_t*, const void*, uint32_t) override {}
    uint32_t __thiscall GetBinarySize(const wchar_t* key) override
    {
        return std::wstring(key) == L"SafeData" ? 0x7FFFFFF0u : 4u;  // far more than can be allocated
    }
    bool __thiscall GetBinary(const wchar_t*, void*, uint32_t) override { return false; }
    void __thiscall SetString(const wchar_t*, const wchar_t*) override {}
};

// Some other module of the suite: not one of ours.
class ForeignModule final : public DmAvCore::IVBusModule {
public:
    int32_t __thiscall Attach(DmAvCore::IVBusHost*, const wchar_t*) override { return 0; }
    void __thiscall Detach() override {}
    const wchar_t* __thiscall GetModuleId() override { return L""; }
    void __thiscall Reserved(uint32_t, uint32_t) override {}
    void* __thiscall DeletingDestructor(unsigned) override { return this; }
    void __thiscall SubscribeRequests(const wchar_t*) override {}
    void __thiscall UnsubscribeRequests() override {}
    void __thiscall OnStart() override { touched = true; }
    void __thiscall OnStop() override { touched = true; }
    void __thiscall OnReceiveMessage(const std::wstring&, const std::wstring&, const std::wstring&, int32_t*,
                                     const uint8_t*, uint32_t) override
    {
        touched = true;
    }
    bool touched = false;
};

} // namespace

TEST(DispatchHostMessage, LifecycleAndAddressNotices)
{
    RecordingModule module;
    RCBusMessage start(MSG_MODULE_START, L"", L"");
    RCBusMessage stop(MSG_MODULE_STOP, L"", L"");
    RCBusMessage notice(MSG_ADDRESS_NOTICE, L"peer", L"second");
    notice.SetBinary(L"SafeData", "\x01", 1);  // ignored: a notice carries only addresses
    DispatchHostMessage(&module, &start);
    DispatchHostMessage(&module, &notice);
    DispatchHostMessage(&module, &stop);

    EXPECT_EQ(module.lifecycle, (std::vector<std::string>{"start", "stop"}));
    ASSERT_EQ(module.received.size(), 1u);
    EXPECT_EQ(module.received[0].id, MSG_ADDRESS_NOTICE_IN);
    EXPECT_EQ(module.received[0].address1, L"peer");
    EXPECT_EQ(module.received[0].address2, L"second");
    EXPECT_FALSE(module.received[0].hasData);
    EXPECT_EQ(module.received[0].size, 0u);
}

TEST(DispatchHostMessage, UnpacksHeaderAndData)
{
    RecordingModule module;
    RCBusMessage request(L"REQ", L"a1", L"a2");
    const int32_t header = 77;
    request.SetBinary(L"SafeDataHeader", &header, 4);
    request.SetBinary(L"SafeData", "\x05\x06", 2);
    RCBusMessage oddHeader(L"REQ", L"", L"");
    oddHeader.SetBinary(L"SafeDataHeader", "\x01\x02\x03", 3);
    DispatchHostMessage(&module, &request);
    DispatchHostMessage(&module, &oddHeader);

    ASSERT_EQ(module.received.size(), 2u);
    EXPECT_TRUE(module.received[0].hasHeader);
    EXPECT_EQ(module.received[0].header, 77);
    EXPECT_EQ(module.received[0].data, (std::vector<uint8_t>{5, 6}));
    EXPECT_FALSE(module.received[1].hasHeader);  // only a 4-byte header counts
    EXPECT_FALSE(module.received[1].hasData);    // no "SafeData": null and 0
    EXPECT_EQ(module.received[1].size, 0u);
}

TEST(DispatchHostMessage, FailedReadsGiveNullBlocksAndForeignModulesAreLeftAlone)
{
    RecordingModule module;
    FailingMessage failing;
    DispatchHostMessage(&module, &failing);
    ASSERT_EQ(module.received.size(), 1u);
    EXPECT_FALSE(module.received[0].hasHeader);
    EXPECT_FALSE(module.received[0].hasData);
    EXPECT_EQ(module.received[0].size, 0x7FFFFFF0u);  // the size stays as announced
    EXPECT_EQ(module.received[0].address1, L"");

    ForeignModule foreign;
    RCBusMessage start(MSG_MODULE_START, L"", L"");
    DispatchHostMessage(&foreign, &start);
    DispatchHostMessage(nullptr, &start);
    DispatchHostMessage(&module, nullptr);
    EXPECT_FALSE(foreign.touched);
    EXPECT_TRUE(module.lifecycle.empty());
}
