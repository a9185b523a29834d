#pragma once
// The alternatives clamscan reads in a group's text, groups within
// multiplied out in its order: "(41|42)43|44" is 4143, 4243, 44. Its way is
// followed step by step, for what it makes of odd texts decides what loads
// and what matches: after an alternative that holds a group it passes over
// an empty one, and then refuses the group for the alternatives it has not
// counted, unless a last alternative holding a group makes up for it with
// an empty one of its own ("(41|42)||(43|44)" holds an empty one).
// Pure: no system calls.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Substitute {

class AlternativesReader {
public:
    // text: a group's text without its outer parentheses; out: its alternatives, as hex text.
    AlternativesReader(std::string_view text, std::vector<std::string>& out) : text_(text), out_(out) {}

    // Null, or why clamscan refuses the group.
    const char* Read() { return Walk(0, std::string(), 0, true); }

private:
    // The alternatives from text_[at] to the ')' that ends their group.
    std::size_t Count(std::size_t at);
    // Just past the ')' that ends the group text_[at] is in, or npos.
    std::size_t Close(std::size_t at);
    const char* Add(std::string text);
    // Reads alternatives from text_[at], each after prefix, within depth
    // groups; all of them when whole, else the first (what follows a group
    // for one of its alternatives).
    const char* Walk(std::size_t at, const std::string& prefix, std::size_t depth, bool whole);

    std::string_view text_;
    std::vector<std::string>& out_;
    std::size_t work_ = 0;
};

} // namespace Substitute
