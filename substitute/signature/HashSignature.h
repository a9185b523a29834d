#pragma once
// One hash line of a ClamAV-style database, as the parser hands it to the
// store: what is hashed (a whole file or one PE section), which hash, and
// whether a match reports a threat or clears the file.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Substitute {

enum class HashKind : std::uint8_t { Md5 = 0, Sha1 = 1, Sha256 = 2 };
constexpr std::size_t kHashKindCount = 3;
constexpr std::size_t kMaxDigestBytes = 32;

constexpr std::size_t DigestBytes(HashKind kind)
{
    return kind == HashKind::Md5 ? 16 : kind == HashKind::Sha1 ? 20 : 32;
}

// A digest in lowercase hex, as database lines and container headers write it.
inline std::string LowerHex(const std::uint8_t* bytes, std::size_t size)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        hex += kHex[bytes[i] >> 4];
        hex += kHex[bytes[i] & 15];
    }
    return hex;
}

// File: a whole file's hash names a threat (.hdb, .hsb). Section: the hash of
// one PE section's raw data does (.mdb, .msb). Allowed: a whole file's hash
// that must never be reported (.fp, .sfp).
enum class HashTable : std::uint8_t { File = 0, Section = 1, Allowed = 2 };
constexpr std::size_t kHashTableCount = 3;

struct HashSignature {
    HashTable table = HashTable::File;
    HashKind kind = HashKind::Md5;
    std::array<std::uint8_t, kMaxDigestBytes> digest{}; // DigestBytes(kind) used
    bool anySize = false;                               // size field "*"
    std::uint64_t size = 0;
    std::string_view name; // points into the parsed line
};

} // namespace Substitute
