#pragma once
// Posts the module's messages to the host. One per module, shared by pointer
// with everything that posts, so task infos, the network monitor and the
// update relay post from their own threads at the same time. Each message is
// copied and queued in the module's poster (see RCModulePoster), which says
// on which thread and when it reaches the host.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "module/IVBusHost.h"
#include "module/RCModuleMapMsgData.h"
#include "module/RCModulePoster.h"

namespace RC {

class RCModuleSender {
public:
    explicit RCModuleSender(DmAvCore::IVBusHost* host);
    // Posts what is still queued first.
    ~RCModuleSender();

    // The header is accepted for the callers' sake but never carried: no
    // message of this module holds "SafeDataHeader".
    void Send(const std::wstring& address1, const std::wstring& address2, const std::wstring& id, const int32_t* header,
              const uint8_t* data, uint32_t size) const;
    void SendRecord(const std::wstring& address1, const std::wstring& address2, const std::wstring& id,
                    const std::vector<uint8_t>& record) const;
    void SendMap(const std::wstring& address1, const std::wstring& address2, const std::wstring& id,
                 const RCModuleMapMsgData::Map& values) const;
    void PostModuleStop() const;
    void PostAddressNotice(const std::wstring& address1) const;

    // The queue behind every post: the module's entries and its stop use it.
    RCModulePoster* Poster() const { return poster_.get(); }

    DmAvCore::IVBusHost* host() const { return host_; }

private:
    void Post(const std::wstring& id, std::shared_ptr<DmAvCore::IVBusMessageHolder> holder,
              const std::wstring& address2, const std::wstring& address1) const;

    DmAvCore::IVBusHost* const host_;
    const std::unique_ptr<RCModulePoster> poster_;
};

} // namespace RC
