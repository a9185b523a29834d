// Body signatures: their lines, and the automaton's matches against a matcher
// that reads the pattern text itself, byte by byte, with no fragments, no
// windows and no chunks.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "substitute/match/BodyScanner.h"
#include "substitute/match/BodySignature.h"
#include "substitute/match/BodySignatureSet.h"

using namespace Substitute;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The reference: does pattern text[p..] match data from d on?
class NaiveMatcher {
public:
    NaiveMatcher(const std::string& text, const Bytes& data) : text_(text), data_(data) {}

    bool From(std::size_t p, std::size_t d) const
    {
        if (p == text_.size())
            return true;
        const char c = text_[p];
        if (c == '*')
            return Gap(p + 1, d, 0, data_.size());
        if (c == '{' || c == '[') {
            const std::size_t close = text_.find(c == '{' ? '}' : ']', p);
            const std::string inside = text_.substr(p + 1, close - p - 1);
            const std::size_t dash = inside.find('-');
            if (dash == std::string::npos)
                return Gap(close + 1, d, std::stoul(inside), std::stoul(inside));
            const std::size_t low = dash == 0 ? 0 : std::stoul(inside.substr(0, dash));
            const std::size_t high = dash + 1 == inside.size() ? data_.size() : std::stoul(inside.substr(dash + 1));
            return Gap(close + 1, d, low, high);
        }
        if (c == '(' || c == '!') {
            const std::size_t open = c == '!' ? p + 1 : p;
            const std::size_t close = text_.find(')', open);
            std::vector<Bytes> choices(1);
            for (std::size_t q = open + 1; q < close; q += 2) {
                if (text_[q] == '|') {
                    choices.emplace_back();
                    --q;
                    continue;
                }
                choices.back().push_back(static_cast<std::uint8_t>(std::stoul(text_.substr(q, 2), nullptr, 16)));
            }
            const auto equal = [&](const Bytes& choice) {
                return d + choice.size() <= data_.size() && std::equal(choice.begin(), choice.end(), data_.begin() + d);
            };
            if (c == '(') {
                for (const Bytes& choice : choices)
                    if (equal(choice) && From(close + 1, d + choice.size()))
                        return true;
                return false;
            }
            for (const Bytes& choice : choices)
                if (equal(choice))
                    return false;
            return d + choices[0].size() <= data_.size() && From(close + 1, d + choices[0].size());
        }
        if (d >= data_.size())
            return false;
        const auto nibble = [](char h, int v) { return h == '?' || std::stoi(std::string(1, h), nullptr, 16) == v; };
        return nibble(text_[p], data_[d] >> 4) && nibble(text_[p + 1], data_[d] & 15) && From(p + 2, d + 1);
    }

private:
    bool Gap(std::size_t p, std::size_t d, std::size_t low, std::size_t high) const
    {
        for (std::size_t k = low; k <= high && d + k <= data_.size(); ++k)
            if (From(p, d + k))
                return true;
        return false;
    }

    const std::string& text_;
    const Bytes& data_;
};

std::string Repeated(const std::string& text, std::size_t times)
{
    std::string all;
    while (times-- != 0)
        all += text;
    return all;
}

std::string Hex(std::uint8_t byte)
{
    static const char digits[] = "0123456789abcdef";
    return {digits[byte >> 4], digits[byte & 15]};
}

// A pattern cut from the data, with every kind of element thrown in; gaps
// skip the data's bytes they stand for.
std::string RandomPattern(std::mt19937& random, const Bytes& data, std::size_t at)
{
    const auto pick = [&](unsigned n) { return static_cast<unsigned>(random() % n); };
    const auto any = [&] { return Hex(static_cast<std::uint8_t>(random())); };
    std::string text;
    const unsigned length = 4 + pick(40);
    const unsigned spoilt = pick(4) == 0 ? pick(length) : length; // one byte that is not the data's
    for (unsigned i = 0; i < length && at + 6 < data.size(); ++i, ++at) {
        const std::string hex = i == spoilt ? any() : Hex(data[at]);
        const std::string next = Hex(data[at + 1]);
        unsigned gap = pick(4);
        // clang-format off
        switch (pick(24)) {
        case 0: text += "??"; break;
        case 1: text += std::string(1, hex[0]) + "?"; break;
        case 2: text += "?" + std::string(1, hex[1]); break;
        case 3: text += "(" + any() + "|" + hex + ")"; break;
        case 4: text += "(" + hex + next + "|" + hex + ")"; break;
        case 5: text += "!(" + any() + "|" + any() + ")"; break;
        case 6: text += hex + "*"; break;
        case 7: text += hex + "{" + std::to_string(gap) + "}"; break;
        case 8: text += hex + "{-" + std::to_string(gap + pick(2)) + "}"; break;
        case 9: text += hex + "{" + std::to_string(gap - pick(gap + 1)) + "-" + std::to_string(gap + pick(3)) + "}"; break;
        case 10: text += hex + "{" + std::to_string(gap + 1 - pick(gap + 2)) + "-}"; break; // at times too long
        case 11: text += hex + "[" + std::to_string(gap - pick(gap + 1)) + "-" + std::to_string(gap + pick(2)) + "]"; break;
        default: text += hex; gap = 0; break;
        }
        // clang-format on
        if (text.back() == '?' || text.back() == ')')
            gap = 0;
        at += gap;
    }
    return text + Hex(data[at]) + Hex(data[at + 1]); // never a gap at the end
}

