// Logical signatures: their lines, the expression over sub-signature
// counts as clamscan evaluates it (each row below was checked with
// clamscan --allmatch), and the one-pass verdict against a plain search of
// each sub-signature on its own.
#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "substitute/database/SignatureDatabaseBuilder.h"
#include "substitute/database/SignatureLines.h"
#include "substitute/logical/LogicalSignature.h"
#include "substitute/match/BodyScanner.h"

using namespace Substitute;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// Loads the line as the engine does, scans data in pieces of random
// length, and returns whether the signature matched.
bool Flags(const std::string& line, const Bytes& data, std::mt19937& random)
{
    SignatureDatabaseBuilder builder;
    const LogicalLine parsed = LogicalSignatureParser::ParseLine(line);
    EXPECT_EQ(LineStatus::Signature, parsed.status) << line << ": " << parsed.why;
    builder.AddLogical(parsed.signature);
    const auto database = builder.Finish();
    const PeSections layout = PeSectionTable::Read(data.data(), data.size(), data.size());
    BodyScanner scanner;
    scanner.Begin(database->Bodies(), layout, data.size());
    for (std::size_t at = 0; at < data.size();) {
        const std::size_t piece = std::min<std::size_t>(1 + random() % 40, data.size() - at);
        scanner.Feed(data.data() + at, piece);
        at += piece;
    }
    EXPECT_FALSE(scanner.End());
    return database->Logicals().Match(scanner.SubCounts(), scanner.MatchedSubs(), layout, data.size()).has_value();
}

// The plain count: every start where the bytes (pairs of hex digits or
// "??") match, in ascii and/or wide form, in either case, as a whole word.
std::uint32_t NaiveCount(const std::string& hex, const std::string& modifiers, std::size_t first, std::size_t last,
                         const Bytes& data)
{
    const auto word = [](std::uint8_t c) { return std::isalnum(c) != 0; };
    const bool wide = modifiers.find('w') != std::string::npos;
    std::uint32_t count = 0;
    for (int form = 0; form < 2; ++form) {
        if ((form == 0 && wide && modifiers.find('a') == std::string::npos) || (form == 1 && !wide))
            continue;
        std::vector<int> bytes; // -1: any byte
        for (std::size_t i = 0; i < hex.size(); i += 2) {
            bytes.push_back(hex[i] == '?' ? -1 : std::stoi(hex.substr(i, 2), nullptr, 16));
            if (form == 1)
                bytes.push_back(0);
        }
        for (std::size_t start = first; start <= last && start + bytes.size() <= data.size(); ++start) {
            bool same = true;
            for (std::size_t i = 0; i < bytes.size() && same; ++i)
                same = bytes[i] < 0 || data[start + i] == bytes[i] ||
                       (modifiers.find('i') != std::string::npos && std::isalpha(bytes[i]) &&
                        std::tolower(data[start + i]) == std::tolower(bytes[i]));
            const std::size_t end = start + bytes.size();
            if (same && modifiers.find('f') != std::string::npos)
                same = (start == 0 || !word(data[start - 1])) && (end == data.size() || !word(data[end]));
            count += same;
        }
    }
    return count;
}

// The plain evaluator of an expression's text: an operand, then an operator
// joining it with all that follows; a value as the sum of counts.
struct Naive {
    const std::string& text;
    const std::vector<std::uint32_t>& counts;
    std::size_t at = 0;

    std::uint64_t Number()
    {
        std::size_t length = 0;
        const std::uint64_t n = at < text.size() && std::isdigit(text[at]) ? std::stoull(text.substr(at), &length) : 0;
        return at += length, n;
    }
    // value, and which sub-signatures it came from
    std::pair<std::uint64_t, std::uint64_t> Chain()
    {
        auto left = Operand();
        if (at >= text.size() || text[at] == ')')
            return left;
        const char op = text[at++];
        const auto right = Chain();
        if (op == '&' && (left.first == 0 || right.first == 0))
            return {0, 0};
        return {left.first + right.first, left.second | right.second};
    }
    std::pair<std::uint64_t, std::uint64_t> Operand()
    {
        const bool group = text[at] == '(';
        const std::uint64_t index = group ? (++at, 0) : Number();
        std::pair<std::uint64_t, std::uint64_t> value{counts[index], counts[index] ? 1ull << index : 0};
        if (group)
            value = Chain(), ++at; // and the ')'
        if (at >= text.size() || (text[at] != '=' && text[at] != '<' && text[at] != '>'))
            return value;
        const char op = text[at++];
        const std::uint64_t x = Number();
        std::uint64_t y = 0;
        if (at < text.size() && text[at] == ',' && (++at, true))
            y = Number();
        bool holds = op == '=' ? value.first == x : op == '<' ? value.first < x : value.first > x;
        if (group)
            holds = holds && static_cast<std::uint64_t>(__builtin_popcountll(value.second)) >= y;
        return holds ? std::make_pair(std::uint64_t{1}, value.second)
                     : std::make_pair(std::uint64_t{0}, std::uint64_t{0});
    }
};

