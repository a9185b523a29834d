#include "substitute/scan/WholeFileHashes.h"

namespace Substitute {

WholeFileHashes::Wanted WholeFileHashes::For(const SignatureDatabase& database, std::uint64_t size)
{
    Wanted wanted{};
    wanted[static_cast<std::size_t>(HashKind::Md5)] = true;
    for (HashKind kind : {HashKind::Sha1, HashKind::Sha256})
        wanted[static_cast<std::size_t>(kind)] = database.Needs(kind, size);
    return wanted;
}

std::optional<SignatureMatch> WholeFileHashes::Find(const SignatureDatabase& database, HashTable table,
                                                    const FileHasher& hasher, const Wanted& wanted, std::uint64_t size)
{
    for (HashKind kind : {HashKind::Md5, HashKind::Sha1, HashKind::Sha256})
        if (wanted[static_cast<std::size_t>(kind)])
            if (auto match = database.Find(table, kind, hasher.Digest(kind), size))
                return match;
    return std::nullopt;
}

} // namespace Substitute
