#include "module/RCTrevoxModule.h"

#include "Src/Engine/RCInnerData.h"
#include "Src/Engine/RCSafeConnection.h"
#include "foundation/RCDebugger.h"
#include "module/RCBusIds.h"

namespace RC {

RCTrevoxModule::RCTrevoxModule() : connection_(new RCSafeConnection()) {}

// The connection goes first: its threads may still post through the sender,
// whose poster then posts what they left before it goes.
RCTrevoxModule::~RCTrevoxModule()
{
    RCModulePoster::Entry entry(Poster());
    connection_.reset();
}

const wchar_t* RCTrevoxModule::GetModuleId()
{
    return MODULE_ID;
}

void RCTrevoxModule::SubscribeRequests(const wchar_t* /*text*/)
{
    for (const std::wstring* id : kSubscribedRequests)
        Subscribe(id->c_str());
}

void RCTrevoxModule::UnsubscribeRequests()
{
    for (const std::wstring* id : kSubscribedRequests)
        Unsubscribe(id->c_str());
}

void RCTrevoxModule::OnStart()
{
    RCModulePoster::Entry entry(Poster());
    if (connection_)
        connection_->OnStart(sender_.get());
}

// The run's end states are queued by the workers that this stop joins; they
// are posted here, and after it no thread of the module calls the host.
void RCTrevoxModule::OnStop()
{
    RCModulePoster::Entry entry(Poster());
    if (connection_)
        connection_->OnStop();
    if (RCModulePoster* poster = Poster())
        poster->Quiesce();
}

void RCTrevoxModule::OnReceiveMessage(const std::wstring& address1, const std::wstring& address2,
                                      const std::wstring& id, int32_t* header, const uint8_t* data, uint32_t size)
{
    RCModulePoster::Entry entry(Poster());
    if (!connection_)
        return;
    RC_LOG(Detail, L"Get request %s", id.c_str());
    if (id == REQ_NET_STATE) {
        connection_->Inner().SendNetState(address1, address2);
        return;
    }
    if (id == REQ_UPDATE_PAYLOAD) {
        connection_->Relay().TakePayload(data, size);
        return;
    }
    if (id == REQ_UPDATE_ANSWER) {
        connection_->Relay().RelayAnswer(data, size);
        return;
    }
    if (id == REQ_UPDATE_FORWARD) {
        connection_->Relay().Forward(data, size);
        return;
    }
    // The header is for no handler.
    (void)header;
    connection_->Registry().OnReceiveMessage(address1, address2, id, data, size);
}

} // namespace RC
