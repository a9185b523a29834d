#pragma once
// Hashes one file's bytes with Windows CNG, computing only the kinds asked
// for. One hasher per worker thread: it keeps its algorithm providers open.

#include <array>
#include <cstddef>
#include <cstdint>

#include "substitute/signature/HashSignature.h"
#include "substitute/system/SubstituteHandles.h"

namespace Substitute {

class CngHasher {
public:
    CngHasher();

    // Starts a new file; kinds not wanted are skipped until the next Begin.
    bool Begin(const std::array<bool, kHashKindCount>& wanted);
    bool Update(const std::uint8_t* data, std::size_t size);
    // Digest of a kind that was wanted; valid after a true Finish.
    bool Finish();
    const std::uint8_t* Digest(HashKind kind) const { return digests_[static_cast<std::size_t>(kind)].data(); }

private:
    UniqueAlgorithm algorithms_[kHashKindCount];
    UniqueHash hashes_[kHashKindCount];
    std::array<std::array<std::uint8_t, kMaxDigestBytes>, kHashKindCount> digests_{};
};

} // namespace Substitute
