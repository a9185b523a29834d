#pragma once
// The network-state part of the connection object: owns the network monitor
// and tells peers whether the machine is online.
//
// Threads: the host's delivery thread starts and stops the monitor and
// answers REQ_NET_STATE; the monitor thread calls the sink operations, which
// post. The sender is not owned and changes only while no monitor runs.
// The monitor is stopped before this part goes away.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "Src/Engine/INetAptMonSink.h"
#include "Src/Engine/RCNetAptMonitor.h"
#include "Src/Engine/RCSafeConnection.h"

namespace RC {

class RCModuleSender;

class RCSafeConnection::RCInnerData : public INetAptMonSink {
public:
    RCInnerData() = default;
    ~RCInnerData() override;
    RCInnerData(const RCInnerData&) = delete;
    RCInnerData& operator=(const RCInnerData&) = delete;

    // With the monitor stopped: a fresh start reports not connected.
    void Reset(const RCModuleSender* sender);
    // Replaces a running monitor by a new one; the old one stops first.
    void StartMonitor(const RCNetAptMonitor::Timing& timing);
    void StopMonitor();
    bool HasMonitor() const { return monitor_ != nullptr; }

    // Posts EVT_NET_STATE to the given addresses (empty: none).
    void SendNetState(const std::wstring& address1, const std::wstring& address2) const;

    int32_t OnNetDisconnected() override;
    int32_t OnNetConnected() override;

private:
    std::atomic<bool> connected_{false};
    std::unique_ptr<RCNetAptMonitor> monitor_;
    const RCModuleSender* sender_ = nullptr;
};

} // namespace RC
