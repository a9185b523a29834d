#include "substitute/match/BodyScanner.h"

#include <algorithm>

namespace Substitute {

namespace {

// One run of fixed bytes: clamscan keeps such patterns apart from the rest
// and places their offsets differently (BodyOffset::Range).
bool Plain(const BodyPattern& pattern)
{
    if (pattern.parts.size() != 1 || pattern.parts[0].left.present || pattern.parts[0].right.present)
        return false;
    for (const BodyElement& element : pattern.parts[0].elements)
        if (element.kind != BodyElement::Kind::Byte || element.mask != 0xFF)
            return false;
    return true;
}

} // namespace

void BodyScanner::EndRuns::Add(std::uint64_t end)
{
    if (runs_.empty() || end > runs_.back().second + 1) {
        runs_.emplace_back(end, end);
    } else if (end + 1 >= runs_.back().first) {
        runs_.back().first = std::min(runs_.back().first, end);
        runs_.back().second = std::max(runs_.back().second, end);
    } else {
        // Before the last run: a part of varying length ended early.
        auto at = std::lower_bound(runs_.begin(), runs_.end(), end,
                                   [](const auto& run, std::uint64_t value) { return run.second + 1 < value; });
        if (at->first <= end + 1) {
            at->first = std::min(at->first, end);
        } else {
            at = runs_.insert(at, {end, end});
        }
        if (at != runs_.begin() && std::prev(at)->second + 1 >= at->first) {
            std::prev(at)->second = std::max(std::prev(at)->second, at->second);
            runs_.erase(at);
        }
    }
    while (runs_.size() > kMaxRuns)
        runs_.pop_front();
}

bool BodyScanner::EndRuns::Any(std::uint64_t first, std::uint64_t last) const
{
    if (first > last)
        return false;
    const auto at = std::lower_bound(runs_.begin(), runs_.end(), first,
                                     [](const auto& run, std::uint64_t value) { return run.second < value; });
    return at != runs_.end() && at->first <= last;
}

void BodyScanner::EndRuns::Settle(std::uint64_t floor)
{
    while (runs_.size() >= 2 && runs_[1].first <= floor)
        runs_.pop_front();
    if (!runs_.empty() && runs_.front().first < floor)
        runs_.front().first = std::min(floor, runs_.front().second);
}

void BodyScanner::Begin(const BodySignatureSet& set, const PeSections& layout, std::uint64_t fileSize, BodyPass pass)
{
    set_ = &set;
    layout_ = layout;
    fileSize_ = fileSize;
    pass_ = pass;
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
    boundedEnds_.clear();
    runsPart_ = kNoPart;
    runs_ = nullptr;
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
    // Waiting candidates start at most two longest parts before the end; a
    // part's edge anchors look one byte before it and two after, and its
    // alternatives read back from its anchor up to a part's length before it.
    const std::size_t keep =
        3 * static_cast<std::size_t>(set_->LongestPart()) + BodyPattern::kMaxFragment + BodyPattern::kEdgeLookahead + 1;
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

bool BodyScanner::Follows(const BodyPart& part, std::size_t previous, std::uint64_t start) const
{
    const auto found = boundedEnds_.find(previous);
    if (found == boundedEnds_.end() || start < part.gapMin)
        return false;
    return found->second.Any(start > part.gapMax ? start - part.gapMax : 0, start - part.gapMin);
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
    // Edges look at the byte after a match, and so does a whole word.
    if (!atEnd && last + part.maxLength + std::max<std::uint64_t>(BodyPattern::kEdgeLookahead, signature.fullWord) >
                      windowEnd)
        return false;
    // Whatever starts with "MZ" is an executable to target type 1, readable header or not, as clamscan types files.
    if (!Reads(pass_, signature.target) ||
        (signature.target == BodyTarget::Pe && layout_.shape == PeSections::Shape::NotPe))
        return true;
    const std::size_t firstPart = set_->FirstPart(candidate.ref.signature);
    const std::size_t previous = firstPart + candidate.ref.part - 1;
    const bool bounded = candidate.ref.part != 0 && part.gapMax != BodyPart::kUnbounded;
    std::uint64_t offsetFirst = 0, offsetLast = ~std::uint64_t{0}; // counted from the window's start
    if (candidate.ref.part == 0) {
        std::uint64_t allowedFirst = 0, allowedLast = 0;
        if (!signature.offset.Range(layout_, fileSize_, Plain(signature.pattern), allowedFirst, allowedLast))
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
    } else if (!bounded) {
        if (partEnds_[previous] == kUnset)
            return true;
        const std::uint64_t earliest = partEnds_[previous] + part.gapMin;
        if (part.offsetElement == 0)
            first = std::max(first, earliest);
        else if (earliest > windowStart_)
            offsetFirst = earliest - windowStart_;
    } else if (boundedEnds_.find(previous) == boundedEnds_.end()) {
        return true;
    }
    first = std::max(first, windowStart_);
    ends_.clear();
    const std::uint32_t next = candidate.ref.part + 1;
    if (next < signature.pattern.parts.size() && signature.pattern.parts[next].gapMax == BodyPart::kUnbounded &&
        partEnds_[firstPart + candidate.ref.part] <= first + part.minLength && !part.trailingByte)
        return true; // the part's earliest end is known, and no earlier one can come of this
    if (part.plain) {
        // A fragment found at every byte of a file costs this much and no more.
        if (first <= candidate.fragmentAt && candidate.fragmentAt <= last &&
            (!bounded || Follows(part, previous, candidate.fragmentAt)) &&
            (!signature.fullWord || WholeWord(static_cast<std::size_t>(candidate.fragmentAt - windowStart_),
                                              static_cast<std::size_t>(candidate.fragmentAt - windowStart_) +
                                                  part.elements.size())))
            ends_.push_back(static_cast<std::size_t>(candidate.fragmentAt - windowStart_) + part.elements.size());
        first = last + 1;
    }
    const auto match = [&](std::uint64_t start, std::uint64_t atFirst, std::uint64_t atLast) {
        const std::size_t from = ends_.size();
        part.MatchAt(window_.data(), window_.size(), static_cast<std::size_t>(start - windowStart_), windowStart_ == 0,
                     atEnd, atFirst, atLast, &ends_);
        // A whole word has no letter or digit right before or after it.
        if (signature.fullWord)
            ends_.erase(std::remove_if(ends_.begin() + static_cast<std::ptrdiff_t>(from), ends_.end(),
                                       [&](std::size_t end) {
                                           return !WholeWord(static_cast<std::size_t>(start - windowStart_), end);
                                       }),
                        ends_.end());
    };
    for (std::uint64_t start = first; start <= last; ++start) {
        if (!bounded) {
            match(start, offsetFirst, offsetLast);
        } else if (part.offsetElement == 0) {
            if (Follows(part, previous, start))
                match(start, offsetFirst, offsetLast);
        } else {
            // "aa[n-m]...": the distance is to where the range leads.
            const BodyElement& gap = part.elements[1];
            for (std::uint64_t at = start + 1 + gap.low; at <= start + 1 + gap.high; ++at)
                if (Follows(part, previous, at))
                    match(start, at - windowStart_, at - windowStart_);
        }
    }
    if (ends_.empty())
        return true;
    Record(signature, candidate.ref.part, firstPart + candidate.ref.part);
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

void BodyScanner::Record(const BodySignature& signature, std::uint32_t partIndex, std::size_t part)
{
    if (partIndex + 1 == signature.pattern.parts.size())
        return;
    const BodyPart& next = signature.pattern.parts[partIndex + 1];
    const std::uint64_t earliest = windowStart_ + *std::min_element(ends_.begin(), ends_.end());
    if (next.gapMax == BodyPart::kUnbounded) {
        // Any start after the earliest end will do.
        std::uint64_t& end = partEnds_[part];
        if (end == kUnset)
            touched_.push_back(part);
        end = std::min(end, earliest);
        return;
    }
    // The same part again and again, when its fragment is everywhere: spare the lookup.
    if (runsPart_ != part) {
        runsPart_ = part;
        runs_ = &boundedEnds_[part];
    }
    EndRuns& runs = *runs_;
    for (std::size_t end : ends_)
        runs.Add(windowStart_ + end);
    // Later candidates of the next part start at most two longest parts
    // before this one's ends, so ask no end above this floor's level.
    const std::uint64_t reach =
        2 * std::uint64_t{set_->LongestPart()} + 2 * BodyPattern::kMaxFragment + next.gapMin;
    if (earliest > reach && runs.Count() > 1)
        runs.Settle(earliest - reach);
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
