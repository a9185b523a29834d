#pragma once
// Common base of the suite's bus modules: keeps the host and the module's one
// sender, and subscribes the lifecycle messages on Attach.
#include <memory>

#include "module/IVBusModule.h"
#include "module/RCModuleSender.h"

namespace RC {

class RCSafeModuleBase : public DmAvCore::IVBusModule {
public:
    RCSafeModuleBase();
    // Virtual for the scalar deleting destructor of slot 4; GCC puts these
    // entries after the ten interface slots, where no host looks.
    virtual ~RCSafeModuleBase();
    RCSafeModuleBase(const RCSafeModuleBase&) = delete;
    RCSafeModuleBase& operator=(const RCSafeModuleBase&) = delete;

    int32_t __thiscall Attach(DmAvCore::IVBusHost* host, const wchar_t* text) override;
    void __thiscall Detach() override;
    void __thiscall Reserved(uint32_t first, uint32_t second) override;
    void* __thiscall DeletingDestructor(unsigned flags) override;

protected:
    // Both do nothing while no host is set.
    void Subscribe(const wchar_t* id);
    void Unsubscribe(const wchar_t* id);
    // What the module's entries hold while they run: their posts go out
    // before they return (null before the first Attach).
    RCModulePoster* Poster() const { return sender_ ? sender_->Poster() : nullptr; }

    DmAvCore::IVBusHost* host_ = nullptr;
    std::unique_ptr<RCModuleSender> sender_;
};

// The callback of every subscription: unpacks the message and hands it to
// the module it was subscribed for.
extern "C" void __cdecl DispatchHostMessage(DmAvCore::IVBusModule* module, DmAvCore::IVBusMessage* message);

} // namespace RC
