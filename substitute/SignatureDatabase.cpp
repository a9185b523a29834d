#include "substitute/SignatureDatabase.h"

namespace Substitute {

SignatureDatabase::SignatureDatabase(std::vector<HashSignature> signatures) : signatures_(std::move(signatures))
{
    for (std::size_t i = 0; i < signatures_.size(); ++i) {
        HashSignature& signature = signatures_[i];
        signature.recordNumber = static_cast<std::uint32_t>(i + 1);
        KindIndex& index = index_[static_cast<std::size_t>(signature.kind)];
        index.byDigest[signature.digest].push_back(i);
        if (signature.anySize)
            index.anySize = true;
        else
            index.sizes.insert(signature.size);
    }
}

bool SignatureDatabase::Needs(HashKind kind, std::uint64_t fileSize) const
{
    const KindIndex& index = index_[static_cast<std::size_t>(kind)];
    return index.anySize || index.sizes.count(fileSize) != 0;
}

const HashSignature* SignatureDatabase::Find(HashKind kind, const std::uint8_t* digest, std::uint64_t fileSize) const
{
    const KindIndex& index = index_[static_cast<std::size_t>(kind)];
    const auto found = index.byDigest.find(std::string(reinterpret_cast<const char*>(digest), DigestBytes(kind)));
    if (found == index.byDigest.end())
        return nullptr;
    for (std::size_t position : found->second) {
        const HashSignature& signature = signatures_[position];
        if (signature.anySize || signature.size == fileSize)
            return &signature;
    }
    return nullptr;
}

} // namespace Substitute
