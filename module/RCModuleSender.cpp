#include "module/RCModuleSender.h"

#include "module/RCBusIds.h"
#include "module/RCModuleMsgData.h"

namespace RC {

namespace {

// The host reads "no address" as a null pointer, never as an empty text.
const wchar_t* AddressOrNull(const std::wstring& address)
{
    return address.empty() ? nullptr : address.c_str();
}

} // namespace

void RCModuleSender::Post(const wchar_t* id, DmAvCore::IVBusMessageHolder* holder,
                          const std::wstring& address2, const std::wstring& address1) const
{
    if (host_ != nullptr)
        host_->PostMessage(id, holder, AddressOrNull(address2), AddressOrNull(address1));
}

void RCModuleSender::Send(const std::wstring& address1, const std::wstring& address2, const std::wstring& id,
                          const int32_t* /*header*/, const uint8_t* data, uint32_t size) const
{
    if (host_ == nullptr)
        return;
    if (data == nullptr) {
        Post(id.c_str(), nullptr, address2, address1);
        return;
    }
    // The host copies the content out before PostMessage returns.
    RCModuleMsgData holder;
    holder.SetData(data, size);
    Post(id.c_str(), &holder, address2, address1);
}

void RCModuleSender::SendRecord(const std::wstring& address1, const std::wstring& address2,
                                const std::wstring& id, const std::vector<uint8_t>& record) const
{
    Send(address1, address2, id, nullptr, record.data(), static_cast<uint32_t>(record.size()));
}

void RCModuleSender::SendMap(const std::wstring& address1, const std::wstring& address2, const std::wstring& id,
                             const RCModuleMapMsgData::Map& values) const
{
    if (host_ == nullptr)
        return;
    if (values.empty()) {
        Post(id.c_str(), nullptr, address2, address1);
        return;
    }
    RCModuleMapMsgData holder(values);
    Post(id.c_str(), &holder, address2, address1);
}

void RCModuleSender::PostModuleStop() const
{
    if (host_ != nullptr)
        host_->PostMessage(MSG_MODULE_STOP, nullptr, nullptr, nullptr);
}

void RCModuleSender::PostAddressNotice(const std::wstring& address1) const
{
    if (host_ != nullptr && !address1.empty())
        host_->PostMessage(MSG_ADDRESS_NOTICE, nullptr, nullptr, address1.c_str());
}

} // namespace RC
