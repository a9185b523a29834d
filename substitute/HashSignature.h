#pragma once
// One hash signature of a ClamAV-style database (.hdb, .hsb).

#include <cstdint>
#include <string>

namespace Substitute {

enum class HashKind : std::uint8_t { Md5 = 0, Sha1 = 1, Sha256 = 2 };
constexpr std::size_t kHashKindCount = 3;
constexpr std::size_t kMaxDigestBytes = 32;

constexpr std::size_t DigestBytes(HashKind kind)
{
    return kind == HashKind::Md5 ? 16 : kind == HashKind::Sha1 ? 20 : 32;
}

struct HashSignature {
    HashKind kind = HashKind::Md5;
    std::string digest;          // raw bytes, DigestBytes(kind) long
    bool anySize = false;        // size field "*"
    std::uint64_t size = 0;
    std::wstring name;
    std::uint32_t recordNumber = 0; // 1-based over the whole database set
};

} // namespace Substitute
