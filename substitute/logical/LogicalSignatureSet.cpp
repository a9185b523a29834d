#include "substitute/logical/LogicalSignatureSet.h"

namespace Substitute {

std::uint32_t LogicalSignatureSet::Add(LogicalSignature signature)
{
    signature.name = {}; // the line it pointed into is gone; the pool holds the name
    std::vector<BodySignature>().swap(signature.bodies);
    const std::uint32_t first = subCount_;
    subCount_ += signature.subCount;
    entries_.push_back({std::move(signature), first});
    return first;
}

void LogicalSignatureSet::Truncate(std::size_t count)
{
    if (count >= entries_.size())
        return;
    entries_.resize(count);
    subCount_ = entries_.empty() ? 0 : entries_.back().firstSub + entries_.back().signature.subCount;
}

void LogicalSignatureSet::Finish()
{
    entries_.shrink_to_fit();
    owner_.assign(subCount_, ~std::uint32_t{0});
    matchEmpty_.clear();
    const std::uint32_t none[LogicalExpression::kMaxSubSignatures] = {};
    for (std::uint32_t index = 0; index < entries_.size(); ++index) {
        const Entry& entry = entries_[index];
        for (std::uint32_t sub = 0; sub < entry.signature.subCount; ++sub)
            owner_[entry.firstSub + sub] = index;
        if (entry.signature.expression.Evaluate(none))
            matchEmpty_.push_back(index);
    }
}

bool LogicalSignatureSet::Matches(const Entry& entry, const std::vector<std::uint32_t>& counts,
                                  const PeSections& layout, std::uint64_t fileSize, BodyPass pass) const
{
    if (!entry.signature.target.Admits(layout, fileSize, pass))
        return false;
    std::uint32_t own[LogicalExpression::kMaxSubSignatures] = {};
    for (std::uint32_t sub = 0; sub < entry.signature.subCount; ++sub)
        if (entry.firstSub + sub < counts.size())
            own[sub] = counts[entry.firstSub + sub];
    return entry.signature.expression.Evaluate(own);
}

std::optional<std::uint32_t> LogicalSignatureSet::Match(const std::vector<std::uint32_t>& counts,
                                                        const std::vector<std::uint32_t>& matchedSubs,
                                                        const PeSections& layout, std::uint64_t fileSize,
                                                        BodyPass pass) const
{
    std::optional<std::uint32_t> first;
    const auto consider = [&](std::uint32_t index) {
        if ((!first || index < *first) && Matches(entries_[index], counts, layout, fileSize, pass))
            first = index;
    };
    for (std::uint32_t sub : matchedSubs)
        if (sub < owner_.size() && owner_[sub] != ~std::uint32_t{0})
            consider(owner_[sub]);
    for (std::uint32_t index : matchEmpty_)
        consider(index);
    return first;
}

} // namespace Substitute
