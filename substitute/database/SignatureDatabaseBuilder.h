#pragma once
// Builds a SignatureDatabase from parsed lines, in load order: record numbers
// follow that order, from 1. A source that turns out broken halfway (a
// truncated container) is taken back to a checkpoint, so that none of its
// signatures stay. Pure: no system calls.

#include <cstddef>
#include <memory>
#include <string_view>

#include "substitute/match/BodySignature.h"
#include "substitute/signature/HashSignature.h"
#include "substitute/database/SignatureDatabase.h"

namespace Substitute {

class SignatureDatabaseBuilder {
public:
    struct Checkpoint {
        std::size_t rows[kHashTableCount][kHashKindCount];
        std::size_t ignored;
        std::size_t bodies;
        std::size_t count;
    };

    SignatureDatabaseBuilder();

    void Add(const HashSignature& signature);
    void AddBody(const BodySignature& signature);
    void AddIgnored(std::string_view name);
    Checkpoint Mark() const;
    // Drops everything added since the mark. Names stay in the pool: they are
    // only unreferenced bytes.
    void Rollback(const Checkpoint& mark);
    // The finished database; the builder is spent afterwards.
    std::unique_ptr<const SignatureDatabase> Finish();

private:
    std::unique_ptr<SignatureDatabase> database_;
};

} // namespace Substitute
