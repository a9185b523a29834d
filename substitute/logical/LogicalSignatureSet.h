#pragma once
// The loaded logical signatures, each with the numbers of its
// sub-signatures, whose bodies the body signature set holds beside the
// plain ones (one automaton, one pass over the file). After a file, the
// signatures to evaluate are those a matched sub-signature belongs to, and
// those that match a file where nothing matched ("0=0"). Immutable once
// finished, so worker threads share it. Pure: no system calls.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "substitute/logical/LogicalSignature.h"
#include "substitute/pe/PeSectionTable.h"

namespace Substitute {

class LogicalSignatureSet {
public:
    // Takes the signature without its bodies (the body set holds them);
    // returns the number of its first sub-signature.
    std::uint32_t Add(LogicalSignature signature);
    // Drops the signatures added after the first count.
    void Truncate(std::size_t count);
    template <typename Predicate>
    void RemoveIf(Predicate&& remove)
    {
        entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                      [&](const Entry& entry) { return remove(entry.signature); }),
                       entries_.end());
    }
    void Finish();

    std::size_t Size() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    std::uint32_t SubCount() const { return subCount_; }
    const LogicalSignature& At(std::uint32_t index) const { return entries_[index].signature; }

    // The first signature (in load order) that this file matches, given
    // each sub-signature's match count (by number; missing ones count 0)
    // and the numbers of those that matched at all.
    std::optional<std::uint32_t> Match(const std::vector<std::uint32_t>& counts,
                                       const std::vector<std::uint32_t>& matchedSubs, const PeSections& layout,
                                       std::uint64_t fileSize, BodyPass pass = BodyPass::Raw) const;

private:
    struct Entry {
        LogicalSignature signature;
        std::uint32_t firstSub;
    };
    bool Matches(const Entry& entry, const std::vector<std::uint32_t>& counts, const PeSections& layout,
                 std::uint64_t fileSize, BodyPass pass) const;

    std::vector<Entry> entries_;
    std::uint32_t subCount_ = 0;
    std::vector<std::uint32_t> owner_;      // per sub-signature number, its signature's index
    std::vector<std::uint32_t> matchEmpty_; // signatures that match when no sub-signature matched
};

} // namespace Substitute
