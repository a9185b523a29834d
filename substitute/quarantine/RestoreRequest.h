#pragma once
// What threat operation 4 asks of the engine, read from the request's 560
// bytes as the product hands them over: the item's MD5 and the path to restore
// it to. Pure byte logic, so that it can be built natively and fuzzed; the
// offsets are checked against the request's declared layout where the engine
// receives it.

#include <cstddef>
#include <cstdint>
#include <string>

namespace Substitute {

struct RestoreRequest {
    static constexpr std::size_t kSize = 560;
    static constexpr std::size_t kPathOffset = 12;
    static constexpr std::size_t kPathUnits = 260;
    static constexpr std::size_t kMd5Offset = 544;

    std::wstring path; // up to the first zero unit, at most kPathUnits units
    std::uint8_t md5[16] = {};

    // False, leaving request untouched, when bytes are fewer than a request
    // or the path is empty.
    [[nodiscard]] static bool Read(const std::uint8_t* bytes, std::size_t size, RestoreRequest& request);
};

} // namespace Substitute
