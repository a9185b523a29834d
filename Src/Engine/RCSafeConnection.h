#pragma once
// The module's core object: the task registry, the network-state part and the
// update relay. Created and destroyed by the module and driven by its
// OnStart and OnStop, all on the host's delivery thread; the network monitor
// and the relay run threads of their own (see their headers).
#include <memory>

#include "Src/Engine/RCNetAptMonitor.h"
#include "Src/Engine/RCSafeTrevoxCtrlWrap.h"
#include "Src/Engine/RCUpdateRelay.h"

namespace RC {

class RCModuleSender;

class RCSafeConnection {
public:
    class RCInnerData;

    // The clocks of the monitor and the relay; production uses the defaults.
    struct Timing {
        RCNetAptMonitor::Timing monitor;
        RCUpdateRelay::Timing relay;
    };

    RCSafeConnection();
    // Stops the monitor first; the relay is joined within one wake wait.
    virtual ~RCSafeConnection();
    RCSafeConnection(const RCSafeConnection&) = delete;
    RCSafeConnection& operator=(const RCSafeConnection&) = delete;

    // Takes effect at the next OnStart.
    void SetTiming(const Timing& timing);

    // A second start without a stop replaces the running monitor.
    void OnStart(const RCModuleSender* sender);
    void OnStop();

    RCInnerData& Inner() { return *inner_; }
    RCSafeTrevoxCtrlWrap& Registry() { return registry_; }
    RCUpdateRelay& Relay() { return relay_; }

private:
    std::unique_ptr<RCInnerData> inner_;
    RCSafeTrevoxCtrlWrap registry_;
    RCUpdateRelay relay_;
    RCNetAptMonitor::Timing monitorTiming_;
};

} // namespace RC
