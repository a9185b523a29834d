#pragma once
// The 512-byte text header of a .cvd or .cld container:
// "ClamAV-VDB:time:version:signatures:level:md5:dsig:builder:stime", padded
// with spaces. Pure: no system calls.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace Substitute {

struct ContainerHeader {
    static constexpr std::size_t kBytes = 512;

    std::string buildTime;
    unsigned version = 0;
    unsigned signatures = 0;
    unsigned level = 0;
    std::string md5;  // lowercase hex of the bytes after the header
    std::string dsig; // the builder's signature of md5

    // Nothing when the bytes are not such a header (or not all of it).
    static std::optional<ContainerHeader> Parse(std::string_view bytes);
};

} // namespace Substitute
