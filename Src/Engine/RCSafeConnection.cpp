#include "Src/Engine/RCSafeConnection.h"

#include "Src/Engine/RCInnerData.h"
#include "foundation/RCDebugger.h"

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
    RC_LOG(Lifecycle, L"OnStart enter");
    // The old monitor must not post while the state is reset under it.
    inner_->StopMonitor();
    registry_.SetSender(sender);
    inner_->Reset(sender);
    inner_->StartMonitor(monitorTiming_);
    relay_.Start(sender);
    RC_LOG(Lifecycle, L"OnStart leave");
}

void RCSafeConnection::OnStop()
{
    RC_LOG(Lifecycle, L"OnStop enter");
    inner_->StopMonitor();
    registry_.UnInitAll();
    relay_.Stop();
    RC_LOG(Lifecycle, L"OnStop leave");
}

} // namespace RC
