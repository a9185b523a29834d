#pragma once
// Posts the module's messages to the host. One per module, shared by pointer
// with everything that posts; it keeps no state but the host pointer, so task
// infos, the network monitor and the update relay post from their own threads
// at the same time.
#include <cstdint>
#include <string>
#include <vector>

#include "module/IVBusHost.h"
#include "module/RCModuleMapMsgData.h"

namespace RC {

class RCModuleSender {
public:
    explicit RCModuleSender(DmAvCore::IVBusHost* host) : host_(host) {}

    // The header is accepted for the callers' sake but never carried: no
    // message of this module holds "SafeDataHeader".
    void Send(const std::wstring& address1, const std::wstring& address2, const std::wstring& id,
              const int32_t* header, const uint8_t* data, uint32_t size) const;
    void SendRecord(const std::wstring& address1, const std::wstring& address2, const std::wstring& id,
                    const std::vector<uint8_t>& record) const;
    void SendMap(const std::wstring& address1, const std::wstring& address2, const std::wstring& id,
                 const RCModuleMapMsgData::Map& values) const;
    void PostModuleStop() const;
    void PostAddressNotice(const std::wstring& address1) const;

    DmAvCore::IVBusHost* host() const { return host_; }

private:
    void Post(const wchar_t* id, DmAvCore::IVBusMessageHolder* holder, const std::wstring& address2,
              const std::wstring& address1) const;

    DmAvCore::IVBusHost* host_;
};

} // namespace RC
