#pragma once
// The hex pattern of a body signature, parsed: pieces of bounded length
// ("parts") joined by gaps of unbounded length ('*', "{n-}"). Each part has a
// run of at least two fixed bytes (its fragment) that the automaton looks
// for; a part is then verified around it. A pattern that could match every
// file, or whose parts are too long to verify in a bounded window, is
// refused: the parser never yields it. Pure: no system calls.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Substitute {

struct BodyElement {
    enum class Kind : std::uint8_t {
        Byte,      // (b & mask) == value
        Gap,       // low to high bytes of anything
        Choice,    // one of the part's choices [first, first + count)
        NotChoice, // as many bytes as each choice has, and none of them
    };
    Kind kind = Kind::Byte;
    std::uint8_t value = 0;
    std::uint8_t mask = 0xFF;
    // Small: a database holds one element per byte of every pattern.
    std::uint16_t low = 0;  // Gap: fewest bytes; Choice: first choice
    std::uint16_t high = 0; // Gap: most bytes; Choice: choice count
};

struct BodyPart {
    std::vector<BodyElement> elements;
    std::vector<std::string> choices;
    std::uint32_t gapBefore = 0; // fewest bytes between the previous part's end and this one
    std::uint32_t minLength = 0;
    std::uint32_t maxLength = 0;
    std::string fragment;          // fixed bytes the automaton finds (emptied once it holds them)
    std::uint32_t fragmentMin = 0; // where the fragment can start, counted from the part's start
    std::uint32_t fragmentMax = 0;
    // The element a signature's offset names: 0, the part's start, except in
    // "aa[n-m]..." where it is the element after the range.
    std::uint32_t offsetElement = 0;

    // The smallest end (counted from data) of a match of this part that
    // starts at data + start, where data holds size bytes.
    // With offsetFirst/offsetLast, the offset element must start in that range.
    std::optional<std::size_t> MatchAt(const std::uint8_t* data, std::size_t size, std::size_t start,
                                       std::uint64_t offsetFirst = 0, std::uint64_t offsetLast = ~0ull) const;
};

struct BodyPattern {
    // Longer gaps, and longer parts, than any real signature needs: a part
    // is verified in a window that stays in memory.
    static constexpr std::uint32_t kMaxGap = 8192; // fits an element
    static constexpr std::uint32_t kMaxPartLength = 32768;
    static constexpr std::size_t kMaxFragment = 16;
    static constexpr std::size_t kMinFragment = 2;
    // Alternatives in one part, all choices counted: what an element can name.
    static constexpr std::size_t kMaxChoices = 0xFFFF;

    std::vector<BodyPart> parts;

    // Why a pattern text was refused, or nullptr.
    static const char* Parse(std::string_view text, BodyPattern& pattern);
};

} // namespace Substitute
