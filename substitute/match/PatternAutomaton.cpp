#include "substitute/match/PatternAutomaton.h"

#include <algorithm>
#include <utility>

namespace Substitute {

std::uint32_t PatternAutomaton::Add(std::string_view bytes)
{
    starts_.push_back(static_cast<std::uint32_t>(added_.size()));
    added_.append(bytes);
    lengths_.push_back(static_cast<std::uint32_t>(bytes.size()));
    return static_cast<std::uint32_t>(lengths_.size() - 1);
}

std::uint32_t PatternAutomaton::Child(std::uint32_t state, std::uint8_t byte,
                                      const std::vector<std::uint16_t>& children) const
{
    // A state's children are in the order of their bytes.
    const auto first = bytes_.begin() + (states_[state].moves >> kCountBits);
    const auto last = first + children[state];
    const auto found = std::lower_bound(first, last, byte);
    return found != last && *found == byte ? static_cast<std::uint32_t>(found - bytes_.begin()) : kNone;
}

std::uint32_t PatternAutomaton::FailOfChild(std::uint32_t parent, std::uint8_t byte,
                                            const std::vector<std::uint16_t>& children) const
{
    if (parent == 0)
        return 0;
    // Every state on the parent's fail chain is shallower than it, so its children exist already.
    for (std::uint32_t state = states_[parent].fail;; state = states_[state].fail) {
        const std::uint32_t child = Child(state, byte, children);
        if (child != kNone)
            return child;
        if (state == 0)
            return 0;
    }
}

void PatternAutomaton::Build()
{
    // The strings in byte order: those below one state are a run of them,
    // those that end at the state (if any) first.
    std::vector<std::pair<std::string_view, std::uint32_t>> sorted;
    sorted.reserve(lengths_.size());
    for (std::uint32_t id = 0; id < lengths_.size(); ++id)
        sorted.emplace_back(std::string_view(added_).substr(starts_[id], lengths_[id]), id);
    std::sort(sorted.begin(), sorted.end());
    // One state per distinct prefix: each string adds those it does not share with the one before.
    std::size_t stateCount = 1;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const std::string_view text = sorted[i].first, before = i == 0 ? std::string_view() : sorted[i - 1].first;
        std::size_t shared = 0;
        while (shared < text.size() && shared < before.size() && text[shared] == before[shared])
            ++shared;
        stateCount += text.size() - shared;
    }
    struct Run {
        std::size_t first, last;
    };
    states_.reserve(stateCount);
    states_.assign(1, State{});
    bytes_.reserve(stateCount);
    bytes_.assign(1, 0);
    outputs_.reserve(sorted.size());
    outputs_.clear();
    std::vector<std::uint16_t> children;
    children.reserve(stateCount);
    children.assign(1, 0);
    std::vector<Run> level{{0, sorted.size()}}, next;
    // One depth at a time, so the states are numbered breadth first and the
    // children of each state are consecutive.
    std::uint32_t state = 0;
    for (std::size_t depth = 0; !level.empty(); ++depth) {
        next.clear();
        for (Run run : level) {
            const std::uint32_t inherited = state == 0 ? kNone : states_[states_[state].fail].output;
            states_[state].output = inherited;
            while (run.first < run.last && sorted[run.first].first.size() == depth) {
                outputs_.push_back({sorted[run.first++].second, states_[state].output});
                states_[state].output = static_cast<std::uint32_t>(outputs_.size() - 1);
            }
            states_[state].moves = static_cast<std::uint32_t>(states_.size()) << kCountBits;
            while (run.first < run.last) {
                const auto byte = static_cast<std::uint8_t>(sorted[run.first].first[depth]);
                std::size_t end = run.first + 1;
                while (end < run.last && static_cast<std::uint8_t>(sorted[end].first[depth]) == byte)
                    ++end;
                next.push_back({run.first, end});
                State child;
                child.fail = FailOfChild(state, byte, children);
                states_.push_back(child);
                bytes_.push_back(byte);
                children.push_back(0);
                ++children[state];
                run.first = end;
            }
            ++state;
        }
        level.swap(next);
    }
    MakeMoves(children);
    std::string().swap(added_);
    std::vector<std::uint32_t>().swap(starts_);
}

void PatternAutomaton::MakeMoves(const std::vector<std::uint16_t>& children)
{
    std::size_t tables = 0;
    for (std::uint32_t state = 0; state < states_.size(); ++state)
        tables += state == 0 || children[state] > kTableAbove;
    tables_.assign(tables * 256, 0);
    std::uint32_t table = 0;
    // Breadth first: the states a failure leads to have their moves already.
    for (std::uint32_t state = 0; state < states_.size(); ++state) {
        const std::uint32_t first = states_[state].moves >> kCountBits;
        if (state != 0 && children[state] <= kTableAbove) {
            states_[state].moves |= children[state];
            continue;
        }
        std::uint32_t* moves = tables_.data() + std::size_t{table} * 256;
        if (state != 0)
            for (unsigned byte = 0; byte < 256; ++byte)
                moves[byte] = Step(states_[state].fail, static_cast<std::uint8_t>(byte));
        for (std::uint32_t child = first; child < first + children[state]; ++child)
            moves[bytes_[child]] = child;
        states_[state].moves = table++ << kCountBits | kTable;
    }
}

} // namespace Substitute
