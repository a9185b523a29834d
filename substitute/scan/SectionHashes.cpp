#include "substitute/scan/SectionHashes.h"

#include <algorithm>
#include <set>
#include <utility>

namespace Substitute {

namespace {
constexpr HashKind kAllKinds[] = {HashKind::Md5, HashKind::Sha1, HashKind::Sha256};
// Hashers kept from file to file; a file with thousands of sections gets
// its own for as long as it is scanned.
constexpr std::size_t kKeptHashers = 64;
} // namespace

void SectionHashes::Begin(const SignatureDatabase& database, const PeSections& layout, std::uint64_t)
{
    sections_.clear();
    if (!database.HasSections() || !layout.HashesSections())
        return;
    // A table may name one range many times (up to 65535 headers): each range is hashed once.
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
    for (const PeSection& range : layout.sections) {
        if (range.size == 0 || !seen.insert({range.offset, range.size}).second)
            continue;
        std::array<bool, kHashKindCount> wanted{};
        bool any = false;
        for (HashKind kind : kAllKinds)
            any |= wanted[static_cast<std::size_t>(kind)] = database.NeedsSection(kind, range.size);
        if (!any)
            continue;
        if (sections_.size() == hashers_.size())
            hashers_.push_back(std::make_unique<FileHasher>());
        FileHasher* hasher = hashers_[sections_.size()].get();
        if (hasher->Begin(wanted))
            sections_.push_back({range, hasher});
    }
}

void SectionHashes::Feed(std::uint64_t offset, const std::uint8_t* data, std::size_t size)
{
    const std::uint64_t end = offset + size;
    for (const Section& section : sections_) {
        const std::uint64_t from = std::max(section.range.offset, offset);
        const std::uint64_t to = std::min(section.range.offset + section.range.size, end);
        if (from < to)
            section.hasher->Update(data + (from - offset), static_cast<std::size_t>(to - from));
    }
}

std::optional<SignatureMatch> SectionHashes::Finish(const SignatureDatabase& database)
{
    std::optional<SignatureMatch> match;
    for (const Section& section : sections_) {
        if (match || !section.hasher->Finish())
            continue;
        for (HashKind kind : kAllKinds)
            if (!match && database.NeedsSection(kind, section.range.size))
                match = database.Find(HashTable::Section, kind, section.hasher->Digest(kind), section.range.size);
    }
    Drop();
    return match;
}

void SectionHashes::Drop()
{
    sections_.clear();
    if (hashers_.size() > kKeptHashers)
        hashers_.resize(kKeptHashers);
}

} // namespace Substitute
