#include "substitute/hash/CngHasher.h"

namespace Substitute {

namespace {
const wchar_t* const kAlgorithmNames[kHashKindCount] = {BCRYPT_MD5_ALGORITHM, BCRYPT_SHA1_ALGORITHM,
                                                        BCRYPT_SHA256_ALGORITHM};
}

CngHasher::CngHasher()
{
    for (std::size_t kind = 0; kind < kHashKindCount; ++kind) {
        BCRYPT_ALG_HANDLE algorithm = nullptr;
        if (BCryptOpenAlgorithmProvider(&algorithm, kAlgorithmNames[kind], nullptr, 0) >= 0)
            algorithms_[kind].reset(algorithm);
    }
}

bool CngHasher::Begin(const std::array<bool, kHashKindCount>& wanted)
{
    bool ok = true;
    for (std::size_t kind = 0; kind < kHashKindCount; ++kind) {
        hashes_[kind].reset();
        if (!wanted[kind])
            continue;
        BCRYPT_HASH_HANDLE hash = nullptr;
        if (algorithms_[kind] && BCryptCreateHash(algorithms_[kind].get(), &hash, nullptr, 0, nullptr, 0, 0) >= 0)
            hashes_[kind].reset(hash);
        else
            ok = false;
    }
    return ok;
}

bool CngHasher::Update(const std::uint8_t* data, std::size_t size)
{
    bool ok = true;
    for (UniqueHash& hash : hashes_)
        if (hash && BCryptHashData(hash.get(), const_cast<PUCHAR>(data), static_cast<ULONG>(size), 0) < 0)
            ok = false;
    return ok;
}

bool CngHasher::Finish()
{
    bool ok = true;
    for (std::size_t kind = 0; kind < kHashKindCount; ++kind) {
        if (!hashes_[kind])
            continue;
        const ULONG length = static_cast<ULONG>(DigestBytes(static_cast<HashKind>(kind)));
        if (BCryptFinishHash(hashes_[kind].get(), digests_[kind].data(), length, 0) < 0)
            ok = false;
        hashes_[kind].reset();
    }
    return ok;
}

} // namespace Substitute
