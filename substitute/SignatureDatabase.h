#pragma once
// The loaded hash signatures, indexed for lookup. Immutable once built, so
// worker threads share one instance without locking. Pure: no system calls.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "substitute/HashSignature.h"

namespace Substitute {

class SignatureDatabase {
public:
    // Record numbers are given in the order of the vector, from 1.
    explicit SignatureDatabase(std::vector<HashSignature> signatures);
    SignatureDatabase() = default;

    // Whether a file of this size could match any signature of the kind: a
    // hash nobody asks for is never computed.
    bool Needs(HashKind kind, std::uint64_t fileSize) const;
    const HashSignature* Find(HashKind kind, const std::uint8_t* digest, std::uint64_t fileSize) const;

    std::size_t Count() const { return signatures_.size(); }

private:
    struct KindIndex {
        std::unordered_map<std::string, std::vector<std::size_t>> byDigest;
        std::unordered_set<std::uint64_t> sizes;
        bool anySize = false;
    };

    std::vector<HashSignature> signatures_;
    KindIndex index_[kHashKindCount];
};

} // namespace Substitute
