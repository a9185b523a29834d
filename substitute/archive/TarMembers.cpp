#include "substitute/archive/TarMembers.h"

#include <algorithm>

namespace Substitute {

namespace {

// An octal field, or a base-256 one (first byte 0x80) as GNU tar writes large
// sizes; one too large for 64 bits reads as an impossible size, which the
// archive's end then bounds.
std::uint64_t Number(std::string_view field)
{
    constexpr std::uint64_t kImpossible = ~0ull;
    if (!field.empty() && static_cast<std::uint8_t>(field[0]) == 0x80) {
        std::uint64_t value = 0;
        for (std::size_t i = 1; i < field.size(); ++i) {
            if (value >> 56 != 0)
                return kImpossible;
            value = value << 8 | static_cast<std::uint8_t>(field[i]);
        }
        return value;
    }
    std::uint64_t value = 0;
    std::size_t i = 0;
    while (i < field.size() && field[i] == ' ')
        ++i;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '7'; ++i) {
        if (value >> 60 != 0)
            return kImpossible;
        value = value * 8 + static_cast<std::uint64_t>(field[i] - '0');
    }
    return value;
}

bool AllZero(std::string_view block)
{
    return std::all_of(block.begin(), block.end(), [](char c) { return c == '\0'; });
}

} // namespace

bool TarMembers::IsHeader(std::string_view block)
{
    if (block.size() < kBlock || AllZero(block.substr(0, kBlock)))
        return false;
    // The sum of the header's bytes with the checksum field read as spaces;
    // old tars summed signed chars.
    unsigned sum = 0;
    int signedSum = 0;
    for (std::size_t i = 0; i < kBlock; ++i) {
        const char c = i >= 148 && i < 156 ? ' ' : block[i];
        sum += static_cast<std::uint8_t>(c);
        signedSum += static_cast<signed char>(c);
    }
    // The checksum must read as a number: octal digits ended by a space or a
    // NUL, as clamscan reads it. Random bytes that only begin with a digit
    // (one file in a few thousand sums to it) are no tar.
    const std::string_view field = block.substr(148, 8);
    const std::size_t digits = field.find_first_not_of(' ');
    const std::size_t end = field.find_first_not_of("01234567", digits);
    if (digits == std::string_view::npos || end == digits ||
        (end != std::string_view::npos && field[end] != ' ' && field[end] != '\0'))
        return false;
    const std::uint64_t stated = Number(field);
    return stated == sum || stated == static_cast<std::uint64_t>(static_cast<unsigned>(signedSum));
}

TarListing TarMembers::Read(std::string_view archive)
{
    TarListing listing;
    for (std::uint64_t at = 0; at < archive.size();) {
        const std::string_view block = archive.substr(static_cast<std::size_t>(at));
        if (block.size() < kBlock) {
            listing.cut = true;
            break;
        }
        if (AllZero(block.substr(0, kBlock)))
            break; // the end of the archive
        if (!IsHeader(block)) {
            listing.cut = true;
            break;
        }
        const std::uint64_t data = at + kBlock;
        const std::uint64_t stated = Number(block.substr(124, 12));
        const std::uint64_t size = std::min<std::uint64_t>(stated, archive.size() - data);
        const char type = block[156];
        // Links and folders have no data; long names and extended headers
        // are data about the next member, not a file.
        const bool file = type != '1' && type != '2' && type != '3' && type != '4' && type != '5' && type != '6' &&
                          type != 'L' && type != 'K' && type != 'x' && type != 'g';
        if (file) {
            const std::string_view name = block.substr(0, 100);
            listing.members.push_back({std::string(name.substr(0, name.find('\0'))), data, size});
        }
        if (size < stated) {
            listing.cut = true;
            break;
        }
        at = data + (size + kBlock - 1) / kBlock * kBlock;
    }
    return listing;
}

} // namespace Substitute
