// The engine's pure parts: database lines, threat names, controls, EICAR and
// the quarantine header.

#include <gtest/gtest.h>

#include "substitute/EicarCheck.h"
#include "substitute/QuarantineRecord.h"
#include "substitute/SignatureDatabase.h"
#include "substitute/SignatureParser.h"
#include "substitute/TestControls.h"
#include "substitute/ThreatClassifier.h"

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
    EXPECT_EQ(counts.added, 2u);
    EXPECT_EQ(counts.malformed, 5u);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].name, L"Win.Trojan.A-1");
    EXPECT_EQ(out[0].size, 12u);
    EXPECT_EQ(out[0].digest, std::string(16, '\xAA'));
    EXPECT_TRUE(out[1].anySize);

    out.clear();
    const std::string hsb = sha1 + ":5:One\n" + sha256 + ":*:Two\n" + md5 + ":5:Three\n";
    EXPECT_EQ(SignatureParser::ParseText(hsb, SignatureFormat::Hsb, out).added, 3u);
    EXPECT_EQ(out[0].kind, HashKind::Sha1);
    EXPECT_EQ(out[1].kind, HashKind::Sha256);
    EXPECT_EQ(out[2].kind, HashKind::Md5);

    EXPECT_EQ(SignatureParser::FormatOfFileName(L"main.HDB"), SignatureFormat::Hdb);
    EXPECT_EQ(SignatureParser::FormatOfFileName(L"x.hsb"), SignatureFormat::Hsb);
    EXPECT_FALSE(SignatureParser::FormatOfFileName(L"x.ndb"));
}

TEST(SignatureParsing, DatabaseMatchesHashAndSizeAndSaysWhichHashesAreNeeded)
{
    std::vector<HashSignature> signatures;
    const std::string text = std::string(32, '1') + ":10:Sized\n" + std::string(64, '2') + ":*:Any\n";
    SignatureParser::ParseText(text, SignatureFormat::Hsb, signatures);
    const SignatureDatabase database(std::move(signatures), 4);
    EXPECT_EQ(database.MalformedLines(), 4u);

    const std::uint8_t md5[16] = {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                  0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11};
    ASSERT_NE(database.Find(HashKind::Md5, md5, 10), nullptr);
    EXPECT_EQ(database.Find(HashKind::Md5, md5, 10)->recordNumber, 1u);
    EXPECT_EQ(database.Find(HashKind::Md5, md5, 11), nullptr);

    EXPECT_TRUE(database.Needs(HashKind::Md5, 10));
    EXPECT_FALSE(database.Needs(HashKind::Md5, 11));
    EXPECT_TRUE(database.Needs(HashKind::Sha256, 12345)); // a "*" size fits every file
    EXPECT_FALSE(database.Needs(HashKind::Sha1, 10));
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
        EXPECT_EQ(verdict.level, row.level) << row.name;
        EXPECT_EQ(verdict.subLevel, row.subLevel) << row.name;
    }
}

TEST(SignatureParsing, EicarIsTheStandardTextWithOnlyWhitespaceAfterIt)
{
    const std::string eicar = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
    auto matches = [](const std::string& text) {
        return EicarCheck::Matches(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    };
    EXPECT_TRUE(matches(eicar));
    EXPECT_TRUE(matches(eicar + " \t\r\n"));
    EXPECT_FALSE(matches(eicar + "x"));
    EXPECT_FALSE(matches(" " + eicar));
    EXPECT_FALSE(matches(eicar.substr(0, 67)));
    EXPECT_FALSE(matches(eicar + std::string(61, ' '))); // 129 bytes
}

TEST(SignatureParsing, ControlsMatchFullPathsOrBareFileNames)
{
    const TestControls controls = TestControls::Parse(L"[Controls]\r\n DelayMs = 25 \r\nWorkers=3\r\n"
                                                      L"NeverAnswer=C:\\Data\\Stuck.bin\r\nAnswerTwice=twice.txt\r\n"
                                                      L"Refuse=no.txt\r\nRefuse=also.txt\r\nBogus=1\r\nDelayMs\r\n");
    EXPECT_EQ(controls.DelayMs(), 25u);
    EXPECT_EQ(controls.Workers(), 3u);
    EXPECT_TRUE(controls.NeverAnswers(L"c:\\data\\stuck.BIN"));
    EXPECT_FALSE(controls.NeverAnswers(L"D:\\Data\\Stuck.bin"));
    EXPECT_TRUE(controls.AnswersTwice(L"C:\\any\\where\\TWICE.txt"));
    EXPECT_TRUE(controls.Refuses(L"C:\\x\\also.txt"));
    EXPECT_FALSE(controls.Refuses(L"C:\\x\\no.txt.bak"));
    EXPECT_EQ(TestControls::Parse(L"").DelayMs(), 0u);
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
    EXPECT_EQ(decoded->second, header.size());
    EXPECT_EQ(decoded->first.md5, record.md5);
    EXPECT_EQ(decoded->first.size, record.size);
    EXPECT_EQ(decoded->first.originalPath, record.originalPath);
    EXPECT_EQ(decoded->first.threatName, record.threatName);
    for (std::size_t cut = 0; cut < header.size(); ++cut)
        EXPECT_FALSE(QuarantineRecord::DecodeHeader(header.substr(0, cut))) << cut;

    std::uint8_t bytes[5] = {1, 2, 3, 4, 5};
    QuarantineRecord::Flip(bytes, 2, 0);
    QuarantineRecord::Flip(bytes + 2, 3, 2);
    QuarantineRecord::Flip(bytes, 5, 0); // in pieces or whole, the same
    EXPECT_EQ(bytes[4], 5);
    EXPECT_EQ(bytes[0], 1);
}
