#pragma once
// The host's bus interface. The module uses three of its slots; the first five
// belong to the host and are placeholders here.
// <windows.h> renames PostMessage to PostMessageW. Every user of this header
// must see the same name, so the header brings the macro along itself.
#include <windows.h>

#include "module/IVBusMessageHolder.h"

namespace RC {
namespace DmAvCore {

class IVBusModule;

// The one callback every subscription registers: called on a host thread with
// the subscribing module and the message.
typedef void(__cdecl* BusCallback)(IVBusModule* module, IVBusMessage* message);

class IVBusHost {
public:
    virtual void __thiscall Reserved0() = 0;
    virtual void __thiscall Reserved1() = 0;
    virtual void __thiscall Reserved2() = 0;
    virtual void __thiscall Reserved3() = 0;
    virtual void __thiscall Reserved4() = 0;
    virtual void __thiscall Subscribe(const wchar_t* id, BusCallback callback) = 0; // 5
    virtual void __thiscall Unsubscribe(const wchar_t* id) = 0;                     // 6
    // Note the order: address2 before address1. Null pointers stand for "none".
    virtual void __thiscall PostMessage(const wchar_t* id, IVBusMessageHolder* holder, const wchar_t* address2,
                                        const wchar_t* address1) = 0; // 7

protected:
    ~IVBusHost() = default;
};

} // namespace DmAvCore
} // namespace RC
