#pragma once
// Hashes one stream of bytes with libgcrypt (which uses the processor's hash
// instructions where it has them), computing only the kinds asked for, all in
// one pass. Same shape as CngHasher. One hasher per thread.

#include <array>
#include <cstddef>
#include <cstdint>

#include "substitute/signature/HashSignature.h"

namespace Substitute {

class GcryptHasher {
public:
    GcryptHasher();
    ~GcryptHasher();
    GcryptHasher(const GcryptHasher&) = delete;
    GcryptHasher& operator=(const GcryptHasher&) = delete;

    // Readies libgcrypt once per process; false when it cannot be used.
    static bool LibraryReady();

    // Starts a new stream; kinds not wanted are skipped until the next Begin.
    bool Begin(const std::array<bool, kHashKindCount>& wanted);
    bool Update(const std::uint8_t* data, std::size_t size);
    bool Finish();
    // Digest of a kind that was wanted; valid after a true Finish.
    const std::uint8_t* Digest(HashKind kind) const { return digests_[static_cast<std::size_t>(kind)].data(); }

private:
    void* handle_ = nullptr; // gcry_md_hd_t, kept out of this header
    std::array<bool, kHashKindCount> enabled_{};
    std::array<std::array<std::uint8_t, kMaxDigestBytes>, kHashKindCount> digests_{};
};

} // namespace Substitute
