#include "substitute/match/BodySignatureSet.h"

#include <algorithm>
#include <string>
#include <vector>

namespace Substitute {

namespace {

// Calls add with the fragment, or with each of its case forms.
template <typename Add>
void ForEachForm(const std::string& fragment, bool noCase, Add&& add)
{
    std::vector<std::size_t> letters;
    for (std::size_t i = 0; noCase && i < fragment.size(); ++i)
        if ((fragment[i] | 0x20) >= 'a' && (fragment[i] | 0x20) <= 'z')
            letters.push_back(i);
    std::string form = fragment;
    for (std::size_t mask = 0; mask < (std::size_t{1} << letters.size()); ++mask) {
        for (std::size_t bit = 0; bit < letters.size(); ++bit)
            form[letters[bit]] =
                static_cast<char>(mask >> bit & 1 ? form[letters[bit]] & ~0x20 : form[letters[bit]] | 0x20);
        add(form);
    }
}

} // namespace

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
            // The automaton numbers its strings in the order added: one per part (per case form), in refs_'s order.
            ForEachForm(parts[p].fragment, signatures_[s].noCase, [&](const std::string& form) {
                automaton_.Add(form);
                refs_.push_back({s, p});
            });
            longestPart_ = std::max(longestPart_, parts[p].maxLength);
            if (signatures_[s].target == BodyTarget::Text)
                longestTextPart_ = std::max(longestTextPart_, parts[p].maxLength);
        }
        firstPart_.push_back(firstPart_.back() + parts.size());
        if (signatures_[s].sub != BodySignature::kNoSub)
            subCount_ = std::max<std::size_t>(subCount_, signatures_[s].sub + std::size_t{1});
        readsText_ = readsText_ || Reads(BodyPass::Text, signatures_[s].target);
        textAsFile_ = textAsFile_ || (signatures_[s].target == BodyTarget::Text &&
                                      signatures_[s].offset.kind == BodyOffset::Kind::FromEnd);
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
