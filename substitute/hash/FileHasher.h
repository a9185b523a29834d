#pragma once
// The hasher the engine scans with. libgcrypt and CNG give the same digests;
// under Wine libgcrypt is the faster of the two (bench/hash-bench measures
// both), so the engine uses it.

#include "substitute/hash/GcryptHasher.h"

namespace Substitute {

using FileHasher = GcryptHasher;

} // namespace Substitute
