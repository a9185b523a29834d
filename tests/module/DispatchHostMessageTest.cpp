#include <gtest/gtest.h>

#include "host/RCBusMessage.h"
#include "module/RCBusIds.h"
#include "module/RCSafeModuleBase.h"
#include "support/RecordingHost.h"
#include "support/TestData.h"

using namespace RC;
using KivoHost::RCBusMessage;

namespace {

// Notes what the dispatch hands to the module: "start", "stop", or
// "id a1>a2 header data/size" with "-" for a null header or data block.
class RecordingModule final : public RCSafeModuleBase {
public:
    std::vector<std::wstring> calls;

    const wchar_t* __thiscall GetModuleId() override { return L"TEST"; }
    void __thiscall SubscribeRequests(const wchar_t*) override {}
    void __thiscall UnsubscribeRequests() override {}
    void __thiscall OnStart() override { calls.push_back(L"start"); }
    void __thiscall OnStop() override { calls.push_back(L"stop"); }
    void __thiscall OnReceiveMessage(const std::wstring& a1, const std::wstring& a2, const std::wstring& id,
                                     int32_t* header, const uint8_t* data, uint32_t size) override
    {
        const std::string hex = data ? KivoTest::Hex(std::vector<uint8_t>(data, data + size)) : "-";
        calls.push_back(id + L" " + a1 + L">" + a2 + L" " + (header ? std::to_wstring(*header) : L"-") + L" " +
                        std::wstring(hex.begin(), hex.end()) + L"/" + std::to_wstring(size));
    }
};

// A message whose GetBinary fails although GetBinarySize announces a value.
class FailingMessage final : public KivoTest::RecordingMessage {
public:
    const wchar_t* __thiscall GetMessageId() override { return L"REQ"; }
    const wchar_t* __thiscall GetAddress1() override { return nullptr; }
    uint32_t __thiscall GetBinarySize(const wchar_t* key) override
    {
        return std::wstring(key) == L"SafeData" ? 0x7FFFFFF0u : 4u; // far more than can be allocated
    }
};

} // namespace

TEST(DispatchHostMessage, HandsTheModuleLifecycleAddressesHeaderAndData)
{
    RecordingModule module;
    RCBusMessage start(MSG_MODULE_START, L"", L""), stop(MSG_MODULE_STOP, L"", L"");
    RCBusMessage notice(MSG_ADDRESS_NOTICE, L"peer", L"second");
    notice.SetBinary(L"SafeData", "\x01", 1); // ignored: a notice carries only addresses
    RCBusMessage request(L"REQ", L"a1", L"a2");
    const int32_t header = 77;
    request.SetBinary(L"SafeDataHeader", &header, 4);
    request.SetBinary(L"SafeData", "\x05\x06", 2);
    RCBusMessage oddHeader(L"REQ", L"", L"");
    oddHeader.SetBinary(L"SafeDataHeader", "\x01\x02\x03", 3); // only a 4-byte header counts
    FailingMessage failing;
    for (DmAvCore::IVBusMessage* message : std::initializer_list<DmAvCore::IVBusMessage*>{
             &start, &notice, &request, &oddHeader, &failing, nullptr, &stop})
        DispatchHostMessage(&module, message);
    DispatchHostMessage(nullptr, &start); // no module: nothing to do

    EXPECT_EQ(module.calls,
              (std::vector<std::wstring>{L"start", std::wstring(MSG_ADDRESS_NOTICE_IN) + L" peer>second - -/0",
                                         L"REQ a1>a2 77 0506/2", L"REQ > - -/0", L"REQ > - -/2147483632", L"stop"}));
}
