#include "substitute/match/BodyPattern.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "substitute/match/AlternativesReader.h"

namespace Substitute {

namespace {

// Larger counts than this in "[n-m]" are refused before they can overflow anything.
constexpr std::uint64_t kMaxNumber = 1u << 30;
// clamscan's prefilter reads at most this many elements of a part.
constexpr std::size_t kPrefilterElements = 255;

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

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads a decimal number at text[at]; false when there is none or it is huge.
bool Number(std::string_view text, std::size_t& at, std::uint32_t& value)
{
    const std::size_t begin = at;
    std::uint64_t number = 0;
    while (at < text.size() && IsDigit(text[at])) {
        number = number * 10 + static_cast<unsigned>(text[at] - '0');
        if (number > kMaxNumber)
            return false;
        ++at;
    }
    value = static_cast<std::uint32_t>(number);
    return at != begin;
}

// One number of a "{}" range: digits or nothing (0). clamscan reads it into
// a C int, as atoi does: a number wraps modulo 2^32, and one that then reads
// negative (2^31 or more), or that a long cannot hold, is refused. Null, or
// why not.
const char* Distance(std::string_view digits, std::uint32_t& value)
{
    constexpr std::uint64_t kMaxLong = 0x7FFFFFFFFFFFFFFFu;
    std::uint64_t number = 0;
    for (char c : digits) {
        if (!IsDigit(c))
            return "a malformed {} range";
        const unsigned digit = static_cast<unsigned>(c - '0');
        if (number > (kMaxLong - digit) / 10)
            return "a {} range beyond what clamscan reads";
        number = number * 10 + digit;
    }
    if ((number & 0xFFFFFFFFu) > BodyPattern::kMaxDistance)
        return "a {} range of 2^31 bytes or more, modulo 2^32";
    value = static_cast<std::uint32_t>(number & 0xFFFFFFFFu);
    return nullptr;
}

// The bytes clamscan takes for a word boundary before a match, after one,
// and where "(B)" stands for a byte of its own (either).
constexpr char kBoundaryBefore[] = " -./<@_";
constexpr char kBoundaryAfter[] = "\n\r \"'-/=>_";

bool OneOf(std::uint8_t byte, const char* set, std::size_t size)
{
    return std::memchr(set, byte, size) != nullptr;
}

bool IsAlphanumeric(std::uint8_t byte)
{
    return IsDigit(static_cast<char>(byte)) || (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
}

bool EdgeHolds(const BodyEdge& edge, bool inClass)
{
    return inClass != edge.negated;
}

// The byte before data + start; the file's start is of every class.
bool LeftHolds(const BodyEdge& edge, const std::uint8_t* data, std::size_t start, bool startsFile)
{
    if (start == 0)
        return startsFile && EdgeHolds(edge, true);
    const std::uint8_t before = data[start - 1];
    switch (edge.kind) {
    case ByteClass::Boundary:
        return EdgeHolds(edge, OneOf(before, kBoundaryBefore, sizeof kBoundaryBefore - 1));
    case ByteClass::Line:
        return EdgeHolds(edge, before == '\n');
    case ByteClass::Word:
        break;
    }
    return EdgeHolds(edge, !IsAlphanumeric(before));
}

// The bytes from data + end on ("\r\n" ends a line); the file's end is of every class.
bool RightHolds(const BodyEdge& edge, const std::uint8_t* data, std::size_t size, std::size_t end, bool endsFile)
{
    if (end >= size)
        return endsFile && EdgeHolds(edge, true);
    const std::uint8_t after = data[end];
    switch (edge.kind) {
    case ByteClass::Boundary:
        return EdgeHolds(edge, OneOf(after, kBoundaryAfter, sizeof kBoundaryAfter - 1));
    case ByteClass::Line:
        return EdgeHolds(edge, after == '\n' || (after == '\r' && end + 1 < size && data[end + 1] == '\n'));
    case ByteClass::Word:
        break;
    }
    return EdgeHolds(edge, !IsAlphanumeric(after));
}

// A choice is (value, mask) pairs.
bool ChoiceAt(const std::uint8_t* data, const std::string& choice)
{
    for (std::size_t i = 0; i + 1 < choice.size(); i += 2)
        if ((data[i / 2] & static_cast<std::uint8_t>(choice[i + 1])) != static_cast<std::uint8_t>(choice[i]))
            return false;
    return true;
}

bool IsFixed(const BodyElement& element)
{
    return element.kind == BodyElement::Kind::Byte && element.mask == 0xFF;
}

bool IsAnyByte(const BodyElement& element)
{
    return element.kind == BodyElement::Kind::Byte && element.mask == 0;
}

// Reads one part's text (no "{}" and no '*' left in it).
class PartReader {
public:
    PartReader(std::string_view text, BodyPart& part) : text_(text), part_(part) {}

    const char* Read()
    {
        if (text_.empty())
            return "a gap at the pattern's edge or two in a row";
        while (at_ < text_.size()) {
            const char c = text_[at_];
            const char* why = c == '['   ? Brackets()
                              : c == '(' ? Group(false)
                              : c == '!' ? Negated()
                                         : Bytes();
            if (why != nullptr)
                return why;
        }
        return Measure();
    }

private:
    // "aa[n-m]..." or "...[n-m]aa": a single byte at a part's edge, up to 32 bytes away.
    const char* Brackets()
    {
        const std::size_t open = at_++;
        std::uint32_t low = 0, high = 0;
        if (!Number(text_, at_, low) || at_ >= text_.size())
            return "a malformed [] range";
        high = low;
        if (text_[at_] == '-' && (++at_, !Number(text_, at_, high)))
            return "a malformed [] range";
        if (at_ >= text_.size() || text_[at_] != ']')
            return "a malformed [] range";
        ++at_;
        if (low > high)
            return "a range whose start is past its end";
        if (high > BodyPattern::kMaxAnchorGap)
            return "a [] range beyond 32 bytes";
        const bool leading = open == 2 && part_.elements.size() == 1;
        if (!leading && !ByteToEnd(text_.substr(at_)))
            return "a [] range not beside a single byte at a part's edge";
        if (leading) {
            afterLeading_ = at_;
            // One byte, then the range: the part starts, for clamscan, after it.
            part_.offsetElement = 2;
        } else {
            part_.trailingByte = true;
        }
        BodyElement gap;
        gap.kind = BodyElement::Kind::Gap;
        gap.low = static_cast<std::uint16_t>(low);
        gap.high = static_cast<std::uint16_t>(high);
        part_.elements.push_back(gap);
        return nullptr;
    }

    // Whether rest is one byte, to the text's end.
    static bool ByteToEnd(std::string_view rest)
    {
        return rest.size() == 2 && IsNibble(rest[0]) && IsNibble(rest[1]);
    }

    // Whether rest is "[n-m]aa", to the text's end.
    static bool RangeThenByte(std::string_view rest)
    {
        const std::size_t close = rest.find(']');
        return !rest.empty() && rest[0] == '[' && close != std::string_view::npos &&
               rest.substr(1, close - 1).find_first_not_of("0123456789-") == std::string_view::npos &&
               ByteToEnd(rest.substr(close + 1));
    }

    const char* Negated()
    {
        ++at_;
        if (at_ >= text_.size() || text_[at_] != '(')
            return "unknown syntax";
        return Group(true);
    }

    // (B) (L) (W), or alternatives (aa|bb??|c?dd|(ee|ff)00|...), either perhaps negated.
    const char* Group(bool negated)
    {
        const std::size_t open = at_;
        std::size_t close = open + 1, depth = 0, groups = 0;
        for (; close < text_.size() && (text_[close] != ')' || depth != 0); ++close) {
            groups += text_[close] == '(';
            depth += text_[close] == '(';
            depth -= text_[close] == ')';
        }
        if (close >= text_.size())
            return "unbalanced parentheses";
        const std::string_view inside = text_.substr(open + 1, close - open - 1);
        at_ = close + 1;
        if (groups > BodyPattern::kMaxInnerGroups)
            return "more than 15 groups within alternatives";
        if (inside == "B" || inside == "L" || inside == "W") {
            const ByteClass kind = inside == "B"   ? ByteClass::Boundary
                                   : inside == "L" ? ByteClass::Line
                                                   : ByteClass::Word;
            // At the text's very end, or its very start (a '!' before it is not
            // the start), it looks beside the part; elsewhere it is a byte.
            // "aa[n-m]" and "[n-m]aa" are not part of the text there.
            const bool right = at_ == text_.size() || RangeThenByte(text_.substr(at_));
            if (right || (!negated && open == afterLeading_)) {
                BodyEdge& edge = right ? part_.right : part_.left;
                edge.present = true;
                edge.negated = negated;
                edge.kind = kind;
                edge.at = static_cast<std::uint16_t>(part_.elements.size());
                return nullptr;
            }
            BodyElement element;
            element.kind = BodyElement::Kind::Class;
            element.value = static_cast<std::uint8_t>(kind);
            element.mask = negated ? 1 : 0;
            part_.elements.push_back(element);
            return nullptr;
        }
        return Alternatives(inside, negated);
    }

    const char* Alternatives(std::string_view inside, bool negated)
    {
        // clamscan compares alternatives as fixed strings when they hold no
        // group and no wildcard and, from the first that is not empty on,
        // are all of one length; it then takes no empty one. Any others it
        // tries one by one (AlternativesReader), and cannot negate.
        bool fixed = inside.find_first_of("(?") == std::string_view::npos;
        std::vector<std::string> texts;
        if (fixed) {
            for (std::size_t start = 0;;) {
                const std::size_t bar = std::min(inside.find('|', start), inside.size());
                texts.emplace_back(inside.substr(start, bar - start));
                if (bar == inside.size())
                    break;
                start = bar + 1;
            }
        } else if (const char* why = AlternativesReader(inside, texts).Read()) {
            return why;
        }
        std::size_t length = 0;
        bool empty = false;
        for (const std::string& text : texts) {
            empty |= text.empty();
            fixed &= length == 0 || text.size() == length;
            length = length == 0 ? text.size() : length;
        }
        if (fixed && empty)
            return "an empty alternative";
        if (negated && !fixed)
            return "a negated alternative with wildcards or of different lengths";
        BodyElement element;
        element.kind = negated ? BodyElement::Kind::NotChoice : BodyElement::Kind::Choice;
        element.low = static_cast<std::uint16_t>(part_.choices.size());
        for (const std::string& text : texts) {
            if (text.size() % 2 != 0)
                return "an odd number of nibbles in an alternative";
            std::string choice;
            for (std::size_t i = 0; i < text.size(); i += 2) {
                if (!IsNibble(text[i]) || !IsNibble(text[i + 1]))
                    return "unknown syntax";
                const std::uint8_t mask = static_cast<std::uint8_t>((text[i] == '?' ? 0 : 0xF0) |
                                                                    (text[i + 1] == '?' ? 0 : 0x0F));
                choice.push_back(static_cast<char>(((text[i] == '?' ? 0 : Nibble(text[i])) << 4 |
                                                    (text[i + 1] == '?' ? 0 : Nibble(text[i + 1]))) &
                                                   mask));
                choice.push_back(static_cast<char>(mask));
            }
            if (part_.choices.size() >= BodyPattern::kMaxChoices)
                return "too many alternatives";
            part_.choices.push_back(std::move(choice));
            ++element.high;
        }
        if (const char* why = Order(element))
            return why;
        part_.elements.push_back(element);
        return nullptr;
    }

    // Whether clamscan takes the one choice for the start of the other:
    // over the shorter one's length every byte could be the same, and not
    // each has a wildcard somewhere the other has a fixed nibble.
    static bool Overlap(const std::string& a, const std::string& b)
    {
        bool aWider = false, bWider = false;
        for (std::size_t i = 0; i + 1 < a.size() && i + 1 < b.size(); i += 2) {
            const auto va = static_cast<std::uint8_t>(a[i]), ma = static_cast<std::uint8_t>(a[i + 1]);
            const auto vb = static_cast<std::uint8_t>(b[i]), mb = static_cast<std::uint8_t>(b[i + 1]);
            if (((va ^ vb) & ma & mb) != 0)
                return false;
            aWider |= (mb & ~ma) != 0;
            bWider |= (ma & ~mb) != 0;
            if (aWider && bWider)
                return false;
        }
        return true;
    }

    // clamscan tries alternatives of different lengths in their order and
    // takes for good the first that matches unless another one of a
    // different length overlaps it (then it tries each in turn): such a
    // choice is marked with one more byte, and the element is ordered.
    const char* Order(BodyElement& element)
    {
        const auto first = part_.choices.begin() + element.low, last = first + element.high;
        std::vector<std::size_t> lengths;
        for (auto a = first; a != last; ++a)
            lengths.push_back(a->size());
        std::sort(lengths.begin(), lengths.end());
        // Pairs of choices of different lengths: all pairs, less those of one length.
        std::size_t pairs = lengths.size() * (lengths.size() - 1) / 2;
        for (std::size_t i = 0, j = 0; i < lengths.size(); i = j) {
            while (j < lengths.size() && lengths[j] == lengths[i])
                ++j;
            pairs -= (j - i) * (j - i - 1) / 2;
        }
        if (pairs == 0)
            return nullptr;
        if (pairs > BodyPattern::kMaxOrderedPairs)
            return "too many alternatives of different lengths";
        std::vector<bool> overlapped(element.high);
        for (auto a = first; a != last; ++a)
            for (auto b = first; b != a; ++b)
                if (a->size() != b->size() && Overlap(*a, *b))
                    overlapped[a - first] = overlapped[b - first] = true;
        for (auto a = first; a != last; ++a)
            if (!overlapped[a - first])
                a->push_back(BodyPart::kDecisive);
        element.value = BodyElement::kOrdered;
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

    // Whether clamscan's alternatives of this element are of single fixed bytes.
    bool SingleBytes(const BodyElement& element) const
    {
        for (std::uint32_t c = element.low; c < element.low + element.high; ++c)
            if (part_.choices[c].size() != 2 || static_cast<std::uint8_t>(part_.choices[c][1]) != 0xFF)
                return false;
        return true;
    }

    // An anchor byte, or alternatives of more than single fixed bytes: what
    // clamscan's prefilter cannot read.
    bool Unreadable(const BodyElement& element) const
    {
        return element.kind == BodyElement::Kind::Class ||
               ((element.kind == BodyElement::Kind::Choice || element.kind == BodyElement::Kind::NotChoice) &&
                !SingleBytes(element));
    }

    // clamscan refuses a part whose prefilter finds, after the unreadable
    // elements at its start, fewer than two readable ones before the next
    // unreadable one, or only "????" pairs among them. "aa[n-m]" and
    // "[n-m]aa" stand apart from the part there.
    const char* Prefilterable() const
    {
        const std::vector<BodyElement>& all = part_.elements;
        std::size_t begin = 0, end = all.size();
        if (end >= 2 && all[1].kind == BodyElement::Kind::Gap)
            begin = 2;
        if (end >= begin + 2 && all[end - 2].kind == BodyElement::Kind::Gap)
            end -= 2;
        if (end < begin + 2)
            return "a part shorter than two bytes";
        const std::size_t limit = std::min(end, begin + kPrefilterElements);
        if (std::all_of(all.begin() + begin, all.begin() + limit, IsFixed))
            return nullptr;
        std::size_t first = begin;
        while (first < end && Unreadable(all[first]))
            ++first;
        std::size_t last = first;
        while (last < limit && !Unreadable(all[last]))
            ++last;
        if (last < first + 2)
            return "an anchor or alternative next to a part's first byte";
        for (std::size_t i = first; i + 1 < last; ++i)
            if (!IsAnyByte(all[i]) || !IsAnyByte(all[i + 1]))
                return nullptr;
        return "nothing but \"??\" before an anchor or alternative";
    }

    // clamscan's anchor (BodyPart::anchorElement): of the runs of up to
    // three fixed bytes, the first longest one found scanning forward, where
    // one of its first two bytes is not zero if any such run is found.
    std::uint32_t Anchor() const
    {
        const std::vector<BodyElement>& all = part_.elements;
        const std::size_t begin = part_.offsetElement;
        const std::size_t length = (part_.trailingByte ? all.size() - 2 : all.size()) - begin;
        constexpr std::size_t kLongest = 3, kShortest = 2;
        const auto wild = [&](std::size_t i) { return !IsFixed(all[begin + i]); };
        const auto nonzero = [&](std::size_t i) { return i < length && (wild(i) || all[begin + i].value != 0); };
        bool wildcard = false, zeros = true;
        for (std::size_t i = 0; i < kLongest && i < length && !wildcard; ++i) {
            wildcard = wild(i);
            zeros &= wildcard || !nonzero(i);
        }
        if (!(wildcard || zeros) || length < kShortest)
            return static_cast<std::uint32_t>(begin);
        std::size_t run = 0, at = 0, nonzeroRun = 0, nonzeroAt = 0;
        for (std::size_t i = 0; i + kShortest <= length; ++i) {
            for (std::size_t j = i; j < i + kLongest && j < length && !wild(j); ++j) {
                if (j - i + 1 >= run) {
                    run = j - i + 1;
                    at = i;
                }
                if (nonzero(at) || nonzero(at + 1)) {
                    if (run >= kLongest)
                        break;
                    if (run >= kShortest && run > nonzeroRun) {
                        nonzeroRun = run;
                        nonzeroAt = at;
                    }
                }
            }
            if (run >= kLongest && (nonzero(at) || nonzero(at + 1)))
                break;
        }
        if (nonzeroRun != 0 && !nonzero(at) && at + 1 < length && !nonzero(at + 1))
            at = nonzeroAt;
        return static_cast<std::uint32_t>(begin + at);
    }

    // Lengths, and the longest run of fixed bytes as the fragment.
    const char* Measure()
    {
        if (const char* why = Prefilterable())
            return why;
        part_.anchorElement = Anchor();
        // At the file's edges clamscan may leave unread what lies before its
        // anchor, and after it, from where that varies in length on
        // (BodyPart::MatchAt): the fragment is then one that it reads.
        std::size_t readFrom = 0, readTo = part_.elements.size();
        for (std::size_t i = 0; i < part_.elements.size(); ++i) {
            if (part_.elements[i].kind != BodyElement::Kind::Choice || part_.elements[i].value != BodyElement::kOrdered)
                continue;
            if (i < part_.anchorElement && part_.offsetElement == 0)
                readFrom = part_.anchorElement;
            if (i >= part_.anchorElement && !part_.trailingByte)
                readTo = std::min(readTo, i);
            part_.firstWay = true;
        }
        std::uint64_t minLength = 0, maxLength = 0;
        std::size_t bestStart = 0, bestLength = 0, runStart = 0, runLength = 0;
        std::uint64_t runMin = 0, runMax = 0, bestMin = 0, bestMax = 0;
        for (std::size_t i = 0; i < part_.elements.size(); ++i) {
            const BodyElement& element = part_.elements[i];
            if (IsFixed(element) && i >= readFrom && i < readTo) {
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
                    low = std::min<std::uint64_t>(low, part_.choices[c].size() / 2);
                    high = std::max<std::uint64_t>(high, part_.choices[c].size() / 2);
                }
            } else if (element.kind == BodyElement::Kind::NotChoice) {
                low = high = part_.choices[element.low].size() / 2;
            }
            minLength += low;
            maxLength += high;
            if (maxLength > BodyPattern::kMaxPartLength)
                return "a part too long";
        }
        if (bestLength < BodyPattern::kMinFragment)
            return "no two fixed bytes in a row";
        const std::size_t take = std::min(bestLength, BodyPattern::kMaxFragment);
        // In a run longer than a fragment, the window with the fewest 00 and
        // FF bytes: a fragment of padding would be found at every byte of a
        // file's zeros (wide strings and images are full of them), and each
        // find costs a check.
        std::size_t shift = 0, fewest = take + 1;
        for (std::size_t at = 0; at + take <= bestLength; ++at) {
            std::size_t common = 0;
            for (std::size_t i = bestStart + at; i < bestStart + at + take; ++i)
                common += part_.elements[i].value == 0x00 || part_.elements[i].value == 0xFF;
            if (common < fewest) {
                fewest = common;
                shift = at;
            }
        }
        for (std::size_t i = bestStart + shift; i < bestStart + shift + take; ++i)
            part_.fragment.push_back(static_cast<char>(part_.elements[i].value));
        part_.minLength = static_cast<std::uint32_t>(minLength);
        part_.maxLength = static_cast<std::uint32_t>(maxLength);
        part_.fragmentMin = static_cast<std::uint32_t>(bestMin + shift);
        part_.fragmentMax = static_cast<std::uint32_t>(bestMax + shift);
        part_.plain = take == part_.elements.size() && !part_.left.present && !part_.right.present;
        // Held for as long as the database: no room to grow.
        part_.elements.shrink_to_fit();
        part_.choices.shrink_to_fit();
        return nullptr;
    }

    std::string_view text_;
    BodyPart& part_;
    std::size_t at_ = 0;
    std::size_t afterLeading_ = 0; // where the text starts after "aa[n-m]", if any
};

// clamscan reads "{n}" with n from 1 to 127 as n "??", for as long as the
// first range left in the text has that form; it reads n as scanf does, so
// that spaces and a '+' may come before it ("{ 3}", "{+3}"), and nothing
// after it.
const char* ExpandShortRanges(std::string_view text, std::string& out)
{
    out.assign(text);
    for (;;) {
        const std::size_t open = out.find('{');
        if (open == std::string::npos)
            return nullptr;
        std::size_t at = open + 1;
        while (at < out.size() && (out[at] == ' ' || (out[at] >= '\t' && out[at] <= '\r')))
            ++at;
        if (at < out.size() && out[at] == '+')
            ++at;
        const std::size_t digits = at;
        unsigned count = 0;
        for (; at < out.size() && IsDigit(out[at]); ++at)
            count = std::min(count * 10 + static_cast<unsigned>(out[at] - '0'), 128u);
        if (at == digits || at == out.size() || out[at] != '}' || count == 0 || count >= 128)
            return nullptr;
        if (out.size() > text.size() + 2 * BodyPattern::kMaxPartLength)
            return "a part too long";
        out.replace(open, at - open + 1, std::string(2 * count, '?'));
    }
}

// Divides the text into parts at '*' and at every "{}" range left.
class PatternReader {
public:
    PatternReader(std::string_view text, BodyPattern& pattern) : text_(text), pattern_(pattern) {}

    const char* Read()
    {
        pattern_.parts.clear();
        std::string text;
        if (const char* why = ExpandShortRanges(text_, text))
            return why;
        std::uint32_t gapMin = 0, gapMax = BodyPart::kUnbounded;
        std::size_t partStart = 0, depth = 0;
        for (std::size_t at = 0; at < text.size(); ++at) {
            const char c = text[at];
            depth += c == '(';
            depth -= c == ')' && depth > 0;
            if (c != '{' && c != '*')
                continue;
            if (depth > 0)
                return c == '*' ? "a '*' within alternatives" : "a {} range within alternatives";
            if (const char* why = Add(std::string_view(text).substr(partStart, at - partStart), gapMin, gapMax))
                return why;
            if (c == '*') {
                gapMin = 0;
                gapMax = BodyPart::kUnbounded;
                partStart = at + 1;
                continue;
            }
            const std::size_t close = text.find('}', at);
            if (close == std::string::npos)
                return "a malformed {} range";
            if (const char* why = Range(std::string_view(text).substr(at + 1, close - at - 1), gapMin, gapMax))
                return why;
            partStart = close + 1;
            at = close;
        }
        if (const char* why = Add(std::string_view(text).substr(partStart), gapMin, gapMax))
            return why;
        pattern_.parts.shrink_to_fit();
        return nullptr;
    }

private:
    // n, -n, n-, n-m: fewest and most bytes, the most 0 (or left out) for
    // no most, as clamscan reads it: its numbers lie between runs of '-'
    // ("3--5-" is 3 to 5, "--5" 0 to 5), and a third one is refused.
    static const char* Range(std::string_view inside, std::uint32_t& gapMin, std::uint32_t& gapMax)
    {
        const std::size_t dash = inside.find('-');
        std::uint32_t low = 0, high = 0;
        if (dash == std::string_view::npos) {
            if (const char* why = Distance(inside, low))
                return why;
            high = low;
        } else {
            const std::size_t second = std::min(inside.find_first_not_of('-', dash), inside.size());
            const std::size_t after = std::min(inside.find('-', second), inside.size());
            if (inside.find_first_not_of('-', after) != std::string_view::npos)
                return "a malformed {} range";
            if (const char* why = Distance(inside.substr(0, dash), low))
                return why;
            if (const char* why = Distance(inside.substr(second, after - second), high))
                return why;
        }
        gapMin = low;
        gapMax = high == 0 ? BodyPart::kUnbounded : high;
        return nullptr;
    }

    const char* Add(std::string_view text, std::uint32_t gapMin, std::uint32_t gapMax)
    {
        BodyPart part;
        part.gapMin = gapMin;
        part.gapMax = gapMax;
        if (const char* why = PartReader(text, part).Read())
            return why;
        pattern_.parts.push_back(std::move(part));
        return nullptr;
    }

    std::string_view text_;
    BodyPattern& pattern_;
};

} // namespace

const char* BodyPattern::Parse(std::string_view text, BodyPattern& pattern)
{
    const char* why = PatternReader(text, pattern).Read();
    if (why != nullptr)
        pattern.parts.clear();
    return why;
}

bool BodyPattern::InClass(ByteClass kind, std::uint8_t byte)
{
    switch (kind) {
    case ByteClass::Boundary:
        return OneOf(byte, kBoundaryBefore, sizeof kBoundaryBefore - 1) ||
               OneOf(byte, kBoundaryAfter, sizeof kBoundaryAfter - 1);
    case ByteClass::Line:
        return byte == '\n';
    case ByteClass::Word:
        break;
    }
    return !IsAlphanumeric(byte);
}

std::size_t BodyPart::MinLength(std::size_t first, std::size_t last) const
{
    std::size_t length = 0;
    for (std::size_t index = first; index < last; ++index) {
        const BodyElement& element = elements[index];
        std::size_t fewest = element.kind == BodyElement::Kind::Gap ? element.low : 1;
        if (element.kind == BodyElement::Kind::Choice || element.kind == BodyElement::Kind::NotChoice) {
            fewest = choices[element.low].size() / 2;
            for (std::uint32_t c = element.low; c < element.low + element.high; ++c)
                fewest = std::min(fewest, choices[c].size() / 2);
        }
        length += fewest;
    }
    return length;
}

std::optional<std::size_t> BodyPart::Step(const BodyElement& element, const std::uint8_t* data, std::size_t size,
                                          std::size_t at) const
{
    switch (element.kind) {
    case BodyElement::Kind::Byte:
        if (at < size && (data[at] & element.mask) == element.value)
            return at + 1;
        break;
    case BodyElement::Kind::Class:
        if (at < size && BodyPattern::InClass(static_cast<ByteClass>(element.value), data[at]) != (element.mask != 0))
            return at + 1;
        break;
    case BodyElement::Kind::Choice:
    case BodyElement::Kind::NotChoice: {
        const std::size_t width = choices[element.low].size() / 2;
        bool any = false;
        for (std::uint32_t c = element.low; c < element.low + element.high && !any && width <= size - at; ++c)
            any = ChoiceAt(data + at, choices[c]);
        if (width <= size - at && any == (element.kind == BodyElement::Kind::Choice))
            return at + width;
        break;
    }
    case BodyElement::Kind::Gap:
        break;
    }
    return std::nullopt;
}

std::optional<std::size_t> BodyPart::FirstStart(const std::uint8_t* data, std::size_t anchor, bool startsFile) const
{
    if (anchor < MinLength(offsetElement, anchorElement))
        return std::nullopt;
    // Where the part starts for clamscan: its left edge and the byte
    // "aa[n-m]" leads from hold there.
    const auto starts = [&](std::size_t start) {
        if (left.present && !LeftHolds(left, data, start, startsFile))
            return false;
        if (offsetElement == 0)
            return true;
        const BodyElement& byte = elements[0];
        const BodyElement& gap = elements[1];
        for (std::size_t skipped = gap.low; skipped <= gap.high && skipped < start; ++skipped)
            if ((data[start - 1 - skipped] & byte.mask) == byte.value)
                return true;
        return false;
    };
    // Depth first, as clamscan goes back, like FirstEnd.
    struct Frame {
        std::size_t index, at;
        std::uint32_t next;
    };
    std::vector<Frame> frames;
    std::unordered_set<std::uint64_t> failed;
    const auto key = [](std::size_t index, std::size_t at) { return std::uint64_t{index} << 32 | at; };
    std::size_t index = anchorElement, at = anchor;
    for (;;) {
        for (;;) {
            // All read, or (at the file's first byte) all clamscan reads.
            if (index == offsetElement || (startsFile && offsetElement == 0 && at == 0 && index < anchorElement)) {
                if (starts(at))
                    return at;
                break;
            }
            const BodyElement& element = elements[index - 1];
            if (element.kind == BodyElement::Kind::Choice && element.value == BodyElement::kOrdered) {
                if (failed.count(key(index, at)) == 0)
                    frames.push_back({index, at, element.low});
                break;
            }
            const std::size_t width =
                element.kind == BodyElement::Kind::Choice || element.kind == BodyElement::Kind::NotChoice
                    ? choices[element.low].size() / 2
                    : 1;
            if (width > at || !Step(element, data, at, at - width))
                break;
            at -= width;
            --index;
        }
        for (;;) {
            if (frames.empty())
                return std::nullopt;
            Frame& frame = frames.back();
            const BodyElement& element = elements[frame.index - 1];
            const std::uint32_t last = element.low + element.high;
            bool taken = false;
            while (frame.next < last && !taken) {
                const std::string& choice = choices[frame.next++];
                // Read back, an empty choice never matches in clamscan.
                if (choice.size() < 2 || choice.size() / 2 > frame.at ||
                    !ChoiceAt(data + frame.at - choice.size() / 2, choice))
                    continue;
                if (Decisive(choice))
                    frame.next = last;
                index = frame.index - 1;
                at = frame.at - choice.size() / 2;
                taken = true;
            }
            if (taken)
                break;
            failed.insert(key(frame.index, frame.at));
            frames.pop_back();
        }
    }
}

std::optional<std::size_t> BodyPart::FirstEnd(const std::uint8_t* data, std::size_t size, std::size_t anchor,
                                              bool endsFile) const
{
    const std::size_t stop = trailingByte ? elements.size() - 2 : elements.size();
    // Reading on, clamscan stops at the file's last byte, the elements after
    // unread, once the fewest bytes from the anchor on fit in the file.
    if (endsFile && anchor + MinLength(anchorElement, stop) > size)
        return std::nullopt;
    // Where the part ends for clamscan: the part's right edge and the byte
    // "[n-m]aa" leads to hold there.
    const auto ends = [&](std::size_t end) {
        if (right.present && !RightHolds(right, data, size, end, endsFile))
            return false;
        if (!trailingByte)
            return true;
        const BodyElement& gap = elements[stop];
        const BodyElement& byte = elements[stop + 1];
        for (std::size_t q = end + gap.low; q <= end + gap.high && q < size; ++q)
            if ((data[q] & byte.mask) == byte.value)
                return true;
        return false;
    };
    // Depth first, as clamscan goes: a frame per ordered element entered,
    // with the next of its choices to try; an element entered in vain at a
    // place is not entered there again.
    struct Frame {
        std::size_t index, at;
        std::uint32_t next;
    };
    std::vector<Frame> frames;
    std::unordered_set<std::uint64_t> failed;
    const auto key = [](std::size_t index, std::size_t at) { return std::uint64_t{index} << 32 | at; };
    std::size_t index = anchorElement, at = anchor;
    for (;;) {
        // On through the elements that leave one way, to the next ordered one.
        for (;;) {
            if (index == stop || (endsFile && at == size)) {
                if (ends(at))
                    return at;
                break;
            }
            const BodyElement& element = elements[index];
            if (element.kind == BodyElement::Kind::Choice && element.value == BodyElement::kOrdered) {
                if (failed.count(key(index, at)) == 0)
                    frames.push_back({index, at, element.low});
                break;
            }
            const auto next = Step(element, data, size, at);
            if (!next)
                break;
            at = *next;
            ++index;
        }
        // The innermost element's next choice that matches; a decisive one is its last.
        for (;;) {
            if (frames.empty())
                return std::nullopt;
            Frame& frame = frames.back();
            const BodyElement& element = elements[frame.index];
            const std::uint32_t last = element.low + element.high;
            bool taken = false;
            while (frame.next < last && !taken) {
                const std::string& choice = choices[frame.next++];
                if (choice.size() / 2 > size - frame.at || !ChoiceAt(data + frame.at, choice))
                    continue;
                if (Decisive(choice))
                    frame.next = last;
                index = frame.index + 1;
                at = frame.at + choice.size() / 2;
                taken = true;
            }
            if (taken)
                break;
            failed.insert(key(frame.index, frame.at));
            frames.pop_back();
        }
    }
}

std::optional<std::size_t> BodyPart::MatchAt(const std::uint8_t* data, std::size_t size, std::size_t start,
                                             bool startsFile, bool endsFile, std::uint64_t offsetFirst,
                                             std::uint64_t offsetLast, std::vector<std::size_t>* ends) const
{
    if (start > size)
        return std::nullopt;
    // Every end a prefix of the part can have, smallest first.
    thread_local std::vector<std::size_t> at, next, starts;
    at.assign(1, start);
    const std::size_t stop = trailingByte ? elements.size() - 2 : elements.size();
    // Up to the anchor, every way is followed; from there, the one clamscan
    // takes (FirstStart, FirstEnd). Reading back, it stops at the file's
    // first byte: any element before the anchor may start there.
    const bool cutByStart = firstWay && startsFile && start == 0 && offsetElement == 0;
    for (std::size_t index = 0;; ++index) {
        if (cutByStart && index > 0 && index < anchorElement && (at.empty() || at.front() != 0))
            at.insert(at.begin(), 0);
        if (index == offsetElement) {
            at.erase(
                std::remove_if(at.begin(), at.end(), [&](std::size_t p) { return p < offsetFirst || p > offsetLast; }),
                at.end());
            starts = at;
        }
        if (left.present && index == left.at)
            at.erase(std::remove_if(at.begin(), at.end(),
                                    [&](std::size_t p) { return !LeftHolds(left, data, p, startsFile); }),
                     at.end());
        if (right.present && index == right.at)
            at.erase(std::remove_if(at.begin(), at.end(),
                                    [&](std::size_t p) { return !RightHolds(right, data, size, p, endsFile); }),
                     at.end());
        if (at.empty())
            return std::nullopt;
        if (index == stop)
            break;
        if (firstWay && index == anchorElement) {
            // Each anchor is one match for clamscan, from where its first way
            // back starts (one of this start's) to where its first way on ends.
            next.clear();
            for (std::size_t anchor : at) {
                const auto first = FirstStart(data, anchor, startsFile);
                if (!first || !std::binary_search(starts.begin(), starts.end(), *first))
                    continue;
                if (const auto end = FirstEnd(data, size, anchor, endsFile))
                    next.push_back(*end);
            }
            if (next.empty())
                return std::nullopt;
            std::sort(next.begin(), next.end());
            next.erase(std::unique(next.begin(), next.end()), next.end());
            if (ends != nullptr)
                ends->insert(ends->end(), next.begin(), next.end());
            return next.front();
        }
        const BodyElement& element = elements[index];
        next.clear();
        switch (element.kind) {
        case BodyElement::Kind::Byte:
            for (std::size_t p : at)
                if (p < size && (data[p] & element.mask) == element.value)
                    next.push_back(p + 1);
            break;
        case BodyElement::Kind::Class:
            for (std::size_t p : at)
                if (p < size &&
                    BodyPattern::InClass(static_cast<ByteClass>(element.value), data[p]) != (element.mask != 0))
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
                    if (choice.size() / 2 <= size - p && ChoiceAt(data + p, choice))
                        next.push_back(p + choice.size() / 2);
                }
            std::sort(next.begin(), next.end());
            next.erase(std::unique(next.begin(), next.end()), next.end());
            break;
        case BodyElement::Kind::NotChoice:
            for (std::size_t p : at) {
                const std::size_t width = choices[element.low].size() / 2;
                if (width > size - p)
                    continue;
                bool any = false;
                for (std::uint32_t c = element.low; c < element.low + element.high && !any; ++c)
                    any = ChoiceAt(data + p, choices[c]);
                if (!any)
                    next.push_back(p + width);
            }
            break;
        }
        at.swap(next);
    }
    if (trailingByte) {
        // The byte the range leads to, from each end on.
        const BodyElement& gap = elements[stop];
        const BodyElement& byte = elements[stop + 1];
        at.erase(std::remove_if(at.begin(), at.end(),
                                [&](std::size_t p) {
                                    for (std::size_t q = p + gap.low; q <= p + gap.high && q < size; ++q)
                                        if ((data[q] & byte.mask) == byte.value)
                                            return false;
                                    return true;
                                }),
                 at.end());
        if (at.empty())
            return std::nullopt;
    }
    if (ends != nullptr)
        ends->insert(ends->end(), at.begin(), at.end());
    return at.front();
}

} // namespace Substitute
