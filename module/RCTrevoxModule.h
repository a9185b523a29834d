#pragma once
// The scan module: subscribes its requests, hands lifecycle messages to the
// connection object and routes requests to its parts.
#include <memory>

#include "module/RCSafeModuleBase.h"

namespace RC {

class RCSafeConnection;

class RCTrevoxModule final : public RCSafeModuleBase {
public:
    RCTrevoxModule();
    ~RCTrevoxModule() override;

    const wchar_t* __thiscall GetModuleId() override;
    void __thiscall SubscribeRequests(const wchar_t* text) override;
    void __thiscall UnsubscribeRequests() override;
    void __thiscall OnStart() override;
    void __thiscall OnStop() override;
    void __thiscall OnReceiveMessage(const std::wstring& address1, const std::wstring& address2, const std::wstring& id,
                                     int32_t* header, const uint8_t* data, uint32_t size) override;

    // The connection object, for tests that set its clocks.
    RCSafeConnection* Connection() const { return connection_.get(); }

private:
    std::unique_ptr<RCSafeConnection> connection_;
};

} // namespace RC
