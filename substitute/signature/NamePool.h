#pragma once
// Signature names, kept compactly for millions of signatures. Names of one
// family differ mostly in a number ("Win.Trojan.Agent-6268370-0"): the name
// is kept as its pattern, with its longest run of digits taken out, and that
// number beside it. Each pattern is stored once, packed into large blocks,
// so that a name costs a 32-bit pattern reference and a 32-bit number, and
// no allocation apiece. Pure: no system calls.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Substitute {

struct NameRef {
    std::uint32_t pattern = 0;
    std::uint32_t number = 0;
};

class NamePool {
public:
    NamePool() = default;
    NamePool(NamePool&&) = default;
    NamePool& operator=(NamePool&&) = default;

    NameRef Intern(std::string_view name);
    std::string At(NameRef name) const;
    // Drops what only adding needs; Intern may still be called afterwards.
    void FinishAdding();

private:
    static constexpr std::uint32_t kBlockBits = 20;
    static constexpr std::size_t kBlockBytes = std::size_t(1) << kBlockBits;
    // Longer names are cut: no threat name the engine reports is near this.
    static constexpr std::size_t kMaxName = 1024;
    // Stands for the number in a pattern; names never hold control bytes.
    static constexpr char kNumberMark = '\x01';
    static constexpr std::uint32_t kNoNumber = 0xFFFFFFFFu;

    std::uint32_t InternPattern(std::string_view pattern);
    std::string_view PatternAt(std::uint32_t reference) const;
    std::uint32_t Append(std::string_view pattern);
    void Grow();

    // Each pattern is stored as a 16-bit length followed by its bytes, never
    // across two blocks.
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t used_ = kBlockBytes; // in the last block
    // Open addressing over references + 1 (0 marks a free slot).
    std::vector<std::uint32_t> slots_;
    std::size_t count_ = 0;
};

} // namespace Substitute
