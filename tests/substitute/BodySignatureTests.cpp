// Body signatures: their lines, and the automaton's matches against a matcher
// that reads the pattern text itself, byte by byte, with no fragments, no
// windows and no chunks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "substitute/match/BodyScanner.h"
#include "substitute/match/BodySignature.h"
#include "substitute/match/BodySignatureSet.h"

using namespace Substitute;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The byte classes of "(B)" before a match, after it, and standing for a byte;
// of "(L)" and "(W)" likewise; the file's edges belong to every class.
bool InClass(char kind, char where, std::size_t d, const Bytes& data)
{
    const std::size_t at = where == '<' ? d - 1 : d;
    if ((where == '<' && d == 0) || (where == '>' && d == data.size()))
        return true;
    if (at >= data.size())
        return false;
    const std::uint8_t b = data[at];
    const std::string before = " -./<@_", after = std::string("\n\r \"'-/=>_");
    if (kind == 'B')
        return (where != '>' && before.find(static_cast<char>(b)) != std::string::npos) ||
               (where != '<' && after.find(static_cast<char>(b)) != std::string::npos);
    if (kind == 'L')
        return b == '\n' || (where == '>' && b == '\r' && at + 1 < data.size() && data[at + 1] == '\n');
    return !std::isalnum(b);
}

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
            if (dash == std::string::npos) // {0}: no most either
                return Gap(close + 1, d, std::stoul(inside), std::stoul(inside) == 0 ? data_.size() : std::stoul(inside));
            const std::size_t low = dash == 0 ? 0 : std::stoul(inside.substr(0, dash));
            const std::size_t high = dash + 1 == inside.size() ? 0 : std::stoul(inside.substr(dash + 1));
            return Gap(close + 1, d, low, high == 0 ? data_.size() : high); // a most of 0 is none
        }
        if (c == '(' || c == '!') {
            const std::size_t open = c == '!' ? p + 1 : p;
            const std::size_t close = text_.find(')', open);
            if (close == open + 2 && std::string("BLW").find(text_[open + 1]) != std::string::npos) {
                // At the pattern's edges it looks beside the match; elsewhere it is a byte.
                const char kind = text_[open + 1];
                if (p == 0 && c == '(')
                    return InClass(kind, '<', d, data_) && From(close + 1, d);
                if (close + 1 == text_.size())
                    return InClass(kind, '>', d, data_) != (c == '!');
                return d < data_.size() && InClass(kind, '=', d, data_) != (c == '!') && From(close + 1, d + 1);
            }
            std::vector<std::string> choices(1); // hex, perhaps with '?' nibbles
            for (std::size_t q = open + 1; q < close; ++q) {
                if (text_[q] == '|')
                    choices.emplace_back();
                else
                    choices.back() += text_[q];
            }
            const auto equal = [&](const std::string& choice) {
                for (std::size_t i = 0; i < choice.size(); i += 2)
                    if (d + i / 2 >= data_.size() || !Nibbles(choice, i, data_[d + i / 2]))
                        return false;
                return true;
            };
            if (c == '(') {
                for (const std::string& choice : choices)
                    if (equal(choice) && From(close + 1, d + choice.size() / 2))
                        return true;
                return false;
            }
            for (const std::string& choice : choices)
                if (equal(choice))
                    return false;
            return d + choices[0].size() / 2 <= data_.size() && From(close + 1, d + choices[0].size() / 2);
        }
        return d < data_.size() && Nibbles(text_, p, data_[d]) && From(p + 2, d + 1);
    }

