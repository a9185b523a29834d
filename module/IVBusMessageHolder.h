#pragma once
// Content that the module hands to the host's PostMessage. The host copies it
// out through WriteTo before PostMessage returns, so holders live on the
// poster's stack and the host never destroys one.
#include "module/IVBusMessage.h"

namespace RC {
namespace DmAvCore {

class IVBusMessageHolder {
public:
    virtual void __thiscall WriteTo(IVBusMessage* message) = 0;  // 0
    virtual void __thiscall ReadFrom(IVBusMessage* message) = 0; // 1
    // MSVC's scalar deleting destructor: bit 0 of flags frees the memory.
    virtual void* __thiscall DeletingDestructor(unsigned flags) = 0; // 2

protected:
    ~IVBusMessageHolder() = default;
};

} // namespace DmAvCore
} // namespace RC
