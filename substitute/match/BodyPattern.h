#pragma once
// The hex pattern of a body signature, parsed as clamscan reads it: pieces
// ("parts") joined by distances. "{n}" below 128 is n "??" while it is the
// first range left in the text; every other range and '*' ends a part, with
// the fewest and the most bytes allowed before the next one ("{-n}" 0 to n,
// "{n-m}", and an unbounded most for '*', "{n-}" and a most of 0). Each part
// has a run of at least two fixed bytes (its fragment) that the automaton
// looks for; a part is then verified around it, in a window of its own
// length, never of the distance before it. A part also carries the anchors
// "(B)", "(L)", "(W)" at its edges (the byte beside it, or the file's edge,
// is of that class); elsewhere an anchor is one byte of its class.
// Alternatives may hold groups of alternatives, multiplied out as clamscan
// does; where they differ in length clamscan tries them in its own order,
// from the few fixed bytes it looks a part up by, and a match follows that
// order. A pattern clamscan refuses, or one that could match every file, is
// refused: the parser never yields it. Pure: no system calls.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Substitute {

// The byte classes of "(B)", "(L)" and "(W)".
enum class ByteClass : std::uint8_t { Boundary, Line, Word };

struct BodyElement {
    enum class Kind : std::uint8_t {
        Byte,      // (b & mask) == value
        Gap,       // low to high bytes of anything ("aa[n-m]" and "[n-m]aa")
        Choice,    // one of the part's choices [first, first + count); value kOrdered: tried in their order
        NotChoice, // as many bytes as each choice has, and none of them
        Class,     // one byte of the class value (a ByteClass); mask 1: any byte but one
    };
    // A Choice whose choices differ in length: clamscan tries them in their
    // order (see BodyPart::choices), reading back from the part's anchor
    // those before it, and on from it those after it.
    static constexpr std::uint8_t kOrdered = 1;

    Kind kind = Kind::Byte;
    std::uint8_t value = 0;
    std::uint8_t mask = 0xFF;
    // Small: a database holds one element per byte of every pattern.
    std::uint16_t low = 0;  // Gap: fewest bytes; Choice: first choice
    std::uint16_t high = 0; // Gap: most bytes; Choice: choice count
};

// An anchor at a part's edge: the byte beside the part is of the class (or,
// negated, is not), the file's own edge counting as one of every class. The
// edge lies before element `at`: 0 or the end, or inside "aa[n-m]" and
// "[n-m]aa", which clamscan matches apart from the part.
struct BodyEdge {
    bool present = false;
    bool negated = false;
    ByteClass kind = ByteClass::Boundary;
    std::uint16_t at = 0;
};

struct BodyPart {
    static constexpr std::uint32_t kUnbounded = 0xFFFFFFFFu;

    // The last byte of a choice that clamscan takes for good at its first
    // match, trying no choice after it; a choice of an ordered element is
    // so unless another of a different length could match where it does.
    static constexpr char kDecisive = 1;

    std::vector<BodyElement> elements;
    // Each choice as (value, mask) pairs, one pair a byte: nibbles and "??"
    // may stand in a choice. A decisive one has one more byte, kDecisive.
    std::vector<std::string> choices;
    // Bytes between the previous part's end and this part's start: at least
    // gapMin, at most gapMax (kUnbounded: any number).
    std::uint32_t gapMin = 0;
    std::uint32_t gapMax = kUnbounded;
    std::uint32_t minLength = 0;
    std::uint32_t maxLength = 0;
    std::string fragment;          // fixed bytes the automaton finds (emptied once it holds them)
    std::uint32_t fragmentMin = 0; // where the fragment can start, counted from the part's start
    std::uint32_t fragmentMax = 0;
    // The element where the part starts for the signature's offset and for
    // the distance from the part before: 0, except in "aa[n-m]..." where it
    // is the element after the range. Likewise "...[n-m]aa" ends the part,
    // for the distance to the next one, before the range.
    std::uint32_t offsetElement = 0;
    // Where clamscan looks the part up: the first element of its first few
    // fixed bytes (not two zeros if it can help it) once the first three
    // elements hold a wildcard or are all zero, else the first element.
    std::uint32_t anchorElement = 0;
    bool trailingByte = false;
    // An ordered element: clamscan starts and ends a match where the first
    // way through the choices it tries starts and ends, and nowhere else.
    bool firstWay = false;
    // Fixed bytes and nothing else, all in the fragment: found is matched.
    bool plain = false;
    BodyEdge left, right;

    // The smallest end (counted from data, before a "[n-m]aa" range) of a
    // match of this part that starts at data + start, where data holds size
    // bytes; data[0] is the file's first byte when startsFile, data[size] its
    // end when endsFile. With offsetFirst/offsetLast, the offset element must
    // start in that range. With ends, every such end is added there, smallest first.
    // A match is one clamscan finds: ordered choices taken as it takes them,
    // and at the file's edges no more of the part read than it reads.
    std::optional<std::size_t> MatchAt(const std::uint8_t* data, std::size_t size, std::size_t start,
                                       bool startsFile, bool endsFile, std::uint64_t offsetFirst = 0,
                                       std::uint64_t offsetLast = ~0ull,
                                       std::vector<std::size_t>* ends = nullptr) const;

    static bool Decisive(const std::string& choice) { return choice.size() % 2 != 0; }

private:
    // Where the first way clamscan takes back from an anchor at anchor starts.
    std::optional<std::size_t> FirstStart(const std::uint8_t* data, std::size_t anchor, bool startsFile) const;
    // Where the first way clamscan takes on from an anchor at anchor ends.
    std::optional<std::size_t> FirstEnd(const std::uint8_t* data, std::size_t size, std::size_t anchor,
                                        bool endsFile) const;
    // Past an element of one width, or not matched at at.
    std::optional<std::size_t> Step(const BodyElement& element, const std::uint8_t* data, std::size_t size,
                                    std::size_t at) const;
    // The fewest bytes elements [first, last) match.
    std::size_t MinLength(std::size_t first, std::size_t last) const;
};

struct BodyPattern {
    // Longer parts than any real signature needs: a part is verified in a
    // window that stays in memory. The distances between parts are not in it.
    static constexpr std::uint32_t kMaxPartLength = 32768;
    // "aa[n-m]": clamscan's limit.
    static constexpr std::uint32_t kMaxAnchorGap = 32;
    // Distances are C ints in clamscan; a larger one is refused there.
    static constexpr std::uint32_t kMaxDistance = 0x7FFFFFFFu;
    static constexpr std::size_t kMaxFragment = 16;
    static constexpr std::size_t kMinFragment = 2;
    // Alternatives in one part, all choices counted: what an element can name.
    static constexpr std::size_t kMaxChoices = 0xFFFF;
    // clamscan's limit on the groups within one group of alternatives.
    static constexpr std::size_t kMaxInnerGroups = 15;
    // Groups within alternatives multiply: the text read to multiply them
    // out, and the pairs of them of different lengths that loading compares,
    // are bounded, far above what any real signature needs.
    static constexpr std::size_t kMaxAlternativesWork = 1 << 22;
    static constexpr std::size_t kMaxOrderedPairs = 1 << 20;
    // The bytes a part's right edge anchor may look at beyond its end ("\r\n").
    static constexpr std::uint32_t kEdgeLookahead = 2;

    std::vector<BodyPart> parts;

    // Why a pattern text was refused, or nullptr.
    static const char* Parse(std::string_view text, BodyPattern& pattern);
    // Whether the byte is of the class where an anchor stands for a byte of its own.
    static bool InClass(ByteClass kind, std::uint8_t byte);
};

} // namespace Substitute
