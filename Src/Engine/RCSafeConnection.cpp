#include "Engine/RCSafeConnection.h"

#include "Engine/RCInnerData.h"

namespace RC {

RCSafeConnection::RCSafeConnection() : inner_(new RCInnerData()) {}

RCSafeConnection::~RCSafeConnection()
{
    inner_->StopMonitor();
}

void RCSafeConnection::SetTiming(const Timing& timing)
{
    monitorTiming_ = timing.monitor;
    relay_.SetTiming(timing.relay);
}

void RCSafeConnection::OnStart(const RCModuleSender* sender)
{
    // The old monitor must not post while the state is reset under it.
    inner_->StopMonitor();
    registry_.SetSender(sender);
    inner_->Reset(sender);
    inner_->StartMonitor(monitorTiming_);
    relay_.Start(sender);
}

void RCSafeConnection::OnStop()
{
    inner_->StopMonitor();
    registry_.UnInitAll();
    relay_.Stop();
}

} // namespace RC
