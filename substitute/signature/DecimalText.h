#pragma once
// A run of decimal digits as database lines write counts, sizes and offsets:
// digits only, no sign, at most maxDigits of them (so that the value cannot
// overflow). Out-parameter untouched on failure.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace Substitute {

inline bool ParseDecimal(std::string_view text, std::uint64_t& value, std::size_t maxDigits = 19)
{
    if (text.empty() || text.size() > maxDigits)
        return false;
    std::uint64_t parsed = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        parsed = parsed * 10 + static_cast<unsigned>(c - '0');
    }
    value = parsed;
    return true;
}

} // namespace Substitute
