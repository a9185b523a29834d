// The engine's pure parts: database lines, threat names, EICAR and the
// quarantine header.
#include <gtest/gtest.h>

#include "substitute/scan/EicarCheck.h"
#include "substitute/quarantine/QuarantineRecord.h"
#include "substitute/signature/SignatureParser.h"
#include "substitute/scan/ThreatClassifier.h"
#include "support/TestData.h"

using namespace Substitute;

TEST(SignatureParsing, EachKindTakesItsOwnShapeAndLevelsDecideTheRest)
{
    const std::string md5(32, 'a'), sha1(40, 'B'), sha256(64, 'c');
    struct Row {
        SignatureFormat format;
        std::string line;
        LineStatus status;
    } rows[] = {
        {SignatureFormat::Hdb, md5 + ":12:Win.Trojan.A-1\r", LineStatus::Signature},
        {SignatureFormat::Hdb, "  ", LineStatus::Blank},
        {SignatureFormat::Hdb, "# " + md5, LineStatus::Blank},
        {SignatureFormat::Hdb, md5 + ":*:Win.Trojan.B-2:73", LineStatus::Signature},
        {SignatureFormat::Hdb, md5 + ":*:Win.Trojan.B-2", LineStatus::Malformed}, // "*" needs level 73
        {SignatureFormat::Hdb, md5 + ":*:Win.Trojan.B-2:72", LineStatus::Malformed},
        {SignatureFormat::Hdb, md5 + ":1:Name:214", LineStatus::OtherLevel},    // for newer engines
        {SignatureFormat::Hdb, md5 + ":1:Name:51:212", LineStatus::OtherLevel}, // for older ones
        {SignatureFormat::Hdb, md5 + ":1:Name:51:213", LineStatus::Signature},
        {SignatureFormat::Hdb, sha1 + ":12:Win.Trojan.C-3", LineStatus::Signature}, // any kind, as in .hsb
        {SignatureFormat::Hdb, "zz:12:Name:214", LineStatus::OtherLevel},           // the level is read first
        {SignatureFormat::Hdb, md5 + ":12", LineStatus::Malformed},
        {SignatureFormat::Hdb, md5 + ":twelve:Name", LineStatus::Malformed},
        {SignatureFormat::Hdb, std::string(31, 'a') + "g:1:Bad-hex", LineStatus::Malformed},
        {SignatureFormat::Hdb, md5 + ":1::", LineStatus::Malformed},
        {SignatureFormat::Hdb, md5 + ":1:Name:1:2:3", LineStatus::Malformed},
        {SignatureFormat::Hsb, sha256 + ":5:Two", LineStatus::Signature},
        {SignatureFormat::Mdb, "4096:" + md5 + ":Win.Trojan.S-1", LineStatus::Signature},
        {SignatureFormat::Mdb, md5 + ":4096:Win.Trojan.S-1", LineStatus::Malformed}, // size comes first
        {SignatureFormat::Msb, "*:" + sha1 + ":Win.Trojan.S-2:73", LineStatus::Signature},
        {SignatureFormat::Fp, md5 + ":5:Clean.File", LineStatus::Signature},
        {SignatureFormat::Sfp, sha256 + ":5:Clean.File", LineStatus::Signature},
        {SignatureFormat::Ign2, "Win.Trojan.A-1", LineStatus::IgnoredName},
        {SignatureFormat::Ign2, "Win.Trojan.A-1:" + md5, LineStatus::IgnoredName},
        {SignatureFormat::Ign2, "Win.Trojan.A-1:0123", LineStatus::Malformed},
    };
    for (const Row& row : rows) {
        const ParsedLine parsed = SignatureParser::ParseLine(row.line, row.format);
        EXPECT_EQ(row.status, parsed.status) << row.line;
    }
    const ParsedLine section = SignatureParser::ParseLine("4096:" + md5 + ":Win.Trojan.S-1", SignatureFormat::Mdb);
    EXPECT_EQ(HashTable::Section, section.signature.table);
    EXPECT_EQ(4096u, section.signature.size);
    EXPECT_EQ(0xAA, section.signature.digest[15]);
    const std::string allowLine = sha1 + ":*:Clean:73";
    const ParsedLine allowed = SignatureParser::ParseLine(allowLine, SignatureFormat::Sfp);
    EXPECT_EQ(HashTable::Allowed, allowed.signature.table);
    EXPECT_EQ(HashKind::Sha1, allowed.signature.kind);
    EXPECT_TRUE(allowed.signature.anySize);
    EXPECT_EQ("Clean", allowed.signature.name);
    EXPECT_EQ(SignatureFormat::Hdb, SignatureParser::FormatOfFileName(L"main.HDB"));
    EXPECT_EQ(SignatureFormat::Ign2, SignatureParser::FormatOfFileName("daily.ign2"));
    EXPECT_EQ(SignatureFormat::Ndb, SignatureParser::FormatOfFileName(L"x.ndb"));
    EXPECT_EQ(SignatureFormat::Ldb, SignatureParser::FormatOfFileName(L"x.ldb"));
    EXPECT_FALSE(SignatureParser::FormatOfFileName(L"x.cdb"));
}

TEST(SignatureParsing, ThreatNamesGiveLevelAndSubLevel)
{
    // clang-format off
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
    // clang-format on
    for (const Row& row : rows) {
        const ThreatClass verdict = ThreatClassifier::Classify(row.name);
        EXPECT_EQ(row.level, verdict.level) << row.name;
        EXPECT_EQ(row.subLevel, verdict.subLevel) << row.name;
    }
}

TEST(SignatureParsing, EicarIsTheStandardTextWithOnlyWhitespaceAfterIt)
{
    const std::string eicar = KivoTest::kEicar;
    const std::pair<std::string, bool> cases[] = {
        {eicar, true},        {eicar + " \t\r\n", true},    {eicar + "x", false},
        {" " + eicar, false}, {eicar.substr(0, 67), false}, {eicar + std::string(61, ' '), false}}; // 129 bytes
    for (const auto& [text, matches] : cases)
        EXPECT_EQ(matches, EicarCheck::Matches(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))
            << text;
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
