#include "substitute/NamePool.h"

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

std::string_view NamePool::At(std::uint32_t reference) const
{
    const char* at = blocks_[reference >> kBlockBits].get() + (reference & (kBlockBytes - 1));
    std::uint16_t length;
    std::memcpy(&length, at, sizeof length);
    return std::string_view(at + sizeof length, length);
}

std::uint32_t NamePool::Append(std::string_view name)
{
    const std::size_t needed = sizeof(std::uint16_t) + name.size();
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
        std::size_t at = HashOf(At(slot - 1)) & mask;
        while (slots_[at] != 0)
            at = (at + 1) & mask;
        slots_[at] = slot;
    }
}

std::uint32_t NamePool::Intern(std::string_view name)
{
    if (name.size() > kMaxName)
        name = name.substr(0, kMaxName);
    if ((count_ + 1) * 2 > slots_.size())
        Grow();
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = HashOf(name) & mask;
    while (slots_[at] != 0) {
        if (At(slots_[at] - 1) == name)
            return slots_[at] - 1;
        at = (at + 1) & mask;
    }
    const std::uint32_t reference = Append(name);
    slots_[at] = reference + 1;
    ++count_;
    return reference;
}

void NamePool::FinishAdding()
{
    std::vector<std::uint32_t>().swap(slots_);
    count_ = 0;
}

} // namespace Substitute
