#include "substitute/PatternAutomaton.h"

#include <algorithm>

namespace Substitute {

std::uint32_t PatternAutomaton::Child(std::uint32_t state, std::uint8_t byte) const
{
    for (const Edge& edge : building_[state])
        if (edge.byte == byte)
            return edge.to;
    return kNone;
}

std::uint32_t PatternAutomaton::Add(std::string_view bytes)
{
    std::uint32_t state = 0;
    for (char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        std::uint32_t next = Child(state, byte);
        if (next == kNone) {
            next = static_cast<std::uint32_t>(states_.size());
            states_.emplace_back();
            building_.emplace_back();
            building_[state].push_back({byte, next});
        }
        state = next;
    }
    if (states_[state].output == kNone) {
        states_[state].output = static_cast<std::uint32_t>(lengths_.size());
        lengths_.push_back(bytes.size());
    }
    return states_[state].output;
}

void PatternAutomaton::Build()
{
    // Breadth first, so that every state's fail target is done before it.
    std::vector<std::uint32_t> queue;
    queue.reserve(states_.size());
    root_.fill(0);
    for (const Edge& edge : building_[0]) {
        root_[edge.byte] = edge.to;
        states_[edge.to].fail = 0;
        queue.push_back(edge.to);
    }
    for (std::size_t i = 0; i < queue.size(); ++i) {
        const std::uint32_t state = queue[i];
        State& s = states_[state];
        s.nextOutput = states_[s.fail].output != kNone ? s.fail : states_[s.fail].nextOutput;
        for (const Edge& edge : building_[state]) {
            std::uint32_t fail = s.fail;
            std::uint32_t target = kNone;
            for (;;) {
                target = fail == 0 ? root_[edge.byte] : Child(fail, edge.byte);
                if (target != kNone || fail == 0)
                    break;
                fail = states_[fail].fail;
            }
            states_[edge.to].fail = target == kNone ? 0 : target;
            queue.push_back(edge.to);
        }
    }
    states_[0].nextOutput = kNone;
    edges_.clear();
    for (std::uint32_t state = 0; state < states_.size(); ++state) {
        states_[state].firstEdge = static_cast<std::uint32_t>(edges_.size());
        states_[state].edgeCount = state == 0 ? 0 : static_cast<std::uint32_t>(building_[state].size());
        if (state != 0)
            edges_.insert(edges_.end(), building_[state].begin(), building_[state].end());
    }
    tables_.assign(1, root_);
    states_[0].table = 0;
    // Breadth first again: a state's failure target has its table (if any) already.
    for (std::uint32_t state : queue) {
        if (building_[state].size() <= kTableAbove)
            continue;
        std::array<std::uint32_t, 256> table;
        for (unsigned byte = 0; byte < 256; ++byte)
            table[byte] = Step(state, static_cast<std::uint8_t>(byte));
        states_[state].table = static_cast<std::uint32_t>(tables_.size());
        tables_.push_back(table);
    }
    building_.clear();
    building_.shrink_to_fit();
}

} // namespace Substitute
