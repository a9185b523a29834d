#pragma once
// Case-insensitive comparison for the engine's pure parsers (no Win32 here,
// so that they also build natively).
#include <cstddef>
#include <cwctype>
#include <string_view>

namespace Substitute {

inline bool EqualsNoCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return true;
}

} // namespace Substitute
