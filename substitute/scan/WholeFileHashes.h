#pragma once
// A file's whole-content digests as the database looks them up: which ones a
// file of a size needs, and the first signature that lists one of them. The
// scanned file and a text's normalised copy, when it is judged as a file of
// its own, are asked the same way.

#include <array>
#include <cstdint>
#include <optional>

#include "substitute/database/SignatureDatabase.h"
#include "substitute/hash/FileHasher.h"

namespace Substitute {

class WholeFileHashes {
public:
    using Wanted = std::array<bool, kHashKindCount>;

    // MD5 always: it is the file's key in every answer (and in quarantine),
    // and the database keeps no sizes for it. SHA1 and SHA256 only when a
    // signature of that kind lists the size.
    static Wanted For(const SignatureDatabase& database, std::uint64_t size);

    // The first signature of table that lists one of the wanted digests of
    // a finished hasher.
    static std::optional<SignatureMatch> Find(const SignatureDatabase& database, HashTable table,
                                              const FileHasher& hasher, const Wanted& wanted, std::uint64_t size);
};

} // namespace Substitute