// An expression over indexes below subs; highest is the largest it names.
std::string RandomExpression(std::mt19937& random, std::size_t subs, int depth, std::size_t& highest)
{
    std::string text;
    const int operands = 1 + static_cast<int>(random() % 3);
    for (int i = 0; i < operands; ++i) {
        if (i != 0)
            text += random() % 2 ? "&" : "|";
        const bool group = depth < 3 && random() % 4 == 0;
        const std::size_t index = random() % subs;
        if (!group)
            highest = std::max(highest, index);
        text += group ? "(" + RandomExpression(random, subs, depth + 1, highest) + ")" : std::to_string(index);
        if (random() % 3 == 0) {
            text += "=<>"[random() % 3] + std::to_string(random() % 4);
            if (group && random() % 2)
                text += "," + std::to_string(random() % 3);
        }
    }
    return text;
}

} // namespace

TEST(LogicalSignatures, ExpressionsCountsAndTargetsReadAsClamscanReadsThem)
{
    const Bytes file = Of(std::string("\x00\xff\x90xxAAAAxx BB BBB hello, Hello.\x00\x01\xfe", 35));
    const Bytes wide = Of(std::string("\x00\xffh\x00"
                                      "e\x00l\x00l\x00o\x00 hello \x01",
                                      21));
    struct Row {
        std::string line;
        const Bytes& data;
        bool flags;
    } rows[] = {
        {"A;Target:0;0=3;4141", file, true}, // overlapping matches count apiece
        {"A;Target:0;0<3;4141", file, false},
        {"A;Target:0;0>2,2;4141", file, true}, // a single sub-signature has no Y
        {"A;Target:0;(0|1)=6,2;4141;4242", file, true},
        {"A;Target:0;(0|1)=6,3;4141;4242", file, false},
        {"A;Target:0;0|1&1;4141;7a7a", file, true},    // 0|(1&1), not (0|1)&1
        {"A;Target:0;1&1|0;4141;7a7a", file, false},   // 1&(1|0)
        {"A;Target:0;(0&1)=3;4141;7a7a", file, false}, // a failed '&' counts 0
        {"A;Target:0;(0|0)=6;4141", file, true},
        {"A;Target:0;0=0;7a7a", file, true},
        {"A;Target:0;0=3;4141*4242", file, true}, // counted at each end of the last part
        {"A;Target:0;0=3;5,3:4141", file, true},
        {"A;Target:0;0>1;1:4141", file, false},
        {"A;Target:0;0=2;68656c6c6f::i", file, true},
        {"A;Target:0;0=2;68656c6c6f::fi", file, true},
        {"A;Engine:51-255,Target:0,FileSize:35-35;0;4141", file, true},
        {"A;Engine:51-255,Target:0,FileSize:36-200;0;4141", file, false},
        {"A;Engine:51-255,Target:0,FileSize:-40,Container:CL_TYPE_ANY,HandlerType:CL_TYPE_ZIP;0;4141", file, true},
        {"A;Target:1;0;4141", file, false},
        {"A;Target:0;0=1;68656c6c6f::w", wide, true},
        {"A;Target:0;0=2;68656c6c6f::wa", wide, true},
        {"A;Target:0;0=1;6865{1}6c6f::w", wide, false}, // gaps stay narrow
        {"A;Target:0;0=1;6865{2}6c6f::w", wide, true},
    };
    std::mt19937 random(37);
    for (const Row& row : rows)
        EXPECT_EQ(row.flags, Flags(row.line, row.data, random)) << row.line;
}