// Mostly near where the pattern was cut, sometimes anywhere.
std::string RandomOffset(std::mt19937& random, std::size_t size, std::size_t at)
{
    const std::size_t near = random() % 3 == 0 ? random() % size : at - std::min<std::size_t>(at, random() % 3);
    switch (random() % 4) {
    case 0:
        return std::to_string(near);
    case 1:
        return std::to_string(near) + "," + std::to_string(random() % 8);
    case 2:
        return "EOF-" + std::to_string(size - near) + (random() % 2 ? ",2" : "");
    default:
        return "*";
    }
}

bool NaiveMatches(const std::string& offset, const std::string& text, const Bytes& data)
{
    std::size_t first = 0, last = data.size();
    if (offset != "*") {
        const std::size_t comma = offset.find(',');
        const std::size_t shift = comma == std::string::npos ? 0 : std::stoul(offset.substr(comma + 1));
        const bool fromEnd = offset.rfind("EOF-", 0) == 0;
        const std::size_t n = std::stoul(offset.substr(fromEnd ? 4 : 0, comma));
        if (fromEnd && n > data.size())
            return false;
        first = fromEnd ? data.size() - n : n;
        last = first + shift;
    }
    const NaiveMatcher matcher(text, data);
    // "aa[n-m]...": the offset names where "..." starts.
    if (text.size() > 2 && text[2] == '[') {
        const std::size_t close = text.find(']');
        const std::string range = text.substr(3, close - 3);
        const std::size_t low = std::stoul(range), high = std::stoul(range.substr(range.find('-') + 1));
        const std::string byte = text.substr(0, 2), rest = text.substr(close + 1);
        const NaiveMatcher head(byte, data), tail(rest, data);
        for (std::size_t at = first; at <= last && at < data.size(); ++at)
            for (std::size_t gap = low; gap <= high && gap < at; ++gap)
                if (head.From(0, at - gap - 1) && tail.From(0, at))
                    return true;
        return false;
    }
    for (std::size_t start = first; start <= last && start < data.size(); ++start)
        if (matcher.From(0, start))
            return true;
    return false;
}

// Feeds data in pieces of random length and returns the signature found.
std::optional<std::uint32_t> Scan(const BodySignatureSet& set, const Bytes& data, std::mt19937& random,
                                  const PeSections& layout = {})
{
    BodyScanner scanner;
    scanner.Begin(set, layout, data.size());
    for (std::size_t at = 0; at < data.size();) {
        const std::size_t piece = std::min<std::size_t>(1 + random() % 40, data.size() - at);
        scanner.Feed(data.data() + at, piece);
        at += piece;
    }
    return scanner.End();
}

} // namespace

