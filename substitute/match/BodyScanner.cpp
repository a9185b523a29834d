#include "substitute/match/BodyScanner.h"

#include <algorithm>

namespace Substitute {

void BodyScanner::Begin(const BodySignatureSet& set, const PeSections& layout, std::uint64_t fileSize)
{
    set_ = &set;
    layout_ = layout;
    fileSize_ = fileSize;
    window_.clear();
    windowStart_ = 0;
    state_ = 0;
    waiting_.clear();
    matched_.reset();
    if (partEnds_.size() != set.PartCount())
        partEnds_.assign(set.PartCount(), kUnset);
    for (std::size_t part : touched_)
        partEnds_[part] = kUnset;
    touched_.clear();
    if (subCounts_.size() != set.SubCount())
        subCounts_.assign(set.SubCount(), 0);
    for (std::uint32_t sub : matchedSubs_)
        subCounts_[sub] = 0;
    matchedSubs_.clear();
}

void BodyScanner::Feed(const std::uint8_t* data, std::size_t size)
{
    if (set_ == nullptr || set_->Empty() || matched_)
        return;
    // Waiting candidates start at most two longest parts before the end.
    const std::size_t keep = 2 * static_cast<std::size_t>(set_->LongestPart()) + BodyPattern::kMaxFragment;
    if (window_.size() > keep) {
        const std::size_t drop = window_.size() - keep;
        window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(drop));
        windowStart_ += drop;
    }
    const std::uint64_t chunkStart = windowStart_ + window_.size();
    window_.insert(window_.end(), data, data + size);
    Drain(false);
    const PatternAutomaton& automaton = set_->Automaton();
    for (std::size_t i = 0; i < size && !matched_; ++i) {
        state_ = automaton.Step(state_, data[i]);
        if (!automaton.HasEnds(state_))
            continue;
        const std::uint64_t end = chunkStart + i + 1;
        automaton.Ends(state_, [&](std::uint32_t id) {
            if (matched_)
                return;
            const Candidate candidate{end - automaton.Length(id), set_->Ref(id)};
            if (!waiting_.empty() || !Verify(candidate, false))
                waiting_.push_back(candidate);
        });
    }
}

std::optional<std::uint32_t> BodyScanner::End()
{
    if (set_ != nullptr && !matched_)
        Drain(true);
    waiting_.clear();
    return matched_;
}

void BodyScanner::Drain(bool atEnd)
{
    // In the order found: a later part is verified only after the earlier
    // parts it follows.
    while (!waiting_.empty() && !matched_ && Verify(waiting_.front(), atEnd))
        waiting_.pop_front();
}

bool BodyScanner::Verify(const Candidate& candidate, bool atEnd)
{
    const BodySignature& signature = set_->At(candidate.ref.signature);
    const BodyPart& part = signature.pattern.parts[candidate.ref.part];
    if (candidate.fragmentAt < part.fragmentMin)
        return true;
    std::uint64_t first = candidate.fragmentAt >= part.fragmentMax ? candidate.fragmentAt - part.fragmentMax : 0;
    std::uint64_t last = candidate.fragmentAt - part.fragmentMin;
    const std::uint64_t windowEnd = windowStart_ + window_.size();
    // A whole word needs the byte after it too.
    if (!atEnd && last + part.maxLength + signature.fullWord > windowEnd)
        return false;
    // Whatever starts with "MZ" is an executable to target type 1, readable header or not, as clamscan types files.
    if (signature.target == BodyTarget::Pe && layout_.shape == PeSections::Shape::NotPe)
        return true;
    const std::size_t firstPart = set_->FirstPart(candidate.ref.signature);
    std::uint64_t offsetFirst = 0, offsetLast = ~std::uint64_t{0}; // counted from the window's start
    if (candidate.ref.part == 0) {
        std::uint64_t allowedFirst = 0, allowedLast = 0;
        if (!signature.offset.Range(layout_, fileSize_, allowedFirst, allowedLast))
            return true;
        if (part.offsetElement == 0) {
            first = std::max(first, allowedFirst);
            last = std::min(last, allowedLast);
        } else if (allowedLast < windowStart_) {
            return true;
        } else {
            offsetFirst = allowedFirst > windowStart_ ? allowedFirst - windowStart_ : 0;
            offsetLast = allowedLast == ~std::uint64_t{0} ? allowedLast : allowedLast - windowStart_;
        }
    } else {
        const std::uint64_t previous = partEnds_[firstPart + candidate.ref.part - 1];
        if (previous == kUnset)
            return true;
        first = std::max(first, previous + part.gapBefore);
    }
    first = std::max(first, windowStart_);
    std::uint64_t best = kUnset;
    for (std::uint64_t start = first; start <= last; ++start)
        if (auto end = part.MatchAt(window_.data(), window_.size(), static_cast<std::size_t>(start - windowStart_),
                                    offsetFirst, offsetLast))
            if (!signature.fullWord || WholeWord(static_cast<std::size_t>(start - windowStart_), *end))
                best = std::min<std::uint64_t>(best, windowStart_ + *end);
    if (best == kUnset)
        return true;
    std::uint64_t& end = partEnds_[firstPart + candidate.ref.part];
    if (end == kUnset)
        touched_.push_back(firstPart + candidate.ref.part);
    end = std::min(end, best);
    if (candidate.ref.part + 1 != signature.pattern.parts.size())
        return true;
    if (signature.sub == BodySignature::kNoSub) {
        matched_ = candidate.ref.signature;
    } else {
        std::uint32_t& count = subCounts_[signature.sub];
        if (count == 0)
            matchedSubs_.push_back(signature.sub);
        count += count != ~std::uint32_t{0};
    }
    return true;
}

bool BodyScanner::WholeWord(std::size_t start, std::size_t end) const
{
    const auto word = [](std::uint8_t c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    };
    // Bytes before the window are at least a longest part back: never right before a match.
    const bool before = start == 0 ? windowStart_ != 0 : word(window_[start - 1]);
    return !before && (end >= window_.size() || !word(window_[end]));
}

} // namespace Substitute
