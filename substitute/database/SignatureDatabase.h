#pragma once
// The loaded hash signatures, indexed for lookup: per table (file, PE
// section, allow-list) and hash kind, sorted fixed-size rows, with the names
// kept once in a pool. Immutable once built (SignatureDatabaseBuilder), so
// worker threads share one instance without locking. Pure: no system calls.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "substitute/logical/LogicalSignatureSet.h"
#include "substitute/match/BodySignatureSet.h"
#include "substitute/database/DigestIndex.h"
#include "substitute/signature/HashSignature.h"
#include "substitute/signature/NamePool.h"

namespace Substitute {

struct SignatureMatch {
    std::string name;
    std::uint32_t recordNumber = 0;
};

class SignatureDatabase {
public:
    SignatureDatabase() = default;

    // Whether a file of this size could match a threat or allow-list row of
    // the kind: a hash nobody asks for is never computed.
    bool Needs(HashKind kind, std::uint64_t fileSize) const;
    bool NeedsSection(HashKind kind, std::uint64_t sectionSize) const;
    bool HasSections() const { return hasSections_; }

    // The signature of the table that answers for this digest and size (see
    // DigestIndex::Find), among those whose name no .ign2 line silences.
    std::optional<SignatureMatch> Find(HashTable table, HashKind kind, const std::uint8_t* digest,
                                       std::uint64_t size) const;

    const BodySignatureSet& Bodies() const { return bodies_; }
    // The body signature the scanner found, as a match like a hash's.
    SignatureMatch BodyMatch(std::uint32_t index) const;
    // The logical signatures, whose sub-signatures Bodies() holds too.
    const LogicalSignatureSet& Logicals() const { return logicals_; }
    SignatureMatch LogicalMatch(std::uint32_t index) const;

    // Threat signatures (file, section, body and logical), allow-list rows not included.
    std::size_t Count() const { return count_; }

private:
    friend class SignatureDatabaseBuilder;

    struct Tables {
        DigestIndex<16> md5;
        DigestIndex<20> sha1;
        DigestIndex<32> sha256;
    };

    bool Ignored(std::string_view name) const;

    Tables tables_[kHashTableCount];
    NamePool names_;
    BodySignatureSet bodies_;
    LogicalSignatureSet logicals_;
    std::vector<std::string> ignored_; // sorted
    std::size_t count_ = 0;
    bool hasSections_ = false;
};

} // namespace Substitute