private:
    static bool Nibbles(const std::string& hex, std::size_t at, std::uint8_t byte)
    {
        const auto nibble = [](char h, int v) { return h == '?' || std::stoi(std::string(1, h), nullptr, 16) == v; };
        return nibble(hex[at], byte >> 4) && nibble(hex[at + 1], byte & 15);
    }

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
// skip the data's bytes they stand for. Each part starts with two fixed bytes,
// and anchors that stand for a byte have a byte on either side, so that
// clamscan would take the pattern: its rules for the rest are tested apart.
std::string RandomPattern(std::mt19937& random, const Bytes& data, std::size_t at)
{
    const auto pick = [&](unsigned n) { return static_cast<unsigned>(random() % n); };
    const auto any = [&] { return Hex(static_cast<std::uint8_t>(random())); };
    const auto anchor = [&] { return std::string(1, "BLW"[pick(3)]) + ")"; };
    std::string text = pick(6) == 0 ? "(" + anchor() : "";
    if (pick(6) == 0) { // "aa[n-m]" before the first part
        const unsigned low = pick(3), high = low + pick(3);
        text += Hex(data[at]) + "[" + std::to_string(low) + "-" + std::to_string(high) + "]";
        at += 1 + low + pick(high - low + 1);
    }
    const unsigned length = 4 + pick(40);
    const unsigned spoilt = pick(4) == 0 ? pick(length) : length; // one byte that is not the data's
    unsigned fixed = 2;
    for (unsigned i = 0; i < length && at + 6 < data.size(); ++i, ++at) {
        const std::string hex = i == spoilt ? any() : Hex(data[at]);
        const std::string next = Hex(data[at + 1]);
        unsigned gap = pick(4), kind = fixed > 0 ? 99 : pick(28);
        fixed -= fixed > 0;
        // clang-format off
        switch (kind) {
        case 0: text += "??"; break;
        case 1: text += std::string(1, hex[0]) + "?"; break;
        case 2: text += "?" + std::string(1, hex[1]); break;
        case 3: text += "(" + any() + "|" + hex[0] + "?)"; break;
        case 4: text += "(" + hex + next + "|" + hex + ")"; break;
        case 5: text += "!(" + any() + "|" + any() + ")"; break;
        case 6: text += hex + "*"; break;
        case 7: text += hex + "{" + std::to_string(gap) + "}"; break;
        case 8: text += hex + "{-" + std::to_string(gap + pick(2)) + "}"; break;
        case 9: text += hex + "{" + std::to_string(gap - pick(gap + 1)) + "-" + std::to_string(gap + pick(3)) + "}"; break;
        case 10: text += hex + "{" + std::to_string(gap + 1 - pick(gap + 2)) + "-}"; break; // at times too long
        case 11: text += std::string(pick(2) ? "" : "!") + "(" + anchor() + Hex(data[++at]); gap = 0; break;
        default: text += hex; gap = 0; break;
        }
        // clang-format on
        if (kind >= 6 && kind <= 10)
            fixed = 2;
        if (text.back() == '?' || text.back() == ')')
            gap = 0;
        at += gap;
    }
    text += Hex(data[at]) + Hex(data[at + 1]); // never a gap at the end
    return text + (pick(6) == 0 ? std::string(pick(2) ? "" : "!") + "(" + anchor() : "");
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
        {"A:1:S2+16:4142*4344{5-}4546", LineStatus::Signature},
        {"A:1:SE1,0:4142", LineStatus::Signature},
        {"A:*:EOF-10:414243", LineStatus::Signature}, // target '*' is 0
        {"A:0:*:(B)4142(L)*(W)4344!(B)", LineStatus::Signature},
        {"A:0:*:4142(B)43!(W)44", LineStatus::Signature},
        {"A:0:*:(f?|00)4142(4?|0102|)43", LineStatus::Signature},
        {"A:0:*:4142{9000-9100}4344{-9010}4546{2147483647}4748", LineStatus::Signature},
        {"A:0:*:4142{5-3}4344{0}4546{}4748", LineStatus::Signature}, // never matches; no most
        {"A:0:*:4142{ 3}4344{3--5-}4546{--5}4748{4294967297}4950", LineStatus::Signature}, // the last is {1}
        {"A:0:*:4142((43|44)|4(5|6)?5)(|4748|49)", LineStatus::Signature}, // empty first: not fixed strings
        {"# a comment", LineStatus::Blank},
        {"A:0:*:4142:214", LineStatus::OtherLevel},
        {"A:0:*:4142:1:212", LineStatus::OtherLevel},
        {"A:0:*:zz:214", LineStatus::OtherLevel}, // the level is read before the rest
        {"A:x:bogus:zz:1:200", LineStatus::OtherLevel},
        {"A:99:*:zz", LineStatus::OtherLevel},
        {"A:3:*:4142", LineStatus::OtherLevel}, // an HTML target: not read
        {"A:0:*:41(42|43", LineStatus::Malformed},
        {"A:0:*:4142)", LineStatus::Malformed},
        {"A:0:*:414", LineStatus::Malformed},
        {"A:0:*:4142{2147483648}4344", LineStatus::Malformed},
        {"A:0:*:4142{1-2-3}4344", LineStatus::Malformed},
        {"A:0:*:4142{6442450944}4344", LineStatus::Malformed}, // 2^31 modulo 2^32
        {"A:0:*:4142{-5}4344{ 3}4546", LineStatus::Malformed}, // a space only where "{n}" is n "??"
        {"A:0:*:41(|42)4344", LineStatus::Malformed},
        {"A:0:*:4142!(4?|00)43", LineStatus::Malformed},
        {"A:0:*:4142!((43|44)|45)", LineStatus::Malformed},
        {"A:0:*:4142((43|44)||45)", LineStatus::Malformed}, // clamscan miscounts these
        {"A:0:*:4142(" + Repeated("(43)", 16) + "|44)", LineStatus::Malformed}, // 15 groups at most
        {"A:0:*:4142(43{-2}|44)", LineStatus::Malformed},
        {"A:0:*:4142(" + Repeated("43|", 0xFFFF) + "44)", LineStatus::Malformed}, // more than a part can name
        {"A:0:*:41(B)4243", LineStatus::Malformed},             // an anchor too near the start
        {"A:0:*:????" "(B)41424344", LineStatus::Malformed},    // only "????" before it
        {"A:0:*:11??22{-200}0000??33", LineStatus::Malformed},  // every part needs two fixed bytes
        {"A:0:*:4142{-5}43{3}4445", LineStatus::Malformed},     // {3} divides once a range has
        {"A:0:*:41[1-33]4243", LineStatus::Malformed},
        {"A:0:*:4142[1-2]43(44|45)", LineStatus::Malformed},
        {"A:0:EOF-10:4142", LineStatus::Malformed}, // fixed bytes alone: three at least
        {"A:0:*:????", LineStatus::Malformed},
        {"A:0:*:*4142", LineStatus::Malformed},
        {"A:0:EP+1:4142", LineStatus::Malformed}, // an entry point only images have
        {"A:0:EOF+1:4142", LineStatus::Malformed},
        {"A:0:*:41424344:x", LineStatus::Malformed},
        {":0:*:4142", LineStatus::Malformed},
        {"A:**:*:4142", LineStatus::Malformed},
        {"A:0:*", LineStatus::Malformed},
    };
    for (const Row& row : rows) {
        const BodyLine parsed = BodySignatureParser::ParseLine(row.line);
        EXPECT_EQ(row.status, parsed.status) << row.line;
        EXPECT_EQ(row.status == LineStatus::Malformed, parsed.why != nullptr) << row.line;
    }
    EXPECT_EQ(3u, BodySignatureParser::ParseLine("A:3:*:4142").otherTarget);
    // Parts end at every range but the first {n} below 128; the fragment is the longest run of fixed bytes.
    EXPECT_EQ(2u, BodySignatureParser::ParseLine("A:0:*:4142{0}4344").signature.pattern.parts.size()); // no most
    EXPECT_EQ(1u, BodySignatureParser::ParseLine("A:0:*:4142{+3}4344").signature.pattern.parts.size());
    EXPECT_EQ(1u, BodySignatureParser::ParseLine("A:0:*:4142{4294967297}4344").signature.pattern.parts.at(1).gapMax);
    const BodyLine parsed = BodySignatureParser::ParseLine("A:1:EP+4,8:4142{3}43(44|4546)!(00|01){2-5}a?eeff*aa[1-3]bbcc");
    const std::vector<BodyPart>& parts = parsed.signature.pattern.parts;
    ASSERT_EQ(3u, parts.size());
    EXPECT_EQ("AB", parts[0].fragment);
    EXPECT_EQ(2u + 3 + 1 + 1 + 1, parts[0].minLength);
    EXPECT_EQ(2u + 3 + 1 + 2 + 1, parts[0].maxLength);
    EXPECT_EQ("\xee\xff", parts[1].fragment);
    EXPECT_EQ(2u, parts[1].gapMin);
    EXPECT_EQ(5u, parts[1].gapMax);
    EXPECT_EQ(1u, parts[1].fragmentMin);
    EXPECT_EQ(BodyPart::kUnbounded, parts[2].gapMax);
    EXPECT_EQ(2u, parts[2].fragmentMin);
    EXPECT_EQ(4u, parts[2].fragmentMax);
}

