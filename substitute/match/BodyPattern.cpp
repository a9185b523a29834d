#include "substitute/match/BodyPattern.h"

#include <algorithm>
#include <cstring>

namespace Substitute {

namespace {

// Larger counts than this are refused before they can overflow anything.
constexpr std::uint64_t kMaxNumber = 1u << 30;

int Nibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsNibble(char c)
{
    return c == '?' || Nibble(c) >= 0;
}

// Reads a decimal number at text[at]; false when there is none or it is huge.
bool Number(std::string_view text, std::size_t& at, std::uint32_t& value)
{
    const std::size_t begin = at;
    std::uint64_t number = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        number = number * 10 + static_cast<unsigned>(text[at] - '0');
        if (number > kMaxNumber)
            return false;
        ++at;
    }
    value = static_cast<std::uint32_t>(number);
    return at != begin;
}

class PatternReader {
public:
    PatternReader(std::string_view text, BodyPattern& pattern) : text_(text), pattern_(pattern) {}

    const char* Read()
    {
        pattern_.parts.clear();
        while (at_ < text_.size()) {
            const char c = text_[at_];
            const char* why = c == '*'   ? Split(0, ++at_)
                              : c == '{' ? Braces()
                              : c == '[' ? Brackets()
                              : c == '(' ? Choices(false)
                              : c == '!' ? Negated()
                                         : Bytes();
            if (why != nullptr)
                return why;
        }
        if (const char* why = Close())
            return why;
        pattern_.parts.shrink_to_fit();
        return nullptr;
    }

private:
    const char* Split(std::uint32_t gap, std::size_t)
    {
        if (const char* why = Close())
            return why;
        gap_ = gap;
        return nullptr;
    }

    const char* Close()
    {
        if (part_.elements.empty())
            return "a gap at the pattern's edge";
        if (part_.elements.front().kind == BodyElement::Kind::Gap ||
            part_.elements.back().kind == BodyElement::Kind::Gap)
            return "a gap at the pattern's edge";
        part_.gapBefore = gap_;
        if (const char* why = Measure())
            return why;
        // Held for as long as the database: no room to grow.
        part_.elements.shrink_to_fit();
        part_.choices.shrink_to_fit();
        pattern_.parts.push_back(std::move(part_));
        part_ = BodyPart{};
        return nullptr;
    }

    // Lengths, and the longest run of fixed bytes as the fragment.
    const char* Measure()
    {
        std::uint64_t minLength = 0, maxLength = 0;
        std::size_t bestStart = 0, bestLength = 0, runStart = 0, runLength = 0;
        std::uint64_t runMin = 0, runMax = 0, bestMin = 0, bestMax = 0;
        for (std::size_t i = 0; i < part_.elements.size(); ++i) {
            const BodyElement& element = part_.elements[i];
            const bool fixed = element.kind == BodyElement::Kind::Byte && element.mask == 0xFF;
            if (fixed) {
                if (runLength == 0) {
                    runStart = i;
                    runMin = minLength;
                    runMax = maxLength;
                }
                if (++runLength > bestLength) {
                    bestStart = runStart;
                    bestLength = runLength;
                    bestMin = runMin;
                    bestMax = runMax;
                }
            } else {
                runLength = 0;
            }
            std::uint64_t low = 1, high = 1;
            if (element.kind == BodyElement::Kind::Gap) {
                low = element.low;
                high = element.high;
            } else if (element.kind == BodyElement::Kind::Choice) {
                low = ~0ull;
                high = 0;
                for (std::uint32_t c = element.low; c < element.low + element.high; ++c) {
                    low = std::min<std::uint64_t>(low, part_.choices[c].size());
                    high = std::max<std::uint64_t>(high, part_.choices[c].size());
                }
            } else if (element.kind == BodyElement::Kind::NotChoice) {
                low = high = part_.choices[element.low].size();
            }
            minLength += low;
            maxLength += high;
            if (maxLength > BodyPattern::kMaxPartLength)
                return "a part too long";
        }
        if (bestLength < BodyPattern::kMinFragment)
            return "no two fixed bytes in a row";
        const std::size_t take = std::min(bestLength, BodyPattern::kMaxFragment);
        for (std::size_t i = bestStart; i < bestStart + take; ++i)
            part_.fragment.push_back(static_cast<char>(part_.elements[i].value));
        part_.minLength = static_cast<std::uint32_t>(minLength);
        part_.maxLength = static_cast<std::uint32_t>(maxLength);
        part_.fragmentMin = static_cast<std::uint32_t>(bestMin);
        part_.fragmentMax = static_cast<std::uint32_t>(bestMax);
        return nullptr;
    }

    const char* Gap(std::uint32_t low, std::uint32_t high)
    {
        if (low > high)
            return "a range whose start is past its end";
        if (high > BodyPattern::kMaxGap)
            return "a range too long";
        if (part_.elements.empty())
            return "a gap at the pattern's edge";
        BodyElement gap;
        gap.kind = BodyElement::Kind::Gap;
        gap.low = static_cast<std::uint16_t>(low);
        gap.high = static_cast<std::uint16_t>(high);
        part_.elements.push_back(gap);
        return nullptr;
    }

    // {n} {-n} {n-} {n-m}
    const char* Braces()
    {
        ++at_;
        std::uint32_t low = 0, high = 0;
        const bool hasLow = Number(text_, at_, low);
        bool dash = false, hasHigh = false;
        if (at_ < text_.size() && text_[at_] == '-') {
            dash = true;
            ++at_;
            hasHigh = Number(text_, at_, high);
        }
        if (at_ >= text_.size() || text_[at_] != '}' || (!hasLow && !hasHigh))
            return "a malformed {} range";
        ++at_;
        if (!dash)
            return Gap(low, low);
        if (!hasHigh)
            return Split(low, at_);
        return Gap(hasLow ? low : 0, high);
    }

