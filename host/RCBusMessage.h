#pragma once
// A message on the reference bus: an identifier, two address texts and named
// values (binary blocks and strings), laid out behind the host-message vtable
// that modules call by slot.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "module/IVBusMessage.h"

namespace KivoHost {

// Texts come from modules as pointers that may be null.
std::wstring TextOrEmpty(const wchar_t* text);

class RCBusMessage final : public RC::DmAvCore::IVBusMessage {
public:
    RCBusMessage(std::wstring id, std::wstring address1, std::wstring address2);
    RCBusMessage(const RCBusMessage&) = default;
    ~RCBusMessage() = default;

    const std::wstring& id() const { return id_; }
    const std::wstring& address1() const { return address1_; }
    const std::wstring& address2() const { return address2_; }
    // Null when the value is absent.
    const std::vector<uint8_t>* binary(const std::wstring& key) const;
    const std::map<std::wstring, std::wstring>& strings() const { return strings_; }
    const std::map<std::wstring, std::vector<uint8_t>>& binaries() const { return binaries_; }

    void __thiscall Reserved0() override {}
    void __thiscall Reserved1() override {}
    void __thiscall Reserved2() override {}
    const wchar_t* __thiscall GetMessageId() override { return id_.c_str(); }
    void __thiscall Reserved4() override {}
    const wchar_t* __thiscall GetAddress2() override { return address2_.c_str(); }
    void __thiscall Reserved6() override {}
    const wchar_t* __thiscall GetAddress1() override { return address1_.c_str(); }
    void __thiscall Reserved8() override {}
    void __thiscall Reserved9() override {}
    void __thiscall SetBinary(const wchar_t* key, const void* data, uint32_t size) override;
    uint32_t __thiscall GetBinarySize(const wchar_t* key) override;
    bool __thiscall GetBinary(const wchar_t* key, void* buffer, uint32_t size) override;
    void __thiscall SetString(const wchar_t* key, const wchar_t* value) override;

private:
    std::wstring id_;
    std::wstring address1_;
    std::wstring address2_;
    std::map<std::wstring, std::vector<uint8_t>> binaries_;
    std::map<std::wstring, std::wstring> strings_;
};

} // namespace KivoHost
