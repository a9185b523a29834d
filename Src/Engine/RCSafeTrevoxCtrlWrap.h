#pragma once
// The registry of scan tasks by TaskId. Called on the host's delivery thread
// only, one call at a time, so it has no lock.
#include <cstdint>
#include <string>

namespace RC {

class RCModuleSender;

class RCSafeTrevoxCtrlWrap {
public:
    RCSafeTrevoxCtrlWrap() = default;
    virtual ~RCSafeTrevoxCtrlWrap() = default;
    RCSafeTrevoxCtrlWrap(const RCSafeTrevoxCtrlWrap&) = delete;
    RCSafeTrevoxCtrlWrap& operator=(const RCSafeTrevoxCtrlWrap&) = delete;

    void SetSender(const RCModuleSender* sender) { sender_ = sender; }
    // Releases every task's scan controller; the entries stay.
    void UnInitAll();
    // Task requests; any other identifier is ignored. No task kind is served
    // yet, so for now every request is dropped without a reply.
    void OnReceiveMessage(const std::wstring& address1, const std::wstring& address2, const std::wstring& id,
                          const uint8_t* data, uint32_t size);

private:
    const RCModuleSender* sender_ = nullptr;
};

} // namespace RC