    // [n-m]
    const char* Brackets()
    {
        ++at_;
        std::uint32_t low = 0, high = 0;
        if (!Number(text_, at_, low) || at_ >= text_.size() || text_[at_++] != '-' || !Number(text_, at_, high) ||
            at_ >= text_.size() || text_[at_] != ']')
            return "a malformed [] range";
        ++at_;
        // One byte, then the range: the signature's offset names what follows it.
        if (pattern_.parts.empty() && part_.elements.size() == 1)
            part_.offsetElement = 2;
        return Gap(low, high);
    }

    const char* Negated()
    {
        ++at_;
        if (at_ >= text_.size() || text_[at_] != '(')
            return "unknown syntax";
        return Choices(true);
    }

    // (aa|bbcc|...) or !(aa|bb|...)
    const char* Choices(bool negated)
    {
        ++at_;
        BodyElement element;
        element.kind = negated ? BodyElement::Kind::NotChoice : BodyElement::Kind::Choice;
        element.low = static_cast<std::uint16_t>(part_.choices.size());
        std::string choice;
        for (;;) {
            if (at_ >= text_.size())
                return "unbalanced parentheses";
            const char c = text_[at_];
            if (c == '|' || c == ')') {
                if (choice.empty())
                    return "an empty alternative";
                if (negated && element.high != 0 && choice.size() != part_.choices[element.low].size())
                    return "negated alternatives of different lengths";
                if (part_.choices.size() >= BodyPattern::kMaxChoices)
                    return "too many alternatives";
                part_.choices.push_back(std::move(choice));
                choice.clear();
                ++element.high;
                ++at_;
                if (c == ')')
                    break;
                continue;
            }
            if (at_ + 1 >= text_.size() || Nibble(c) < 0 || Nibble(text_[at_ + 1]) < 0)
                return IsNibble(c) ? "an odd number of nibbles or a wildcard in an alternative" : "unknown syntax";
            choice.push_back(static_cast<char>(Nibble(c) << 4 | Nibble(text_[at_ + 1])));
            at_ += 2;
        }
        part_.elements.push_back(element);
        return nullptr;
    }

    const char* Bytes()
    {
        const char high = text_[at_];
        if (high == ')' || high == '|')
            return "unbalanced parentheses";
        if (!IsNibble(high))
            return "unknown syntax";
        if (at_ + 1 >= text_.size() || !IsNibble(text_[at_ + 1]))
            return "an odd number of nibbles";
        const char low = text_[at_ + 1];
        at_ += 2;
        BodyElement element;
        element.mask = static_cast<std::uint8_t>((high == '?' ? 0 : 0xF0) | (low == '?' ? 0 : 0x0F));
        element.value =
            static_cast<std::uint8_t>(((high == '?' ? 0 : Nibble(high)) << 4 | (low == '?' ? 0 : Nibble(low))));
        part_.elements.push_back(element);
        return nullptr;
    }

    std::string_view text_;
    BodyPattern& pattern_;
    std::size_t at_ = 0;
    BodyPart part_;
    std::uint32_t gap_ = 0;
};

} // namespace

const char* BodyPattern::Parse(std::string_view text, BodyPattern& pattern)
{
    const char* why = PatternReader(text, pattern).Read();
    if (why != nullptr)
        pattern.parts.clear();
    return why;
}

std::optional<std::size_t> BodyPart::MatchAt(const std::uint8_t* data, std::size_t size, std::size_t start,
                                             std::uint64_t offsetFirst, std::uint64_t offsetLast) const
{
    if (start > size)
        return std::nullopt;
    // Every end a prefix of the part can have, smallest first.
    thread_local std::vector<std::size_t> at, next;
    at.assign(1, start);
    for (std::size_t index = 0; index < elements.size(); ++index) {
        if (index == offsetElement) {
            at.erase(
                std::remove_if(at.begin(), at.end(), [&](std::size_t p) { return p < offsetFirst || p > offsetLast; }),
                at.end());
            if (at.empty())
                return std::nullopt;
        }
        const BodyElement& element = elements[index];
        next.clear();
        switch (element.kind) {
        case BodyElement::Kind::Byte:
            for (std::size_t p : at)
                if (p < size && (data[p] & element.mask) == element.value)
                    next.push_back(p + 1);
            break;
        case BodyElement::Kind::Gap:
            for (std::size_t p : at) {
                const std::size_t first = std::max(p + element.low, next.empty() ? 0 : next.back() + 1);
                const std::size_t last = std::min<std::size_t>(p + element.high, size);
                for (std::size_t q = first; q <= last; ++q)
                    next.push_back(q);
            }
            break;
        case BodyElement::Kind::Choice:
            for (std::size_t p : at)
                for (std::uint32_t c = element.low; c < element.low + element.high; ++c) {
                    const std::string& choice = choices[c];
                    if (choice.size() <= size - p && std::memcmp(data + p, choice.data(), choice.size()) == 0)
                        next.push_back(p + choice.size());
                }
            std::sort(next.begin(), next.end());
            next.erase(std::unique(next.begin(), next.end()), next.end());
            break;
        case BodyElement::Kind::NotChoice:
            for (std::size_t p : at) {
                const std::size_t width = choices[element.low].size();
                if (width > size - p)
                    continue;
                bool any = false;
                for (std::uint32_t c = element.low; c < element.low + element.high && !any; ++c)
                    any = std::memcmp(data + p, choices[c].data(), width) == 0;
                if (!any)
                    next.push_back(p + width);
            }
            break;
        }
        at.swap(next);
        if (at.empty())
            return std::nullopt;
    }
    return at.front();
}

} // namespace Substitute
