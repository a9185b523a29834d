#pragma once
// The loaded body signatures and the automaton over their parts' fragments:
// each fragment the automaton finds names the part (signature, part) to
// verify around it. Immutable once finished, so worker threads share it.
// Pure: no system calls.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "substitute/match/BodySignature.h"
#include "substitute/match/PatternAutomaton.h"

namespace Substitute {

struct BodyPartRef {
    std::uint32_t signature;
    std::uint32_t part;
};

class BodySignatureSet {
public:
    void Add(BodySignature signature);
    // Drops the signatures added after the first count.
    void Truncate(std::size_t count);
    template <typename Predicate>
    void RemoveIf(Predicate&& remove)
    {
        signatures_.erase(std::remove_if(signatures_.begin(), signatures_.end(), remove), signatures_.end());
    }
    void Finish();

    std::size_t Size() const { return signatures_.size(); }
    bool Empty() const { return signatures_.empty(); }
    const BodySignature& At(std::uint32_t index) const { return signatures_[index]; }
    const PatternAutomaton& Automaton() const { return automaton_; }
    // The part whose fragment is the automaton's string id.
    const BodyPartRef& Ref(std::uint32_t id) const { return refs_[id]; }
    // Where each signature's parts start in a table of one entry per part.
    std::size_t FirstPart(std::uint32_t signature) const { return firstPart_[signature]; }
    std::size_t PartCount() const { return firstPart_.empty() ? 0 : firstPart_.back(); }
    // The longest part: what a scanner keeps of the bytes already read.
    std::uint32_t LongestPart() const { return longestPart_; }
    // One past the highest sub-signature number a signature carries.
    std::size_t SubCount() const { return subCount_; }
    // Whether a signature may match the normalised copy of a text (target
    // type 0 or 7), and whether one of type 7 counts from the end: clamscan
    // then scans that copy as a file of its own (its end, its size, its hashes).
    bool ReadsText() const { return readsText_; }
    bool TextAsFile() const { return textAsFile_; }
    // The longest part of a signature of type 7: what clamscan keeps of each
    // buffer of a normalised copy for the next.
    std::uint32_t LongestTextPart() const { return longestTextPart_; }

private:
    std::vector<BodySignature> signatures_;
    PatternAutomaton automaton_;
    std::vector<BodyPartRef> refs_;
    std::vector<std::size_t> firstPart_;
    std::uint32_t longestPart_ = 0;
    std::size_t subCount_ = 0;
    bool readsText_ = false;
    bool textAsFile_ = false;
    std::uint32_t longestTextPart_ = 0;
};

} // namespace Substitute
