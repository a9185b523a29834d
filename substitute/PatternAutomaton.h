#pragma once
// Aho-Corasick over byte strings: one pass over the data finds every place
// where any of the strings ends. The root and the states with many moves
// (near the root, where most bytes of most files stay) have a full table of
// moves, failures resolved; the others keep their few moves in a list, so
// memory grows with the strings' total length, not times 256.
// Built once, then read by any number of threads. Pure: no system calls.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Substitute {

class PatternAutomaton {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // The string's id (the same id for the same string added again).
    std::uint32_t Add(std::string_view bytes);
    void Build();

    std::size_t Count() const { return lengths_.size(); }
    std::size_t Length(std::uint32_t id) const { return lengths_[id]; }

    std::uint32_t Step(std::uint32_t state, std::uint8_t byte) const
    {
        for (;;) {
            const State& s = states_[state];
            if (s.table != kNone)
                return tables_[s.table][byte];
            for (std::uint32_t e = s.firstEdge; e < s.firstEdge + s.edgeCount; ++e)
                if (edges_[e].byte == byte)
                    return edges_[e].to;
            state = s.fail;
        }
    }

    // Calls found(id) for every string that ends at this state.
    template <typename Found>
    void Ends(std::uint32_t state, Found&& found) const
    {
        if (states_[state].output == kNone)
            state = states_[state].nextOutput;
        while (state != kNone) {
            found(states_[state].output);
            state = states_[state].nextOutput;
        }
    }

    bool HasEnds(std::uint32_t state) const
    {
        return states_[state].output != kNone || states_[state].nextOutput != kNone;
    }

private:
    struct Edge {
        std::uint8_t byte = 0;
        std::uint32_t to = 0;
    };
    struct State {
        std::uint32_t fail = 0;
        std::uint32_t output = kNone;     // the string ending here
        std::uint32_t nextOutput = kNone; // the nearest state on the fail chain with an output
        std::uint32_t firstEdge = 0;
        std::uint32_t edgeCount = 0;
        std::uint32_t table = kNone; // its full table of moves, if it has one
    };
    // States with more moves than this get a full table.
    static constexpr std::uint32_t kTableAbove = 4;

    std::uint32_t Child(std::uint32_t state, std::uint8_t byte) const;

    std::vector<State> states_ = std::vector<State>(1);
    std::vector<Edge> edges_; // per state, contiguous once built
    std::vector<std::vector<Edge>> building_ = std::vector<std::vector<Edge>>(1);
    std::array<std::uint32_t, 256> root_{};
    std::vector<std::array<std::uint32_t, 256>> tables_;
    std::vector<std::uint32_t> lengths_;
};

} // namespace Substitute