TEST(BodySignatures, BadLinesAreSkippedWithTheirReasonAndNothingMatchesEverything)
{
    struct Row {
        std::string line;
        LineStatus status;
    } rows[] = {
        {"Win.Trojan.A-1:0:*:41424344", LineStatus::Signature},
        {"Win.Trojan.A-1:1:EP+4,8:4142{2-5}43(44|4546)!(00|01)a?[1-3]ee:51:255", LineStatus::Signature},
        {"A:1:S2+16:4142*4344{5-}4546", LineStatus::Signature},
        {"A:1:SE1:4142", LineStatus::Signature},
        {"A:0:EOF-10:4142", LineStatus::Signature},
        {"# a comment", LineStatus::Blank},
        {"A:0:*:4142:214", LineStatus::OtherLevel},
        {"A:0:*:4142:1:212", LineStatus::OtherLevel},
        {"A:3:*:4142", LineStatus::OtherLevel},    // an HTML target: not read
        {"A:0:*:41(42|43", LineStatus::Malformed}, // unbalanced parentheses
        {"A:0:*:4142)", LineStatus::Malformed},
        {"A:0:*:414", LineStatus::Malformed},                // odd nibble count
        {"A:0:*:4142{5-3}43", LineStatus::Malformed},        // n > m
        {"A:0:*:4142{0-100000}4344", LineStatus::Malformed}, // huge range
        {"A:0:*:4142{99999999999}4344", LineStatus::Malformed},
        {"A:0:*:41(42|)43", LineStatus::Malformed},                               // empty alternative
        {"A:0:*:4142(" + Repeated("43|", 0xFFFF) + "44)", LineStatus::Malformed}, // more than a part can name
        {"A:0:*:41??42", LineStatus::Malformed},                                  // no two fixed bytes in a row
        {"A:0:*:4142*43", LineStatus::Malformed},                                 // every part needs them
        {"A:0:*:????", LineStatus::Malformed},                                    // would match everything
        {"A:0:*:", LineStatus::Malformed},
        {"A:0:*:*4142", LineStatus::Malformed},
        {"A:0:*:{2}4142", LineStatus::Malformed},
        {"A:0:*:!(41|4243)4445", LineStatus::Malformed},
        {"A:0:EP+1:4142", LineStatus::Malformed}, // an entry point only images have
        {"A:0:EOF+1:4142", LineStatus::Malformed},
        {"A:0:*:41424344:x", LineStatus::Malformed},
        {":0:*:4142", LineStatus::Malformed},
        {"A:0:*", LineStatus::Malformed},
    };
    for (const Row& row : rows) {
        const BodyLine parsed = BodySignatureParser::ParseLine(row.line);
        EXPECT_EQ(row.status, parsed.status) << row.line;
        EXPECT_EQ(row.status == LineStatus::Malformed, parsed.why != nullptr) << row.line;
    }
    EXPECT_EQ(3u, BodySignatureParser::ParseLine("A:3:*:4142").otherTarget);
    const BodyLine parsed = BodySignatureParser::ParseLine("A:1:EP+4,8:4142{2-5}43(44|4546)!(00|01)*a?[1-3]eeff");
    ASSERT_EQ(2u, parsed.signature.pattern.parts.size());
    const BodyPart& part = parsed.signature.pattern.parts[0];
    EXPECT_EQ("AB", part.fragment);
    EXPECT_EQ(2u + 2 + 1 + 1 + 1, part.minLength);
    EXPECT_EQ(2u + 5 + 1 + 2 + 1, part.maxLength);
    EXPECT_EQ("\xee\xff", parsed.signature.pattern.parts[1].fragment);
    EXPECT_EQ(2u, parsed.signature.pattern.parts[1].fragmentMin);
    EXPECT_EQ(4u, parsed.signature.pattern.parts[1].fragmentMax);
}

TEST(BodySignatures, TheAutomatonFindsWhatTheNaiveMatcherFinds)
{
    std::mt19937 random(2026);
    std::size_t matched = 0, compared = 0;
    for (int trial = 0; trial < 300; ++trial) {
        // A small alphabet, so that fragments recur and parts are tried in many places.
        Bytes data(160 + random() % 200);
        for (std::uint8_t& byte : data)
            byte = static_cast<std::uint8_t>("\x00\x41\x42\xff\x90"[random() % 5] + (random() % 7 == 0));
        BodySignatureSet all;
        std::vector<bool> expected;
        for (int n = 0; n < 12; ++n) {
            const std::size_t at = random() % (data.size() - 50);
            const std::string offset = RandomOffset(random, data.size(), at);
            const std::string text = RandomPattern(random, data, at);
            BodyLine line = BodySignatureParser::ParseLine("S:0:" + offset + ":" + text);
            if (line.status != LineStatus::Signature)
                continue;
            const bool naive = NaiveMatches(offset, text, data);
            BodySignatureSet one;
            one.Add(line.signature);
            one.Finish();
            EXPECT_EQ(naive, Scan(one, data, random).has_value()) << offset << ":" << text;
            all.Add(std::move(line.signature));
            expected.push_back(naive);
            matched += naive;
            ++compared;
        }
        all.Finish();
        const auto found = Scan(all, data, random);
        if (found)
            EXPECT_TRUE(expected[*found]);
        else
            EXPECT_EQ(expected.end(), std::find(expected.begin(), expected.end(), true));
    }
    // Enough of both answers for the comparison to mean something.
    EXPECT_GT(compared, 2000u);
    EXPECT_GT(matched, compared / 5);
    EXPECT_LT(matched, compared * 4 / 5);
}
