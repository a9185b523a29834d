#include "Src/Engine/RCInnerData.h"

#include "foundation/RCDebugger.h"
#include "module/RCBusIds.h"
#include "module/RCBusRecords.h"
#include "module/RCModuleSender.h"

namespace RC {

RCSafeConnection::RCInnerData::~RCInnerData()
{
    StopMonitor();
}

void RCSafeConnection::RCInnerData::Reset(const RCModuleSender* sender)
{
    sender_ = sender;
    connected_ = false;
}

void RCSafeConnection::RCInnerData::StartMonitor(const RCNetAptMonitor::Timing& timing)
{
    StopMonitor();
    monitor_.reset(new RCNetAptMonitor(this, timing));
    // Without its thread the monitor reports no change; the module serves on.
    if (!monitor_->Start())
        RC_LOG(Failure, L"network monitor thread not started");
}

void RCSafeConnection::RCInnerData::StopMonitor()
{
    if (!monitor_)
        return;
    monitor_->Stop();
    monitor_.reset();
    connected_ = false;
}

void RCSafeConnection::RCInnerData::SendNetState(const std::wstring& address1, const std::wstring& address2) const
{
    if (sender_ == nullptr)
        return;
    NetStateEvent event;
    event.connected = connected_;
    sender_->SendRecord(address1, address2, EVT_NET_STATE, RCEncodeRecord(event));
}

int32_t RCSafeConnection::RCInnerData::OnNetDisconnected()
{
    connected_ = false;
    SendNetState(std::wstring(), std::wstring());
    return 1;
}

int32_t RCSafeConnection::RCInnerData::OnNetConnected()
{
    connected_ = true;
    SendNetState(std::wstring(), std::wstring());
    return 1;
}

} // namespace RC
