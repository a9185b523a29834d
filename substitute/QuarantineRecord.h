#pragma once
// Header of a quarantined file: what was there, where, and why. The header is
// followed by the file's bytes, made inert so that nothing in the quarantine
// folder can run or be detected again. Pure: no system calls.
//
// Layout (little-endian): "KVQ1", MD5 (16), original size (u64), time as a
// FILETIME (u64), threat name and original path (each u32 count + UTF-16).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Substitute {

struct QuarantineRecord {
    std::array<std::uint8_t, 16> md5{};
    std::uint64_t size = 0;
    std::uint64_t time = 0;
    std::wstring threatName;
    std::wstring originalPath;

    std::string EncodeHeader() const;
    // The record and the header's length, or nothing when bytes do not start
    // with a whole, well-formed header.
    static std::optional<std::pair<QuarantineRecord, std::size_t>> DecodeHeader(std::string_view bytes);

    // Inert form and back (the same operation); offset is the byte's position in the payload.
    static void Flip(std::uint8_t* data, std::size_t size, std::uint64_t offset);
};

} // namespace Substitute
