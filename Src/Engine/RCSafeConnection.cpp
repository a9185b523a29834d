#include "Engine/RCSafeConnection.h"

#include "module/RCBusIds.h"
#include "module/RCBusRecords.h"
#include "module/RCModuleSender.h"

namespace RC {

void RCSafeConnection::RCInnerData::SendNetState(const std::wstring& address1, const std::wstring& address2) const
{
    if (sender_ == nullptr)
        return;
    NetStateEvent event;
    event.connected = connected_;
    sender_->SendRecord(address1, address2, EVT_NET_STATE, RCEncodeRecord(event));
}

RCSafeConnection::RCSafeConnection() : inner_(new RCInnerData()) {}

RCSafeConnection::~RCSafeConnection() = default;

void RCSafeConnection::OnStart(const RCModuleSender* sender)
{
    registry_.SetSender(sender);
    inner_->SetSender(sender);
}

void RCSafeConnection::OnStop()
{
    registry_.UnInitAll();
}

} // namespace RC
