#pragma once
// Signature names, each kept once however many signatures carry it, packed
// into large blocks so that millions of names cost no allocation apiece. A
// name is known by a 32-bit reference that stays valid for the pool's life.
// Pure: no system calls.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace Substitute {

class NamePool {
public:
    NamePool() = default;
    NamePool(NamePool&&) = default;
    NamePool& operator=(NamePool&&) = default;

    // The reference of an equal name added before, else of a new copy.
    std::uint32_t Intern(std::string_view name);
    std::string_view At(std::uint32_t reference) const;
    // Drops what only adding needs; Intern may still be called afterwards.
    void FinishAdding();
    std::size_t Bytes() const { return blocks_.size() * kBlockBytes; }

private:
    static constexpr std::uint32_t kBlockBits = 20;
    static constexpr std::size_t kBlockBytes = std::size_t(1) << kBlockBits;
    // Longer names are cut: no threat name the engine reports is near this.
    static constexpr std::size_t kMaxName = 1024;

    std::uint32_t Append(std::string_view name);
    void Grow();

    // Each name is stored as a 16-bit length followed by its bytes, never
    // across two blocks.
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t used_ = kBlockBytes; // in the last block
    // Open addressing over references + 1 (0 marks a free slot).
    std::vector<std::uint32_t> slots_;
    std::size_t count_ = 0;
};

} // namespace Substitute