TEST(BodySignatures, TheAutomatonFindsWhatTheNaiveMatcherFinds)
{
    std::mt19937 random(2026);
    std::size_t matched = 0, compared = 0;
    for (int trial = 0; trial < 300; ++trial) {
        // A small alphabet, so that fragments recur and parts are tried in many places.
        Bytes data(160 + random() % 200);
        for (std::uint8_t& byte : data)
            byte = static_cast<std::uint8_t>("\x00\x41\x42\xff\x20\x0a"[random() % 6] + (random() % 7 == 0));
        BodySignatureSet all;
        std::vector<bool> expected;
        for (int n = 0; n < 12; ++n) {
            const std::size_t at = random() % (data.size() - 50);
            const std::string offset = RandomOffset(random, data.size(), at);
            const std::string text = RandomPattern(random, data, at);
            BodyLine line = BodySignatureParser::ParseLine("S:0:" + offset + ":" + text);
            if (line.status != LineStatus::Signature)
                continue;
            // Where alternatives of different lengths place a part that an
            // offset or another part then asks, clamscan's first way through
            // them decides, not any way: the parity script checks those.
            const auto& parts = line.signature.pattern.parts;
            if ((parts.size() > 1 || offset != "*") &&
                std::any_of(parts.begin(), parts.end(), [](const BodyPart& part) { return part.firstWay; }))
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
    EXPECT_GT(matched, compared / 10);
    EXPECT_LT(matched, compared * 4 / 5);
}
