#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "foundation/RCNoThrowBoundary.h"
#include "module/RCBusIds.h"
#include "module/RCSafeModuleBase.h"

namespace RC {

namespace {

std::wstring TextOrEmpty(const wchar_t* text)
{
    return text != nullptr ? std::wstring(text) : std::wstring();
}

RCSafeModuleBase* AsModule(DmAvCore::IVBusModule* module)
{
    try {
        return dynamic_cast<RCSafeModuleBase*>(module);
    } catch (...) {
        return nullptr;
    }
}

} // namespace

namespace {

void Dispatch(DmAvCore::IVBusModule* module, DmAvCore::IVBusMessage* message)
{
    RCSafeModuleBase* target = AsModule(module);
    if (target == nullptr || message == nullptr)
        return;

    const std::wstring id = TextOrEmpty(message->GetMessageId());
    if (id == MSG_MODULE_START) {
        target->OnStart();
        return;
    }
    if (id == MSG_MODULE_STOP) {
        target->OnStop();
        return;
    }
    const std::wstring address1 = TextOrEmpty(message->GetAddress1());
    const std::wstring address2 = TextOrEmpty(message->GetAddress2());
    if (id == MSG_ADDRESS_NOTICE) {
        target->OnReceiveMessage(address1, address2, MSG_ADDRESS_NOTICE_IN, nullptr, nullptr, 0);
        return;
    }

    std::unique_ptr<int32_t> header;
    if (message->GetBinarySize(L"SafeDataHeader") == sizeof(int32_t)) {
        header.reset(new int32_t(-1));
        if (!message->GetBinary(L"SafeDataHeader", header.get(), sizeof(int32_t)))
            header.reset();
    }

    // A host that announces more than can be allocated is treated like one
    // whose GetBinary failed: no data, the size as announced.
    std::unique_ptr<uint8_t[]> data;
    uint32_t size = message->GetBinarySize(L"SafeData");
    if (size == DmAvCore::kAbsentBinary) {
        size = 0;
    } else if (size != 0) {
        data.reset(new (std::nothrow) uint8_t[size]);
        if (data && !message->GetBinary(L"SafeData", data.get(), size))
            data.reset();
    }

    target->OnReceiveMessage(address1, address2, id, header.get(), data.get(), size);
}

} // namespace

extern "C" void __cdecl DispatchHostMessage(DmAvCore::IVBusModule* module, DmAvCore::IVBusMessage* message)
{
    RCNoThrowBoundary("DispatchHostMessage", [&] { Dispatch(module, message); });
}

} // namespace RC
