#include "Src/Engine/Enumerator/RCRegValue.h"

#include <cwchar>

namespace RC {

namespace {
constexpr DWORD kDataBytes = RCRegValue::kMaxChars * sizeof(wchar_t);
}

unique_hkey RCRegValue::OpenKey(HKEY root, const wchar_t* subKey, RCRegView view)
{
    unique_hkey key;
    const REGSAM access = KEY_READ | (view == RCRegView::Wide64 ? KEY_WOW64_64KEY : 0);
    if (::RegOpenKeyExW(root, subKey, 0, access, key.put()) != ERROR_SUCCESS)
        key.reset();
    return key;
}

RCRegValue::EnumResult RCRegValue::EnumSubKey(HKEY key, DWORD index, std::wstring& name)
{
    wchar_t buffer[kMaxChars + 1] = {};
    DWORD length = kMaxChars;
    const LONG status = ::RegEnumKeyExW(key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_MORE_DATA)
        return EnumResult::Skip;
    if (status != ERROR_SUCCESS)
        return EnumResult::End;
    name.assign(buffer, length < kMaxChars ? length : kMaxChars);
    return EnumResult::Ok;
}

void RCRegValue::Clear()
{
    std::wmemset(data_, 0, kMaxChars + 1);
    type_ = REG_NONE;
}

bool RCRegValue::Read(HKEY key, const wchar_t* name)
{
    Clear();
    DWORD bytes = kDataBytes;
    const LONG status = ::RegQueryValueExW(key, name, nullptr, &type_, reinterpret_cast<BYTE*>(data_), &bytes);
    if (status != ERROR_SUCCESS || !IsTerminated()) {
        Clear();
        return false;
    }
    return true;
}

RCRegValue::EnumResult RCRegValue::ReadAt(HKEY key, DWORD index, std::wstring& name)
{
    Clear();
    wchar_t nameBuffer[kMaxChars + 1] = {};
    DWORD nameLength = kMaxChars;
    DWORD bytes = kDataBytes;
    const LONG status =
        ::RegEnumValueW(key, index, nameBuffer, &nameLength, nullptr, &type_, reinterpret_cast<BYTE*>(data_), &bytes);
    if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && !IsTerminated())) {
        Clear();
        return EnumResult::Skip;
    }
    if (status != ERROR_SUCCESS) {
        Clear();
        return EnumResult::End;
    }
    name.assign(nameBuffer, nameLength < kMaxChars ? nameLength : kMaxChars);
    return EnumResult::Ok;
}

std::vector<std::wstring> RCRegValue::Strings() const
{
    std::vector<std::wstring> strings;
    size_t position = 0;
    while (position < kMaxChars && data_[position] != L'\0') {
        const size_t length = std::wcslen(data_ + position);
        strings.emplace_back(data_ + position, length);
        position += length + 1;
    }
    return strings;
}

} // namespace RC
