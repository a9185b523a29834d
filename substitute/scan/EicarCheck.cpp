#include "substitute/scan/EicarCheck.h"

#include <cstring>

namespace Substitute {

namespace {
constexpr char kEicar[] = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
constexpr std::size_t kEicarLength = sizeof kEicar - 1;
static_assert(kEicarLength == 68, "the EICAR text is 68 bytes");
} // namespace

bool EicarCheck::Matches(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr || size < kEicarLength || size > kEicarMaxFileSize)
        return false;
    if (std::memcmp(data, kEicar, kEicarLength) != 0)
        return false;
    for (std::size_t i = kEicarLength; i < size; ++i) {
        const std::uint8_t c = data[i];
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != 0x1A)
            return false;
    }
    return true;
}

} // namespace Substitute
