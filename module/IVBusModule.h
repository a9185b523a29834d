#pragma once
// The bus-module interface. A host built with MSVC calls slots 0 to 4; the
// rest are the module's own and reached only from inside this library.
#include <cstdint>
#include <string>

#include "module/IVBusHost.h"

namespace RC {
namespace DmAvCore {

class IVBusModule {
public:
    virtual int32_t __thiscall Attach(IVBusHost* host, const wchar_t* text) = 0; // 0
    virtual void __thiscall Detach() = 0;                                        // 1
    virtual const wchar_t* __thiscall GetModuleId() = 0;                         // 2
    virtual void __thiscall Reserved(uint32_t first, uint32_t second) = 0;       // 3
    // MSVC's scalar deleting destructor: bit 0 of flags frees the memory.
    virtual void* __thiscall DeletingDestructor(unsigned flags) = 0;    // 4
    virtual void __thiscall SubscribeRequests(const wchar_t* text) = 0; // 5
    virtual void __thiscall UnsubscribeRequests() = 0;                  // 6
    virtual void __thiscall OnStart() = 0;                              // 7
    virtual void __thiscall OnStop() = 0;                               // 8
    virtual void __thiscall OnReceiveMessage(const std::wstring& address1, const std::wstring& address2,
                                             const std::wstring& id, int32_t* header, const uint8_t* data,
                                             uint32_t size) = 0; // 9

protected:
    ~IVBusModule() = default;
};

} // namespace DmAvCore
} // namespace RC
