#include "substitute/database/SignatureDatabase.h"

#include <algorithm>

namespace Substitute {

namespace {

template <typename Index>
std::optional<SignatureMatch> FindIn(const Index& index, const std::uint8_t* digest, std::uint64_t size,
                                     const NamePool& names, const std::vector<std::string>& ignored)
{
    const auto* row = index.Find(digest, size, [&](const auto& candidate) {
        return ignored.empty() || !std::binary_search(ignored.begin(), ignored.end(), names.At(candidate.name));
    });
    if (row == nullptr)
        return std::nullopt;
    return SignatureMatch{names.At(row->name), row->record};
}

} // namespace

bool SignatureDatabase::Ignored(std::string_view name) const
{
    return std::binary_search(ignored_.begin(), ignored_.end(), name);
}

SignatureMatch SignatureDatabase::BodyMatch(std::uint32_t index) const
{
    const BodySignature& body = bodies_.At(index);
    return SignatureMatch{names_.At(body.nameRef), body.record};
}

SignatureMatch SignatureDatabase::LogicalMatch(std::uint32_t index) const
{
    const LogicalSignature& logical = logicals_.At(index);
    return SignatureMatch{names_.At(logical.nameRef), logical.record};
}

bool SignatureDatabase::Needs(HashKind kind, std::uint64_t fileSize) const
{
    for (HashTable table : {HashTable::File, HashTable::Allowed}) {
        const Tables& tables = tables_[static_cast<std::size_t>(table)];
        const bool needed = kind == HashKind::Md5    ? tables.md5.Needs(fileSize)
                            : kind == HashKind::Sha1 ? tables.sha1.Needs(fileSize)
                                                     : tables.sha256.Needs(fileSize);
        if (needed)
            return true;
    }
    return false;
}

bool SignatureDatabase::NeedsSection(HashKind kind, std::uint64_t sectionSize) const
{
    const Tables& tables = tables_[static_cast<std::size_t>(HashTable::Section)];
    return kind == HashKind::Md5    ? tables.md5.Needs(sectionSize)
           : kind == HashKind::Sha1 ? tables.sha1.Needs(sectionSize)
                                    : tables.sha256.Needs(sectionSize);
}

std::optional<SignatureMatch> SignatureDatabase::Find(HashTable table, HashKind kind, const std::uint8_t* digest,
                                                      std::uint64_t size) const
{
    const Tables& tables = tables_[static_cast<std::size_t>(table)];
    switch (kind) {
    case HashKind::Md5:
        return FindIn(tables.md5, digest, size, names_, ignored_);
    case HashKind::Sha1:
        return FindIn(tables.sha1, digest, size, names_, ignored_);
    case HashKind::Sha256:
        return FindIn(tables.sha256, digest, size, names_, ignored_);
    }
    return std::nullopt;
}

} // namespace Substitute
