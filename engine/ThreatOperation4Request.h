#pragma once
// Argument of threat operation 4: 560 bytes, little-endian, in MSVC's x86
// layout. Every gap is an explicit field so that no compiler adds its own.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/ScanResult.h"

namespace RC {

constexpr std::size_t kOperationPathUnits = 260;

struct ThreatOperation4Request {
    std::uint32_t reserved0; // 0
    std::uint8_t reserved4;  // 0
    std::uint8_t alignment5[3];
    std::uint32_t marker8;             // 1
    wchar_t path[kOperationPathUnits]; // zero-terminated, at most 259 units
    std::uint8_t alignment532[4];
    std::uint8_t reserved536[8]; // 0
    std::uint8_t fileMd5[16];    // bytes 404-419 of the file's ScanResult
};

static_assert(sizeof(ThreatOperation4Request) == 560, "ThreatOperation4Request is 560 bytes");
static_assert(offsetof(ThreatOperation4Request, reserved4) == 4, "flag byte");
static_assert(offsetof(ThreatOperation4Request, marker8) == 8, "marker");
static_assert(offsetof(ThreatOperation4Request, path) == 12, "path");
static_assert(offsetof(ThreatOperation4Request, reserved536) == 536, "zero block");
static_assert(offsetof(ThreatOperation4Request, fileMd5) == 544, "file MD5");

// Fills the request for a file; a path longer than 259 units is cut.
inline void BuildThreatOperation4Request(const wchar_t* path, std::size_t pathLength, const ScanResult& result,
                                         ThreatOperation4Request& request)
{
    std::memset(&request, 0, sizeof request);
    request.marker8 = 1;
    const std::size_t units = pathLength < kOperationPathUnits - 1 ? pathLength : kOperationPathUnits - 1;
    if (path != nullptr && units != 0)
        std::memcpy(request.path, path, units * sizeof(wchar_t));
    std::memcpy(request.fileMd5, result.fileMd5, sizeof request.fileMd5);
}

} // namespace RC
