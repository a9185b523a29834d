#include "module/RCSafeModuleBase.h"

#include "foundation/RCNoThrowBoundary.h"
#include "module/RCBusIds.h"
#include "module/RCScalarDelete.h"

namespace RC {

RCSafeModuleBase::RCSafeModuleBase() = default;
RCSafeModuleBase::~RCSafeModuleBase() = default;

int32_t RCSafeModuleBase::Attach(DmAvCore::IVBusHost* host, const wchar_t* text)
{
    // The host knows no result but 0. When the sender cannot be made, nothing
    // is subscribed, so the module takes no request it could never answer; a
    // later Attach tries again.
    return RCNoThrowBoundary("RCSafeModuleBase::Attach", 0, [&] {
        host_ = host;
        // A second Attach keeps the first sender, which still posts to the first host.
        if (!sender_)
            sender_.reset(new RCModuleSender(host));
        RCModulePoster::Entry entry(Poster());
        SubscribeRequests(text);
        Subscribe(MSG_MODULE_START);
        Subscribe(MSG_MODULE_STOP);
        return 0;
    });
}

void RCSafeModuleBase::Detach()
{
    // The lifecycle messages stay subscribed: the host still stops the module.
    // The queued posts go out before this returns, while the host surely
    // still takes them.
    RCNoThrowBoundary("RCSafeModuleBase::Detach", [&] {
        RCModulePoster::Entry entry(Poster());
        UnsubscribeRequests();
    });
}

void RCSafeModuleBase::Reserved(uint32_t, uint32_t) {}

void* RCSafeModuleBase::DeletingDestructor(unsigned flags)
{
    return RCScalarDeletingDestroy(this, flags);
}

void RCSafeModuleBase::Subscribe(const wchar_t* id)
{
    if (host_ != nullptr)
        host_->Subscribe(id, &DispatchHostMessage);
}

void RCSafeModuleBase::Unsubscribe(const wchar_t* id)
{
    if (host_ != nullptr)
        host_->Unsubscribe(id);
}

} // namespace RC
