// The automaton against a plain search for each of its strings.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "substitute/match/PatternAutomaton.h"

using Substitute::PatternAutomaton;

TEST(PatternAutomaton, FindsEveryEndOfEveryStringThatAPlainSearchFinds)
{
    std::mt19937 random(7);
    for (int trial = 0; trial < 20; ++trial) {
        // Few byte values and many short strings: the states near the root
        // get full tables, deeper ones short lists, and strings end inside
        // others, so failures lead through both kinds.
        std::string data(3000, '\0');
        for (char& c : data)
            c = static_cast<char>(random() % 12);
        PatternAutomaton automaton;
        std::vector<std::string> strings;
        for (int n = 0; n < 300; ++n) {
            std::string text = data.substr(random() % (data.size() - 8), 2 + random() % 6);
            if (random() % 4 == 0)
                text.back() = static_cast<char>(text.back() ^ 0x40); // a string found nowhere
            ASSERT_EQ(strings.size(), automaton.Add(text));          // the same string again gets an id of its own
            strings.push_back(text);
        }
        automaton.Build();
        std::set<std::pair<std::size_t, std::uint32_t>> found, expected;
        std::uint32_t state = 0;
        for (std::size_t i = 0; i < data.size(); ++i) {
            state = automaton.Step(state, static_cast<std::uint8_t>(data[i]));
            automaton.Ends(state, [&](std::uint32_t id) { found.insert({i + 1, id}); });
        }
        for (std::uint32_t id = 0; id < strings.size(); ++id)
            for (std::size_t at = data.find(strings[id]); at != std::string::npos; at = data.find(strings[id], at + 1))
                expected.insert({at + strings[id].size(), id});
        EXPECT_EQ(expected, found);
    }
}
