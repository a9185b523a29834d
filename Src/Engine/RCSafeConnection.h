#pragma once
// The module's core object: the task registry and the network-state part.
// Created and destroyed by the module; driven by its OnStart and OnStop on the
// host's delivery thread.
#include <memory>
#include <string>

#include "Engine/RCSafeTrevoxCtrlWrap.h"

namespace RC {

class RCModuleSender;

class RCSafeConnection {
public:
    // Tells peers whether the machine is online.
    class RCInnerData {
    public:
        void SetSender(const RCModuleSender* sender) { sender_ = sender; }
        // Posts EVT_NET_STATE to the given addresses (empty: none).
        void SendNetState(const std::wstring& address1, const std::wstring& address2) const;

    private:
        bool connected_ = false;
        const RCModuleSender* sender_ = nullptr;
    };

    RCSafeConnection();
    virtual ~RCSafeConnection();
    RCSafeConnection(const RCSafeConnection&) = delete;
    RCSafeConnection& operator=(const RCSafeConnection&) = delete;

    void OnStart(const RCModuleSender* sender);
    void OnStop();

    RCInnerData& Inner() { return *inner_; }
    RCSafeTrevoxCtrlWrap& Registry() { return registry_; }

private:
    std::unique_ptr<RCInnerData> inner_;
    RCSafeTrevoxCtrlWrap registry_;
};

} // namespace RC
