#include "module/RCModuleSender.h"

#include "module/RCBusIds.h"
#include "module/RCModuleMsgData.h"
#include "foundation/RCNoThrowBoundary.h"

namespace RC {

namespace {

// The host reads "no address" as a null pointer, never as an empty text.
const wchar_t* AddressOrNull(const std::wstring& address)
{
    return address.empty() ? nullptr : address.c_str();
}

} // namespace

RCModuleSender::RCModuleSender(DmAvCore::IVBusHost* host) : host_(host), poster_(new RCModulePoster()) {}

RCModuleSender::~RCModuleSender() = default;

void RCModuleSender::Post(const std::wstring& id, std::shared_ptr<DmAvCore::IVBusMessageHolder> holder,
                          const std::wstring& address2, const std::wstring& address1) const
{
    if (host_ == nullptr)
        return;
    // Out of memory here loses this message, never the caller's run.
    RCNoThrowBoundary("RCModuleSender::Post", [&] {
        DmAvCore::IVBusHost* const host = host_;
        poster_->Queue([host, id, holder, address2, address1] {
            host->PostMessage(id.c_str(), holder.get(), AddressOrNull(address2), AddressOrNull(address1));
        });
    });
}

void RCModuleSender::Send(const std::wstring& address1, const std::wstring& address2, const std::wstring& id,
                          const int32_t* /*header*/, const uint8_t* data, uint32_t size) const
{
    if (host_ == nullptr)
        return;
    if (data == nullptr) {
        Post(id, nullptr, address2, address1);
        return;
    }
    auto holder = std::make_shared<RCModuleMsgData>();
    holder->SetData(data, size);
    Post(id, holder, address2, address1);
}

void RCModuleSender::SendRecord(const std::wstring& address1, const std::wstring& address2, const std::wstring& id,
                                const std::vector<uint8_t>& record) const
{
    Send(address1, address2, id, nullptr, record.data(), static_cast<uint32_t>(record.size()));
}

void RCModuleSender::SendMap(const std::wstring& address1, const std::wstring& address2, const std::wstring& id,
                             const RCModuleMapMsgData::Map& values) const
{
    if (host_ == nullptr)
        return;
    if (values.empty()) {
        Post(id, nullptr, address2, address1);
        return;
    }
    Post(id, std::make_shared<RCModuleMapMsgData>(values), address2, address1);
}

void RCModuleSender::PostModuleStop() const
{
    Post(MSG_MODULE_STOP, nullptr, L"", L"");
}

void RCModuleSender::PostAddressNotice(const std::wstring& address1) const
{
    if (!address1.empty())
        Post(MSG_ADDRESS_NOTICE, nullptr, L"", address1);
}

} // namespace RC
