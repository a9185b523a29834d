// The engine's pure parts: database lines, threat names, EICAR and the
// quarantine header.
#include <gtest/gtest.h>

#include "substitute/EicarCheck.h"
#include "substitute/QuarantineRecord.h"
#include "substitute/SignatureParser.h"
#include "substitute/ThreatClassifier.h"
#include "support/TestData.h"

using namespace Substitute;

TEST(SignatureParsing, KeepsWellFormedLinesAndCountsTheRest)
{
    const std::string md5(32, 'a'), sha1(40, 'B'), sha256(64, 'c');
    const std::string hdb = "\xEF\xBB\xBF" + md5 + ":12:Win.Trojan.A-1\r\n"
                            "\r\n# a comment\n" +
                            md5 + ":*:Win.Trojan.B-2:73\n" + // size "*", engine level field ignored
                            sha1 + ":12:Win.Trojan.C-3\n" +  // SHA1 has no place in .hdb
                            md5 + ":12\n" +                  // no name
                            md5 + ":twelve:Name\n" +         // size not a number
                            std::string(31, 'a') + "g:1:Bad-hex\n" + md5 + ":1::\n";
    std::vector<HashSignature> out;
    const ParseCounts counts = SignatureParser::ParseText(hdb, SignatureFormat::Hdb, out);
    EXPECT_EQ(2u, counts.added);
    EXPECT_EQ(5u, counts.malformed);
    ASSERT_EQ(2u, out.size());
    EXPECT_EQ(L"Win.Trojan.A-1", out[0].name);
    EXPECT_TRUE(out[1].anySize);

    out.clear();
    const std::string hsb = sha1 + ":5:One\n" + sha256 + ":*:Two\n" + md5 + ":5:Three\n";
    EXPECT_EQ(3u, SignatureParser::ParseText(hsb, SignatureFormat::Hsb, out).added);
    EXPECT_EQ(SignatureFormat::Hdb, SignatureParser::FormatOfFileName(L"main.HDB"));
    EXPECT_FALSE(SignatureParser::FormatOfFileName(L"x.ndb"));
}

TEST(SignatureParsing, ThreatNamesGiveLevelAndSubLevel)
{
    struct Row {
        const wchar_t* name;
        std::uint32_t level, subLevel;
    } rows[] = {
        {L"Win.Trojan.Agent-1", 3, 0},     {L"Win.Ransomware.Locky-2", 3, 0}, {L"Doc.Dropper.Agent-3", 3, 0},
        {L"Win.Virus.Sality-4", 3, 1},     {L"Win.Infector.X-5", 3, 1},       {L"Win.Test.EICAR_HDB-1", 3, 2},
        {L"Html.Phishing.Bank-6", 3, 2},   {L"NoDotsAtAll", 3, 2},            {L"PUA.Win.Adware.Pop-7", 2, 1},
        {L"PUA.Win.Toolbar.Bar-8", 2, 1},  {L"pua.win.installer.x-9", 2, 2},  {L"PUA.Win.GameHack.Aim-10", 2, 3},
        {L"PUA.Win.Cheat.X-11", 2, 3},     {L"PUA.Win.Tool.Other-12", 2, 0},  {L"PUA.Win", 2, 0},
    };
    for (const Row& row : rows) {
        const ThreatClass verdict = ThreatClassifier::Classify(row.name);
        EXPECT_EQ(row.level, verdict.level) << row.name;
        EXPECT_EQ(row.subLevel, verdict.subLevel) << row.name;
    }
}

TEST(SignatureParsing, EicarIsTheStandardTextWithOnlyWhitespaceAfterIt)
{
    const std::string eicar = KivoTest::kEicar;
    const std::pair<std::string, bool> cases[] = {{eicar, true},         {eicar + " \t\r\n", true},
                                                  {eicar + "x", false},  {" " + eicar, false},
                                                  {eicar.substr(0, 67), false},
                                                  {eicar + std::string(61, ' '), false}};  // 129 bytes
    for (const auto& [text, matches] : cases)
        EXPECT_EQ(matches, EicarCheck::Matches(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())) << text;
}

TEST(SignatureParsing, QuarantineHeaderRoundTripsAndRejectsDamage)
{
    QuarantineRecord record;
    record.md5[0] = 0xAB;
    record.md5[15] = 0xCD;
    record.size = 0x123456789ull;
    record.time = 42;
    record.threatName = L"Win.Trojan.Agent-1";
    record.originalPath = L"C:\\Users\\\u00e9l\\a.exe";
    const std::string header = record.EncodeHeader();
    const auto decoded = QuarantineRecord::DecodeHeader(header + "payload");
    ASSERT_TRUE(decoded);
    EXPECT_EQ(header.size(), decoded->second);
    EXPECT_EQ(record.md5, decoded->first.md5);
    EXPECT_EQ(record.size, decoded->first.size);
    EXPECT_EQ(record.originalPath, decoded->first.originalPath);
    EXPECT_EQ(record.threatName, decoded->first.threatName);
    for (std::size_t cut = 0; cut < header.size(); ++cut)
        EXPECT_FALSE(QuarantineRecord::DecodeHeader(header.substr(0, cut))) << cut;
}
