#pragma once
// The members of a tar archive held in memory: every member with data of its
// own (regular files, and whatever an unknown type carries), whatever its
// name, since nothing is ever written by it. Headers whose checksum fails end
// the listing; a member's data is bounded by the archive's end. Pure: no
// system calls.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Substitute {

struct TarMember {
    std::string name;
    std::uint64_t dataOffset = 0;
    std::uint64_t size = 0; // ends at the archive's end at the latest
};

struct TarListing {
    std::vector<TarMember> members;
    bool cut = false; // the archive ends inside a member or at a broken header
};

class TarMembers {
public:
    static constexpr std::size_t kBlock = 512;

    // Whether the block is a tar header whose checksum holds.
    static bool IsHeader(std::string_view block);
    static TarListing Read(std::string_view archive);
};

} // namespace Substitute
