#pragma once
// Aho-Corasick over byte strings: one pass over the data finds every place
// where any of the strings ends. States are numbered breadth first, so the
// children of a state are consecutive states: a state names its first child
// and how many there are, and each state keeps only the byte that leads to
// it (13 bytes a state, no list of moves per state). The root and the states
// with many moves (near the root, where most bytes of most files stay) have
// a full table of moves, failures resolved.
// Built once, then read by any number of threads. Pure: no system calls.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Substitute {

class PatternAutomaton {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // The string's id: ids count up from 0 in the order of adding. A string
    // added twice has two ids, both reported where it ends.
    std::uint32_t Add(std::string_view bytes);
    void Build();

    std::size_t Count() const { return lengths_.size(); }
    std::size_t Length(std::uint32_t id) const { return lengths_[id]; }

    std::uint32_t Step(std::uint32_t state, std::uint8_t byte) const
    {
        for (;;) {
            const State& s = states_[state];
            const std::uint32_t count = s.moves & kCountMask, first = s.moves >> kCountBits;
            if (count == kTable)
                return tables_[std::size_t{first} * 256 + byte];
            for (std::uint32_t child = first; child < first + count; ++child)
                if (bytes_[child] == byte)
                    return child;
            state = s.fail;
        }
    }

    // Calls found(id) for every string that ends at this state.
    template <typename Found>
    void Ends(std::uint32_t state, Found&& found) const
    {
        for (std::uint32_t at = states_[state].output; at != kNone; at = outputs_[at].next)
            found(outputs_[at].id);
    }

    bool HasEnds(std::uint32_t state) const { return states_[state].output != kNone; }

private:
    struct State {
        std::uint32_t fail = 0;
        // The first child << kCountBits | the number of children, or a table's
        // index << kCountBits | kTable.
        std::uint32_t moves = 0;
        std::uint32_t output = kNone; // the first of the strings that end here (outputs_)
    };
    struct Output {
        std::uint32_t id;
        std::uint32_t next; // the next string ending here: one that ends on the fail chain
    };
    static constexpr std::uint32_t kCountBits = 3;
    static constexpr std::uint32_t kCountMask = (1u << kCountBits) - 1;
    static constexpr std::uint32_t kTable = kCountMask;
    // States with more moves than this get a full table.
    static constexpr std::uint32_t kTableAbove = 4;

    // While building: the child of state reached by byte, if any.
    std::uint32_t Child(std::uint32_t state, std::uint8_t byte, const std::vector<std::uint16_t>& children) const;
    std::uint32_t FailOfChild(std::uint32_t parent, std::uint8_t byte,
                              const std::vector<std::uint16_t>& children) const;
    void MakeMoves(const std::vector<std::uint16_t>& children);

    std::vector<State> states_;
    std::vector<std::uint8_t> bytes_; // per state, the byte that leads to it
    std::vector<Output> outputs_;
    std::vector<std::uint32_t> tables_; // 256 moves per table
    std::vector<std::uint32_t> lengths_;
    // Until Build: the strings added, one after another, and where each starts.
    std::string added_;
    std::vector<std::uint32_t> starts_;
};

} // namespace Substitute
