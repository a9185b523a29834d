#include "substitute/match/BodySignatureSet.h"

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
    firstPart_.assign(1, 0);
    refs_.clear();
    for (std::uint32_t s = 0; s < signatures_.size(); ++s) {
        const std::vector<BodyPart>& parts = signatures_[s].pattern.parts;
        for (std::uint32_t p = 0; p < parts.size(); ++p) {
            // The automaton numbers its strings in the order added: one per part, in refs_'s order.
            automaton_.Add(parts[p].fragment);
            refs_.push_back({s, p});
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
    refs_.shrink_to_fit();
    firstPart_.shrink_to_fit();
}

} // namespace Substitute
