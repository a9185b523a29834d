#include "substitute/BodySignatureSet.h"

#include <algorithm>

namespace Substitute {

void BodySignatureSet::Add(BodySignature signature)
{
    signature.name = {}; // the line it pointed into is gone; the pool holds the name
    signatures_.push_back(std::move(signature));
}

void BodySignatureSet::Truncate(std::size_t count)
{
    if (count < signatures_.size())
        signatures_.resize(count);
}

void BodySignatureSet::Finish()
{
    std::vector<std::pair<std::uint32_t, BodyPartRef>> found;
    firstPart_.assign(1, 0);
    for (std::uint32_t s = 0; s < signatures_.size(); ++s) {
        const std::vector<BodyPart>& parts = signatures_[s].pattern.parts;
        for (std::uint32_t p = 0; p < parts.size(); ++p) {
            found.push_back({automaton_.Add(parts[p].fragment), {s, p}});
            longestPart_ = std::max(longestPart_, parts[p].maxLength);
        }
        firstPart_.push_back(firstPart_.back() + parts.size());
    }
    automaton_.Build();
    // The automaton holds the fragments now.
    for (BodySignature& signature : signatures_)
        for (BodyPart& part : signature.pattern.parts)
            std::string().swap(part.fragment);
    signatures_.shrink_to_fit();
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    refStart_.assign(automaton_.Count() + 1, 0);
    refs_.clear();
    refs_.reserve(found.size());
    for (const auto& [id, ref] : found) {
        ++refStart_[id + 1];
        refs_.push_back(ref);
    }
    for (std::size_t id = 0; id < automaton_.Count(); ++id)
        refStart_[id + 1] += refStart_[id];
}

} // namespace Substitute
