#include "substitute/signature/NamePool.h"

#include <cstring>

namespace Substitute {

namespace {

std::uint32_t HashOf(std::string_view text)
{
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

} // namespace

std::string_view NamePool::PatternAt(std::uint32_t reference) const
{
    const char* at = blocks_[reference >> kBlockBits].get() + (reference & (kBlockBytes - 1));
    std::uint16_t length;
    std::memcpy(&length, at, sizeof length);
    return std::string_view(at + sizeof length, length);
}

std::uint32_t NamePool::Append(std::string_view name)
{
    const std::size_t needed = sizeof(std::uint16_t) + name.size();
    // Blocks are addressed by 12 bits: 4 GiB of patterns is past any database.
    if (used_ + needed > kBlockBytes) {
        blocks_.push_back(std::make_unique<char[]>(kBlockBytes));
        used_ = 0;
    }
    char* at = blocks_.back().get() + used_;
    const std::uint16_t length = static_cast<std::uint16_t>(name.size());
    std::memcpy(at, &length, sizeof length);
    std::memcpy(at + sizeof length, name.data(), name.size());
    const std::uint32_t reference = static_cast<std::uint32_t>(((blocks_.size() - 1) << kBlockBits) | used_);
    used_ += needed;
    return reference;
}

void NamePool::Grow()
{
    std::vector<std::uint32_t> old = std::move(slots_);
    slots_.assign(old.empty() ? 1024 : old.size() * 2, 0);
    const std::size_t mask = slots_.size() - 1;
    for (std::uint32_t slot : old) {
        if (slot == 0)
            continue;
        std::size_t at = HashOf(PatternAt(slot - 1)) & mask;
        while (slots_[at] != 0)
            at = (at + 1) & mask;
        slots_[at] = slot;
    }
}

std::uint32_t NamePool::InternPattern(std::string_view name)
{
    if ((count_ + 1) * 2 > slots_.size())
        Grow();
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = HashOf(name) & mask;
    while (slots_[at] != 0) {
        if (PatternAt(slots_[at] - 1) == name)
            return slots_[at] - 1;
        at = (at + 1) & mask;
    }
    const std::uint32_t reference = Append(name);
    slots_[at] = reference + 1;
    ++count_;
    return reference;
}

NameRef NamePool::Intern(std::string_view name)
{
    if (name.size() > kMaxName)
        name = name.substr(0, kMaxName);
    // The longest run of digits (the last of equals) that reads back the same:
    // no leading zero, and small enough for 32 bits.
    std::size_t best = 0, bestLength = 0;
    for (std::size_t i = 0; i < name.size();) {
        if (name[i] < '0' || name[i] > '9') {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < name.size() && name[end] >= '0' && name[end] <= '9')
            ++end;
        const std::size_t length = end - i;
        if (length <= 9 && (name[i] != '0' || length == 1) && length >= bestLength) {
            best = i;
            bestLength = length;
        }
        i = end;
    }
    NameRef reference;
    if (bestLength == 0) {
        reference.pattern = InternPattern(name);
        reference.number = kNoNumber;
        return reference;
    }
    std::uint32_t number = 0;
    for (std::size_t i = best; i < best + bestLength; ++i)
        number = number * 10 + static_cast<std::uint32_t>(name[i] - '0');
    char pattern[kMaxName + 1];
    const std::size_t head = best;
    const std::size_t tail = name.size() - best - bestLength;
    std::memcpy(pattern, name.data(), head);
    pattern[head] = kNumberMark;
    std::memcpy(pattern + head + 1, name.data() + best + bestLength, tail);
    reference.pattern = InternPattern(std::string_view(pattern, head + 1 + tail));
    reference.number = number;
    return reference;
}

std::string NamePool::At(NameRef name) const
{
    const std::string_view pattern = PatternAt(name.pattern);
    if (name.number == kNoNumber)
        return std::string(pattern);
    const std::size_t mark = pattern.find(kNumberMark);
    std::string text(pattern.substr(0, mark));
    text += std::to_string(name.number);
    text += pattern.substr(mark + 1);
    return text;
}

void NamePool::FinishAdding()
{
    std::vector<std::uint32_t>().swap(slots_);
    count_ = 0;
}

} // namespace Substitute
