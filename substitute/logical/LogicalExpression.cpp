#include "substitute/logical/LogicalExpression.h"

namespace Substitute {

namespace {

constexpr std::uint64_t kMaxNumber = 0xFFFFFFFFu;

int Popcount(std::uint64_t bits)
{
    int count = 0;
    for (; bits != 0; bits &= bits - 1)
        ++count;
    return count;
}

} // namespace

// Reads one expression text into a LogicalExpression, by recursive descent
// over groups (parentheses), never deeper than kMaxDepth.
class ExpressionReader {
public:
    ExpressionReader(std::string_view text, LogicalExpression& expression) : text_(text), expression_(expression) {}

    const char* Read()
    {
        expression_ = LogicalExpression{};
        expression_.nodes_.emplace_back();
        if (const char* why = Group(0, 0))
            return why;
        Skip();
        if (at_ < text_.size())
            return text_[at_] == ')' ? "a ')' without its '('" : "unknown syntax in the expression";
        return nullptr;
    }

private:
    void Skip()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t'))
            ++at_;
    }

    // A decimal number of at most 32 bits; "what" names it in the reason.
    const char* Number(std::uint32_t& value, const char* missing)
    {
        Skip();
        const std::size_t begin = at_;
        std::uint64_t number = 0;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            number = number * 10 + static_cast<unsigned>(text_[at_] - '0');
            if (number > kMaxNumber)
                return "a number in the expression too large";
            ++at_;
        }
        if (at_ == begin)
            return missing;
        value = static_cast<std::uint32_t>(number);
        return nullptr;
    }

    // Operands joined by operators, up to the end or a ')'; fills node.
    const char* Group(std::uint32_t node, std::size_t depth)
    {
        std::vector<std::uint32_t> operands;
        std::vector<char> ops;
        for (;;) {
            std::uint32_t operand = 0;
            if (const char* why = Operand(operand, depth))
                return why;
            operands.push_back(operand);
            Skip();
            if (at_ >= text_.size() || (text_[at_] != '&' && text_[at_] != '|'))
                break;
            ops.push_back(text_[at_++]);
        }
        LogicalExpression::Node& group = expression_.nodes_[node];
        group.group = true;
        group.first = static_cast<std::uint32_t>(expression_.operands_.size());
        group.count = static_cast<std::uint32_t>(operands.size());
        expression_.operands_.insert(expression_.operands_.end(), operands.begin(), operands.end());
        ops.push_back('&'); // one per operand, so a group's operators start at its first operand too
        expression_.ops_.insert(expression_.ops_.end(), ops.begin(), ops.end());
        return nullptr;
    }

    // An index or a parenthesised group, then an optional count condition.
    const char* Operand(std::uint32_t& node, std::size_t depth)
    {
        if (++operandCount_ > LogicalExpression::kMaxOperands)
            return "too many operands in the expression";
        Skip();
        if (at_ >= text_.size())
            return "an operand missing in the expression";
        node = static_cast<std::uint32_t>(expression_.nodes_.size());
        expression_.nodes_.emplace_back();
        if (text_[at_] == '(') {
            if (depth + 1 > LogicalExpression::kMaxDepth)
                return "parentheses nested too deep";
            ++at_;
            if (const char* why = Group(node, depth + 1))
                return why;
            Skip();
            if (at_ >= text_.size() || text_[at_] != ')')
                return "a '(' without its ')'";
            ++at_;
        } else {
            std::uint32_t index = 0;
            if (const char* why = Number(index, "an operand missing in the expression"))
                return why;
            if (index >= LogicalExpression::kMaxSubSignatures)
                return "a sub-signature index past the most a signature can have";
            expression_.nodes_[node].index = static_cast<std::uint8_t>(index);
            if (index > expression_.highest_)
                expression_.highest_ = index;
        }
        return Condition(expression_.nodes_[node]);
    }

    const char* Condition(LogicalExpression::Node& node)
    {
        Skip();
        if (at_ >= text_.size())
            return nullptr;
        const char c = text_[at_];
        if (c != '=' && c != '>' && c != '<')
            return nullptr;
        ++at_;
        std::uint32_t times = 0, different = 0;
        if (const char* why = Number(times, "a count condition without its number"))
            return why;
        Skip();
        // "A=X," reads as "A=X,0", as clamscan reads it.
        if (at_ < text_.size() && text_[at_] == ',') {
            ++at_;
            Skip();
            if (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9')
                if (const char* why = Number(different, nullptr))
                    return why;
        }
        node.condition = c == '='   ? LogicalExpression::Condition::Equal
                         : c == '>' ? LogicalExpression::Condition::More
                                    : LogicalExpression::Condition::Less;
        node.times = times;
        node.different = different;
        Skip();
        if (at_ < text_.size() && (text_[at_] == '=' || text_[at_] == '>' || text_[at_] == '<'))
            return "two count conditions on one operand";
        return nullptr;
    }

    std::string_view text_;
    LogicalExpression& expression_;
    std::size_t at_ = 0;
    std::size_t operandCount_ = 0;
};

const char* LogicalExpression::Parse(std::string_view text, LogicalExpression& expression)
{
    const char* why = ExpressionReader(text, expression).Read();
    if (why != nullptr)
        expression = LogicalExpression{};
    return why;
}

LogicalExpression::Value LogicalExpression::Evaluate(const Node& node, const std::uint32_t* counts) const
{
    Value value{0, 0};
    if (!node.group) {
        value.number = counts[node.index];
        value.matched = value.number != 0 ? std::uint64_t{1} << node.index : 0;
    } else {
        // The last operand first: each operator joins its left operand with everything after it.
        const std::uint32_t last = node.first + node.count - 1;
        value = Evaluate(nodes_[operands_[last]], counts);
        for (std::uint32_t i = last; i-- > node.first;) {
            const Value left = Evaluate(nodes_[operands_[i]], counts);
            if (ops_[i] == '|' || (left.number != 0 && value.number != 0))
                value = {left.number + value.number, left.matched | value.matched};
            else
                value = {0, 0};
        }
    }
    if (node.condition == Condition::None)
        return value;
    bool holds = node.condition == Condition::Equal  ? value.number == node.times
                 : node.condition == Condition::More ? value.number > node.times
                                                     : value.number < node.times;
    // Y asks how many different sub-signatures a group's count came from; a single one has only itself.
    if (node.group)
        holds = holds && Popcount(value.matched) >= static_cast<int>(node.different);
    return holds ? Value{1, value.matched} : Value{0, 0};
}

bool LogicalExpression::Evaluate(const std::uint32_t* counts) const
{
    return !nodes_.empty() && Evaluate(nodes_[0], counts).number != 0;
}

} // namespace Substitute
