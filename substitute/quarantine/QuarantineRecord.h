#pragma once
// Header of a quarantined file: what was there, where, and why. The header is
// followed by the file's bytes, made inert so that nothing in the quarantine
// folder can run or be detected again. Pure: no system calls.
//
// Layout (little-endian): "KVQ2", MD5 (16), original size (u64), time as a
// FILETIME (u64), threat name and original path (each u32 count + UTF-16),
// the original's creation and last-write times (FILETIMEs, u64). Items of the
// first layout, "KVQ1", end after the path: their original times are 0, and
// they are written back in their own layout.

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
    std::uint64_t created = 0; // the original file's times; 0 when unknown
    std::uint64_t written = 0;
    int layout = 2; // 1 for an item of the first layout
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
