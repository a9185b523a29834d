#pragma once
// Builds a SignatureDatabase from parsed lines, in load order: record numbers
// follow that order, from 1. A source that turns out broken halfway (a
// truncated container) is taken back to a checkpoint, so that none of its
// signatures stay. Pure: no system calls.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "substitute/logical/LogicalSignature.h"
#include "substitute/match/BodySignature.h"
#include "substitute/signature/HashSignature.h"
#include "substitute/database/SignatureDatabase.h"

namespace Substitute {

class SignatureDatabaseBuilder {
public:
    struct Checkpoint {
        std::size_t rows[kHashTableCount][kHashKindCount];
        std::size_t ignored;
        std::size_t ignoredLines;
        std::size_t bodies;
        std::size_t logicals;
        std::size_t count;
    };

    using LineDigest = std::array<std::uint8_t, 16>;
    // The MD5 of a line's text. Without it, an .ign2 line that names one
    // signature line by that digest silences nothing.
    using LineHasher = std::function<std::optional<LineDigest>(std::string_view line)>;

    explicit SignatureDatabaseBuilder(LineHasher lineHasher = nullptr);

    void Add(const HashSignature& signature);
    void AddBody(const BodySignature& signature);
    // The signature, and its sub-signatures' bodies among the body signatures.
    void AddLogical(const LogicalSignature& signature);
    // Every signature of the name, or only the line with that digest.
    void AddIgnored(std::string_view name, const std::optional<LineDigest>& line = std::nullopt);
    // True when an .ign2 line read before it names this signature line.
    bool IgnoresLine(std::string_view name, std::string_view line) const;
    Checkpoint Mark() const;
    // Drops everything added since the mark. Names stay in the pool: they are
    // only unreferenced bytes.
    void Rollback(const Checkpoint& mark);
    // The finished database; the builder is spent afterwards.
    std::unique_ptr<const SignatureDatabase> Finish();

private:
    std::unique_ptr<SignatureDatabase> database_;
    LineHasher lineHasher_;
    // Lines silenced by digest, in the order they were read (for Rollback),
    // and by name.
    std::vector<std::pair<std::string, LineDigest>> ignoredLines_;
    std::multimap<std::string, LineDigest, std::less<>> ignoredLinesByName_;
};

} // namespace Substitute
