#include "engine/MsvcWString.h"

#include <cstring>
#include <cwchar>

namespace RC {

MsvcWString::MsvcWString() noexcept : size_(0), capacity_(kInlineCapacity)
{
    storage_.buffer[0] = L'\0';
}

MsvcWString::MsvcWString(const wchar_t* text, std::size_t length) : MsvcWString()
{
    Assign(text, length);
}

MsvcWString::MsvcWString(const wchar_t* text) : MsvcWString()
{
    Assign(text, text != nullptr ? std::wcslen(text) : 0);
}

MsvcWString::~MsvcWString()
{
    Release();
}

void MsvcWString::Release() noexcept
{
    if (capacity_ > kInlineCapacity)
        delete[] storage_.pointer;
    capacity_ = kInlineCapacity;
    size_ = 0;
    storage_.buffer[0] = L'\0';
}

void MsvcWString::Assign(const wchar_t* text, std::size_t length)
{
    Release();
    if (text == nullptr)
        length = 0;
    wchar_t* target = storage_.buffer;
    if (length > kInlineCapacity) {
        target = new wchar_t[length + 1];
        storage_.pointer = target;
        capacity_ = static_cast<std::uint32_t>(length);
    }
    if (length != 0)
        std::memcpy(target, text, length * sizeof(wchar_t));
    target[length] = L'\0';
    size_ = static_cast<std::uint32_t>(length);
}

} // namespace RC