TEST(LogicalSignatures, BadLinesAreSkippedWithTheirReasonAndUnreadKindsAreNamed)
{
    std::string deep = "0";
    for (int i = 0; i < 40; ++i)
        deep = "(" + deep + ")";
    std::string many = "A;Target:0;64";
    for (int i = 0; i <= 64; ++i)
        many += ";4142";
    const struct Row {
        std::string line;
        LineStatus status;
        std::string kind; // OtherLevel: the kind counted
    } rows[] = {
        {"A;Target:0;0&1;4141;4242", LineStatus::Signature, ""},
        {"A;Engine:81-255,Target:1,EntryPoint:0-9999,NumberOfSections:1-9;0;EP+0:4d5a::iwfa;", LineStatus::Signature,
         ""},
        {"A;Target:0;0&2;4141;4242", LineStatus::Malformed, ""},     // no sub-signature 2
        {"A;Target:0;0;4141;4242", LineStatus::Malformed, ""},       // sub-signature 1 named nowhere
        {"A;Target:0;0=4294967296;4141", LineStatus::Malformed, ""}, // a count past 32 bits
        {"A;Target:0;" + deep + ";4141", LineStatus::Malformed, ""},
        {many, LineStatus::Malformed, ""},
        {"A;Target:0;(0|1;4141;4242", LineStatus::Malformed, ""},
        {"A;Target:0;0;EP+0:4141", LineStatus::Malformed, ""}, // an entry point only executables have
        {"A;Target:0,Engine:51-255;0;4141", LineStatus::Malformed, ""},
        {"A;Target:0,FileSize:0-9;0;4141", LineStatus::Malformed, ""}, // needs Engine from 51
        {"A;Engine:300-400,Target:0;0;4141", LineStatus::OtherLevel, ""},
        {"A;Target:3;0;4141", LineStatus::OtherLevel, "ldb for target type 3"},
        {"A;Engine:51-255,Target:0,Container:CL_TYPE_ZIP;0;4141", LineStatus::OtherLevel,
         "ldb for a container's members"},
        {"A;Target:0,Foo:1;0;4141", LineStatus::OtherLevel, "ldb with an unknown attribute"},
        {"A;Engine:81-255,Target:0;0&1;4141;0/ab\\x3Bc/", LineStatus::OtherLevel, "ldb with PCRE"},
        {"A;Engine:81-255,Target:0;0&1;4141;0(>>4#hb2#=0)", LineStatus::OtherLevel, "ldb with byte comparisons"},
        {"A;Engine:51-255,Target:0;0&1;4141;${6-7}12$", LineStatus::OtherLevel, "ldb with macros"},
        {"A;Engine:51-255,Target:1;0;VI:4100", LineStatus::OtherLevel, "ldb with version information"},
    };
    for (const Row& row : rows) {
        const LogicalLine parsed = LogicalSignatureParser::ParseLine(row.line);
        EXPECT_EQ(row.status, parsed.status) << row.line << ": " << parsed.why;
        if (row.status == LineStatus::Malformed) {
            EXPECT_FALSE(parsed.why.empty()) << row.line;
        } else if (row.status == LineStatus::OtherLevel) {
            EXPECT_EQ(row.kind, parsed.why) << row.line;
        }
    }
    // Loaded, the kinds are named in the summary and the bad line by its number.
    SignatureDatabaseBuilder builder;
    SignatureLoadReport report;
    SignatureLines lines("x.ldb", SignatureFormat::Ldb, "ldb", builder, report.counts, report);
    lines.Feed("A;Target:0;0;4141\nB;Target:0;0&1;4141;0/a/\nC;Target:0;0&2;4141;4242\n");
    lines.End();
    EXPECT_EQ("signatures loaded: 1 ldb; skipped: 1 ldb with PCRE; 1 malformed lines", report.Summary());
    ASSERT_EQ(1u, report.problems.size());
    EXPECT_EQ(0u, report.problems[0].find("x.ldb:3: malformed logical signature: "));
    EXPECT_EQ(1u, builder.Finish()->Count());
}

TEST(LogicalSignatures, OnePassFindsWhatSearchingEachSubSignatureFinds)
{
    std::mt19937 random(3737);
    const char* const kModifiers[] = {"", "i", "w", "wa", "f", "fi", "iwa"};
    std::size_t matched = 0, compared = 0;
    for (int trial = 0; trial < 400; ++trial) {
        // A few letters, a separator and zeros, so that case, words and wide forms all occur.
        Bytes data(100 + random() % 150);
        for (std::uint8_t& byte : data)
            byte = static_cast<std::uint8_t>("aAbB \0"[random() % 6]);
        std::size_t highest = 0;
        const std::string expression = RandomExpression(random, 4, 0, highest);
        const std::size_t subs = highest + 1;
        std::string line = "S;Target:0;" + expression;
        std::vector<std::uint32_t> counts;
        for (std::size_t sub = 0; sub < subs; ++sub) {
            std::string hex;
            for (std::size_t n = 2 + random() % 3, i = 0; i < n; ++i)
                hex += i == 2 && random() % 3 == 0 ? std::string("??")
                                                   : std::string("4161426220").substr(2 * (random() % 5), 2);
            const std::string modifiers = kModifiers[random() % 7];
            const std::size_t first = random() % 3 == 0 ? random() % 40 : 0;
            const std::size_t shift = first == 0 ? data.size() : random() % 60;
            line += ";" + (first == 0 ? std::string() : std::to_string(first) + "," + std::to_string(shift) + ":") +
                    hex + (modifiers[0] ? "::" + std::string(modifiers) : "");
            counts.push_back(NaiveCount(hex, modifiers, first, first + shift, data));
        }
        const bool naive = Naive{expression, counts}.Chain().first != 0;
        EXPECT_EQ(naive, Flags(line, data, random)) << line;
        matched += naive;
        ++compared;
    }
    // Enough of both answers for the comparison to mean something.
    EXPECT_GT(matched, compared / 5);
    EXPECT_LT(matched, compared * 4 / 5);
}
