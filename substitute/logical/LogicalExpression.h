#pragma once
// The logical expression of a logical signature (.ldb): sub-signature
// indexes joined by '&' and '|', grouped by parentheses, each operand
// optionally followed by a count condition: "=X", ">X", "<X", each with an
// optional ",Y" (at least Y different sub-signatures matched, for a group).
//
// As clamscan reads it, an operator has no precedence over the other: the
// operand before it is joined with everything after it, so "0|1&2" is
// "0|(1&2)" and "1&1|0" is "1&(1|0)". An operand stands for a number: a
// sub-signature its match count, "A&B" the sum of both when neither is 0
// (else 0), "A|B" the sum of both, a counted operand 1 when its condition
// holds (else 0). The signature matches when the whole is not 0, so "0=0"
// matches a file where sub-signature 0 never matched.
//
// Parsing refuses what it cannot evaluate in bounded time and stack:
// nesting deeper than kMaxDepth, more than kMaxOperands operands, numbers
// past 32 bits. Pure: no system calls.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Substitute {

class LogicalExpression {
public:
    static constexpr std::size_t kMaxSubSignatures = 64; // as clamscan allows
    static constexpr std::size_t kMaxDepth = 32;
    static constexpr std::size_t kMaxOperands = 1024;

    // Why the text was refused, or nullptr. On success, HighestIndex() is
    // the largest sub-signature index the expression names.
    static const char* Parse(std::string_view text, LogicalExpression& expression);

    std::size_t HighestIndex() const { return highest_; }

    // counts[i]: how many times sub-signature i matched (indexes up to
    // HighestIndex()).
    bool Evaluate(const std::uint32_t* counts) const;

private:
    friend class ExpressionReader;

    enum class Condition : std::uint8_t { None, Equal, More, Less };
    struct Node {
        // A sub-signature, or a group: operands [first, first + count) of
        // operands_, joined by the operators ops_[first .. first + count - 1).
        bool group = false;
        Condition condition = Condition::None;
        std::uint8_t index = 0;
        std::uint32_t first = 0;
        std::uint32_t count = 0;
        std::uint32_t times = 0;     // X
        std::uint32_t different = 0; // Y
    };
    struct Value {
        std::uint64_t number;
        std::uint64_t matched; // a bit per sub-signature that contributed
    };

    Value Evaluate(const Node& node, const std::uint32_t* counts) const;

    std::vector<Node> nodes_;             // nodes_[0] is the whole expression
    std::vector<std::uint32_t> operands_; // node indexes, by group
    std::vector<char> ops_;               // '&' or '|' after each operand of a group
    std::size_t highest_ = 0;
};

} // namespace Substitute
