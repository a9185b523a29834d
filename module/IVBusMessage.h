#pragma once
// The host's bus message, as an MSVC-built x86 host lays out its vtable. The
// module calls only the slots named here; the others are placeholders that
// keep the named ones at their positions.
#include <cstdint>

namespace RC {
namespace DmAvCore {

class IVBusMessage {
public:
    virtual void __thiscall Reserved0() = 0;
    virtual void __thiscall Reserved1() = 0;
    virtual void __thiscall Reserved2() = 0;
    virtual const wchar_t* __thiscall GetMessageId() = 0; // 3
    virtual void __thiscall Reserved4() = 0;
    virtual const wchar_t* __thiscall GetAddress2() = 0; // 5
    virtual void __thiscall Reserved6() = 0;
    virtual const wchar_t* __thiscall GetAddress1() = 0; // 7
    virtual void __thiscall Reserved8() = 0;
    virtual void __thiscall Reserved9() = 0;
    virtual void __thiscall SetBinary(const wchar_t* key, const void* data, uint32_t size) = 0; // 10
    // 0xFFFFFFFF when the key is absent.
    virtual uint32_t __thiscall GetBinarySize(const wchar_t* key) = 0;                      // 11
    virtual bool __thiscall GetBinary(const wchar_t* key, void* buffer, uint32_t size) = 0; // 12
    virtual void __thiscall SetString(const wchar_t* key, const wchar_t* value) = 0;        // 13

protected:
    ~IVBusMessage() = default;
};

constexpr uint32_t kAbsentBinary = 0xFFFFFFFFu;

} // namespace DmAvCore
} // namespace RC
