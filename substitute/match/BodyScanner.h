#pragma once
// Matches a database's body signatures against one file, fed the file's
// chunks in order (the same reads that feed the hashes). The automaton runs
// over each chunk once; a part is verified where its fragment was found, as
// soon as the bytes it may cover have been read. Only the last few longest
// parts' worth of bytes are kept between chunks, and waiting candidates all
// lie in them, so memory follows the database, never the file. A part after
// an unbounded distance needs only the earliest end of the part before it;
// one after a bounded distance ("{n-m}") asks the ends of the part before it
// that are still of use, kept as runs of consecutive ends. So each candidate
// costs the length of its part, never the distance before it. One scanner
// per worker thread; Begin starts each file. Pure: no system calls.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "substitute/match/BodySignatureSet.h"
#include "substitute/pe/PeSectionTable.h"

namespace Substitute {

class BodyScanner {
public:
    void Begin(const BodySignatureSet& set, const PeSections& layout, std::uint64_t fileSize,
               BodyPass pass = BodyPass::Raw);
    // The file's next bytes.
    void Feed(const std::uint8_t* data, std::size_t size);
    // The file ended: the index of the signature that matched first, if any.
    std::optional<std::uint32_t> End();
    // Whether a signature has matched already (the rest of the file needs no reading for it).
    bool Matched() const { return matched_.has_value(); }
    // Per sub-signature number, how many times it matched in this file so
    // far (saturating), and the numbers of those that matched at all.
    const std::vector<std::uint32_t>& SubCounts() const { return subCounts_; }
    const std::vector<std::uint32_t>& MatchedSubs() const { return matchedSubs_; }

private:
    struct Candidate {
        std::uint64_t fragmentAt; // absolute offset of the fragment found
        BodyPartRef ref;
    };
    static constexpr std::uint64_t kUnset = ~std::uint64_t{0};

    // The ends of one part, for the part after it at a bounded distance:
    // sorted runs [first, last] of consecutive ends.
    class EndRuns {
    public:
        void Add(std::uint64_t end);
        bool Any(std::uint64_t first, std::uint64_t last) const;
        // Ends at or below floor all answer alike for every later start: only the last of them is kept.
        void Settle(std::uint64_t floor);
        std::size_t Count() const { return runs_.size(); }

    private:
        // A file can hold an end every other byte: beyond this many runs the oldest go.
        static constexpr std::size_t kMaxRuns = 4096;
        std::deque<std::pair<std::uint64_t, std::uint64_t>> runs_;
    };

    void Drain(bool atEnd);
    // False when the bytes the part may cover are not all read yet.
    bool Verify(const Candidate& candidate, bool atEnd);
    // Whether a part may start at start, by the ends of the part before it.
    bool Follows(const BodyPart& part, std::size_t previous, std::uint64_t start) const;
    void Record(const BodySignature& signature, std::uint32_t partIndex, std::size_t part);
    // Whether window_[start, end) has no letter or digit right before or after it.
    bool WholeWord(std::size_t start, std::size_t end) const;

    const BodySignatureSet* set_ = nullptr;
    PeSections layout_;
    std::uint64_t fileSize_ = 0;
    BodyPass pass_ = BodyPass::Raw;
    std::vector<std::uint8_t> window_;
    std::uint64_t windowStart_ = 0; // absolute offset of window_[0]
    std::uint32_t state_ = 0;
    std::deque<Candidate> waiting_;
    std::vector<std::uint64_t> partEnds_; // per part: the smallest end of a match of the parts up to it
    std::vector<std::size_t> touched_;
    std::unordered_map<std::size_t, EndRuns> boundedEnds_; // per part followed by a bounded distance
    static constexpr std::size_t kNoPart = ~std::size_t{0};
    std::size_t runsPart_ = kNoPart; // the part whose runs were recorded last
    EndRuns* runs_ = nullptr;
    std::vector<std::size_t> ends_;                         // of the candidate being verified
    std::optional<std::uint32_t> matched_;
    std::vector<std::uint32_t> subCounts_;
    std::vector<std::uint32_t> matchedSubs_;
};

} // namespace Substitute
