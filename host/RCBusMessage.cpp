#include "host/RCBusMessage.h"

#include <cstring>

namespace KivoHost {

std::wstring TextOrEmpty(const wchar_t* text)
{
    return text != nullptr ? std::wstring(text) : std::wstring();
}

RCBusMessage::RCBusMessage(std::wstring id, std::wstring address1, std::wstring address2)
    : id_(std::move(id)), address1_(std::move(address1)), address2_(std::move(address2))
{
}

const std::vector<uint8_t>* RCBusMessage::binary(const std::wstring& key) const
{
    auto found = binaries_.find(key);
    return found != binaries_.end() ? &found->second : nullptr;
}

void RCBusMessage::SetBinary(const wchar_t* key, const void* data, uint32_t size)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    binaries_[TextOrEmpty(key)].assign(bytes, bytes != nullptr ? bytes + size : bytes);
}

uint32_t RCBusMessage::GetBinarySize(const wchar_t* key)
{
    const std::vector<uint8_t>* value = binary(TextOrEmpty(key));
    return value != nullptr ? static_cast<uint32_t>(value->size()) : RC::DmAvCore::kAbsentBinary;
}

bool RCBusMessage::GetBinary(const wchar_t* key, void* buffer, uint32_t size)
{
    const std::vector<uint8_t>* value = binary(TextOrEmpty(key));
    if (value == nullptr || buffer == nullptr || size < value->size())
        return false;
    if (!value->empty())
        std::memcpy(buffer, value->data(), value->size());
    return true;
}

void RCBusMessage::SetString(const wchar_t* key, const wchar_t* value)
{
    strings_[TextOrEmpty(key)] = TextOrEmpty(value);
}

} // namespace KivoHost
