#pragma once
// The entries of a zip archive held in memory, as its central directory lists
// them (ZIP64 sizes and offsets included), each located by its local header.
// Where the directory is there but most of its records lead nowhere, the
// local headers are walked from the start instead; where there is no
// directory at all, nothing is listed (as clamscan does: a zip cut short
// loses its entries). Sizes are never trusted: an entry's data is bounded by
// the archive's end, and its declared size is only a hint. Pure: no system calls.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Substitute {

struct ZipEntry {
    std::string name;
    std::uint16_t method = 0; // 0 stored, 8 deflated
    bool encrypted = false;
    std::uint64_t dataOffset = 0;
    std::uint64_t compressedSize = 0; // ends at the archive's end at the latest
    std::uint64_t declaredSize = 0;
};

struct ZipListing {
    std::vector<ZipEntry> entries;
    bool directoryFound = false;
    std::uint32_t records = 0;    // in the central directory
    std::uint32_t unreadable = 0; // records whose local header is not where they say
};

class ZipDirectory {
public:
    static constexpr std::uint16_t kStored = 0;
    static constexpr std::uint16_t kDeflated = 8;

    static ZipListing Read(std::string_view archive);
};

} // namespace Substitute
