// The signature store's pure parts: lookups, containers as they arrive in
// pieces, and the PE section table, against the damage real files carry.
#include <gtest/gtest.h>
#include <zlib.h>

#include "substitute/match/BodyScanner.h"
#include "substitute/database/DatabaseReader.h"
#include "substitute/database/GcryptContainerChecks.h"
#include "substitute/hash/DigestSignature.h"
#include "substitute/pe/PeSectionTable.h"
#include "substitute/database/SignatureDatabaseBuilder.h"
#include "tests/substitute/SignatureFiles.h"

using namespace Substitute;
using namespace SignatureFiles;

namespace {

struct Loaded {
    std::unique_ptr<const SignatureDatabase> database;
    SignatureLoadReport report;
};

// Reads files (name, bytes) in the given order, fed in pieces of `piece` bytes.
Loaded Load(const std::vector<std::pair<std::string, std::string>>& files, std::size_t piece = 1 << 20,
            const ContainerChecks* checks = nullptr)
{
    Loaded loaded;
    SignatureDatabaseBuilder builder;
    for (const auto& [name, bytes] : files) {
        if (!DatabaseReader::Reads(name))
            continue;
        DatabaseReader reader(name, builder, loaded.report, checks);
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            reader.Feed(std::string_view(bytes).substr(at, piece));
        reader.End();
    }
    loaded.database = builder.Finish();
    return loaded;
}

std::string Found(const SignatureDatabase& database, HashTable table, const std::string& hex, std::uint64_t size)
{
    const std::string digest = Unhex(hex);
    const HashKind kind = digest.size() == 16 ? HashKind::Md5 : digest.size() == 20 ? HashKind::Sha1 : HashKind::Sha256;
    const auto match = database.Find(table, kind, reinterpret_cast<const std::uint8_t*>(digest.data()), size);
    return match ? std::string(match->name) + " #" + std::to_string(match->recordNumber) : "-";
}

const std::string kMd5A(32, 'a'), kMd5B(32, 'b'), kSha256(64, 'c'), kSha1(40, 'd');

} // namespace

TEST(SignatureDatabase, FindsByDigestAndSizeExactSizeAndLastLoadedFirstAndSilencesIgnoredNames)
{
    const Loaded loaded = Load({
        {"a.hdb",
         kMd5A + ":10:Win.Trojan.Ten-1\n" + kMd5A + ":*:Win.Trojan.Any-2:73\n" + kMd5B + ":5:Win.Trojan.Five-3"},
        {"b.hsb", kSha256 + ":7:Win.Worm.Seven-4\n"},
        {"c.mdb", "4096:" + kMd5B + ":Win.Virus.Section-5\n"},
        {"d.fp", kMd5B + ":5:Clean.Five\n"},
        {"e.ign2", "Win.Trojan.Ten-1\n"},
        {"f.cdb", "Name:CL_TYPE_ZIP:*:*:*:*:*:*\n\n# comment\nOther:CL_TYPE_ZIP:*:*:*:*:*:*\n"},
        {"g.txt", "not counted\n"},
        {"h.hdb", kMd5B + ":5:Win.Trojan.Later-6\n" + kMd5B + ":*:Win.Trojan.AnySize-7:73\n"},
        // Skipped kinds count signatures: one bytecode a file, YARA rules, none in a configuration.
        {"i.cbc", "ClamBCafhaio\nmore of the same bytecode\n"},
        {"j.yar", "rule One {\n  condition: true\n}\nprivate global rule Two\n{\n  condition: false\n}\n"},
        {"k.cfg", "DOCUMENT:0x1:1:1\n"},
        {"l.ioc", "an indicator\n"},
    });
    const SignatureDatabase& database = *loaded.database;
    EXPECT_EQ("Win.Trojan.Any-2 #2", Found(database, HashTable::File, kMd5A, 10)); // #1 is silenced
    EXPECT_EQ("Win.Trojan.Any-2 #2", Found(database, HashTable::File, kMd5A, 11));
    EXPECT_EQ("Win.Trojan.Later-6 #6", Found(database, HashTable::File, kMd5B, 5));
    EXPECT_EQ("Win.Trojan.AnySize-7 #7", Found(database, HashTable::File, kMd5B, 6));
    EXPECT_EQ("Win.Worm.Seven-4 #4", Found(database, HashTable::File, kSha256, 7));
    EXPECT_EQ("-", Found(database, HashTable::File, kSha256, 8));
    EXPECT_EQ("Win.Virus.Section-5 #5", Found(database, HashTable::Section, kMd5B, 4096));
    EXPECT_EQ("-", Found(database, HashTable::File, kMd5A.substr(1) + "f", 10));
    EXPECT_EQ("Clean.Five #0", Found(database, HashTable::Allowed, kMd5B, 5));
    // Hashes nobody could match are not computed.
    EXPECT_TRUE(database.Needs(HashKind::Sha256, 7));
    EXPECT_FALSE(database.Needs(HashKind::Sha256, 8));
    EXPECT_FALSE(database.Needs(HashKind::Sha1, 7));
    EXPECT_TRUE(database.NeedsSection(HashKind::Md5, 4096));
    EXPECT_FALSE(database.NeedsSection(HashKind::Md5, 4097));
    EXPECT_EQ("signatures loaded: 5 hdb, 1 hsb, 1 mdb, 1 fp, 1 ign2; skipped: 1 cbc, 2 cdb, 1 ioc, 2 yar",
              loaded.report.Summary());
}

TEST(SignatureDatabase, ContainersAreReadCompressedOrNotAndLinesCutBetweenReadsStayWhole)
{
    const std::string members = Tar({{"daily.hdb", kMd5A + ":10:Win.Trojan.Packed-1\n"},
                                     {"daily.msb", "*:" + kSha1 + ":Win.Trojan.Section-2:73\n"},
                                     {"daily.cdb", "Sig:CL_TYPE_ZIP:*:*:*:*:*:*\n"},
                                     {"COPYING", ""}});
    for (std::size_t piece : {std::size_t(1) << 20, std::size_t(7)}) {
        const Loaded loaded =
            Load({{"daily.cld", Header(27000, 3) + members},
                  {"main.cvd", Header(62, 1) + Gzip(Tar({{"main.hdb", kMd5B + ":5:Win.Trojan.Main-3"}}))}},
                 piece);
        EXPECT_EQ("Win.Trojan.Packed-1 #1", Found(*loaded.database, HashTable::File, kMd5A, 10)) << piece;
        EXPECT_EQ("Win.Trojan.Section-2 #2", Found(*loaded.database, HashTable::Section, kSha1, 99)) << piece;
        EXPECT_EQ("Win.Trojan.Main-3 #3", Found(*loaded.database, HashTable::File, kMd5B, 5)) << piece;
        EXPECT_EQ("signatures loaded: 2 hdb, 1 msb; skipped: 1 cdb; containers: daily.cld version 27000, "
                  "main.cvd version 62",
                  loaded.report.Summary());
    }
}

TEST(SignatureDatabase, ABrokenContainerIsSkippedWholeAndABadMemberAlone)
{
    const std::string good = Tar({{"x.hdb", kMd5A + ":10:Win.Trojan.Lost-1\n"}});
    const std::string tarred =
        Tar({{"x.hdb", kMd5A + ":10:Win.Trojan.Lost-1\n"}, {"y.hdb", kMd5B + ":5:Win.Trojan.Y-2\n"}});
    std::string liar = good;
    liar.replace(124, 11, "77777777777"); // a member larger than the archive
    liar.replace(148, 8, Checksum(liar));
    std::string badGzip = Gzip(tarred);
    badGzip[badGzip.size() / 2] ^= 0x55;
    const std::string cases[] = {
        Header(1, 2) + tarred.substr(0, 700),      // cut inside a member
        Header(1, 2) + Gzip(tarred).substr(0, 40), // compressed data cut short
        Header(1, 2) + badGzip,                    // damaged compressed data
        Header(1, 2) + liar,                       // a header lying about sizes
        Header(1, 2).substr(0, 300),               // less than a header
        std::string(512, ' ') + tarred,            // not a header
        Header(1, 2) + Tar({{"z.ndb", "Win.Trojan.Gone-9:0:*:41424344\n"}, {"y.hdb", kMd5B}}).substr(0, 1200),
    };
    for (const std::string& container : cases) {
        const Loaded loaded = Load({{"bad.cvd", container}, {"ok.hdb", kSha1.substr(0, 32) + ":1:Win.Trojan.Ok-1"}});
        EXPECT_EQ(1u, loaded.database->Count()) << loaded.report.Summary();
        EXPECT_TRUE(loaded.database->Bodies().Empty());
        EXPECT_EQ("Win.Trojan.Ok-1 #1", Found(*loaded.database, HashTable::File, kSha1.substr(0, 32), 1));
        EXPECT_EQ("-", Found(*loaded.database, HashTable::File, kMd5A, 10));
        EXPECT_EQ(1u, loaded.report.brokenSources);
        ASSERT_EQ(1u, loaded.report.problems.size());
        EXPECT_EQ(0u, loaded.report.problems[0].rfind("bad.cvd: ", 0)) << loaded.report.problems[0];
    }
    const Loaded members = Load({{"m.cld", Header(5, 1) + Tar({{"../up.hdb", kMd5A + ":10:Up-1\n"},
                                                               {"/abs.hdb", kMd5A + ":10:Abs-2\n"},
                                                               {"c:x.hdb", kMd5A + ":10:Drive-3\n"},
                                                               {"in.hdb", kMd5A + ":10:Kept-4\nbroken line\n"}})}});
    EXPECT_EQ("Kept-4 #1", Found(*members.database, HashTable::File, kMd5A, 10));
    EXPECT_EQ(3u, members.report.rejectedEntries);
    EXPECT_EQ(1u, members.report.counts.malformed);
    EXPECT_EQ("m.cld/in.hdb:2: malformed line", members.report.problems.back());

    // Every broken file is named, however many problems came before it.
    std::vector<std::pair<std::string, std::string>> broken;
    for (char file = 'a'; file <= 'g'; ++file)
        broken.push_back({std::string(1, file) + ".hdb", "bad\nworse\n"});
    const Loaded many = Load(broken);
    EXPECT_EQ(14u, many.report.problemCount);
    EXPECT_EQ(9u, many.report.problems.size()); // the first five, then the first of each further file
    EXPECT_EQ("g.hdb:1: malformed line", many.report.problems.back());
}

TEST(SignatureDatabase, AContainerIsTrustedOnlyWhenItsDigestsAndSignaturesHold)
{
    const ContainerChecks checks = GcryptContainerChecks();
    const std::string hdb = kMd5A + ":10:Win.Trojan.Listed-1\n";
    const std::string hdbSha256 = "6cbdb393bdaa2958122420b8b26f960d9b6c656aaa93a4a1ac424156e81616e1";
    const auto info = [&](const std::string& lines) { return Header(5, 1).substr(0, 64) + "\n" + lines; };
    const auto container = [](const std::string& tar, const char* md5) {
        std::string header = Header(5, 1);
        header.replace(header.find("0123:sig"), 8, std::string(md5) + ":sig");
        header.resize(512, ' ');
        return header + tar;
    };
    const std::string listed = "x.hdb:" + std::to_string(hdb.size()) + ":" + hdbSha256 + "\n";
    const std::pair<std::string, std::string> cases[] = {
        // A .cld's header is not checked (updates rewrite its contents); its list is.
        {"", container(Tar({{"x.hdb", hdb}, {"COPYING", "text"}, {"d.info", info(listed + "DSIG:x\n")}}), "0")},
        {"its .info carries no digital signature", container(Tar({{"d.info", info(listed)}, {"x.hdb", hdb}}), "0")},
        {"no .info member lists its files", container(Tar({{"x.hdb", hdb}}), "0")},
        {"x.hdb is not listed in its .info", container(Tar({{"d.info", info("DSIG:x\n")}, {"x.hdb", hdb}}), "0")},
        {"x.hdb does not match its size and SHA-256 in its .info",
         container(Tar({{"d.info", info(listed + "DSIG:x\n")}, {"x.hdb", hdb + "\n"}}), "0")},
    };
    for (const auto& [why, bytes] : cases) {
        const Loaded loaded = Load({{"d.cld", bytes}}, 700, &checks);
        EXPECT_EQ(why.empty() ? 1u : 0u, loaded.database->Count()) << why;
        EXPECT_EQ(why.empty() ? "" : "d.cld: " + why + "; skipped",
                  loaded.report.problems.empty() ? "" : loaded.report.problems[0]);
    }
    // A .cvd's header carries the MD5 of what follows it, signed by ClamAV.
    const std::string body = Gzip(Tar({{"d.info", info(listed)}, {"x.hdb", hdb}}));
    const Loaded wrongMd5 = Load({{"d.cvd", container(body, "00")}}, 700, &checks);
    EXPECT_EQ("d.cvd: its header's MD5 does not match its contents; skipped", wrongMd5.report.problems.at(0));
    EXPECT_EQ(1u, Load({{"d.cvd", container(body, "00")}}).database->Count()); // taken unsigned when asked
    const std::unique_ptr<ContainerChecks::Digest> md5 = checks.md5();
    md5->Add(body);
    const Loaded unsigned_ = Load({{"d.cvd", container(body, md5->Hex().c_str())}}, 700, &checks);
    EXPECT_EQ("d.cvd: its header's digital signature does not verify; skipped", unsigned_.report.problems.at(0));

    // The modulus plus one stands for 1 whatever the exponent: 01 then zeros.
    const std::string one = "UctykDLxAAlEh1YJeu3k1exmMKe4GA4oKZpV59nk2QLSQiN+zoDIjBLuIlTvDcPypmPHL4YQpH8Y6iE4hS7CbGDlfPY2Jo"
                            "ajxwjQOYOqrsr3Sxii08F0UFlJ6I0UiymK6u83TrfM6fz4GrnNad3u3qcWeXo/mcMhUaPRRShtZJk";
    const std::string digestOfOne = "01" + std::string(30, '0');
    EXPECT_TRUE(DigestSignature::Signs(digestOfOne, one));
    EXPECT_FALSE(DigestSignature::Signs(digestOfOne, "b" + one));     // times 64, plus 1
    EXPECT_FALSE(DigestSignature::Signs(std::string(32, '0'), one));
    EXPECT_FALSE(DigestSignature::Signs(digestOfOne, one + "!"));
}

// The layout clamscan computes: sizes and starts aligned to FileAlignment
// (0x200 here), the last section cut by the file's end, one wholly past the
// end kept empty so that Sx still counts it, an entry point in the headers.
TEST(SignatureDatabase, SectionTableIsTheLayoutClamscanComputes)
{
    std::string image = Pe({{0x210, 0x100}, {0x400, 0x400}, {0x2000, 0x200}, {0x800, 0x1000}});
    const auto put32 = [&](std::size_t at, std::uint32_t value) { std::memcpy(&image[at], &value, 4); };
    put32(0x40 + 24 + 36, 0x200); // FileAlignment
    put32(0x40 + 24 + 60, 0x200); // SizeOfHeaders
    put32(0x40 + 24 + 16, 0x20);  // the entry point, inside the headers
    image.resize(0xA00);
    const auto read = [](const std::string& bytes, std::size_t head) {
        return PeSectionTable::Read(reinterpret_cast<const std::uint8_t*>(bytes.data()), head, bytes.size());
    };
    const PeSections table = read(image, image.size());
    EXPECT_EQ(PeSections::Shape::Pe, table.shape);
    std::string layout;
    for (const PeSection& section : table.sections)
        layout += std::to_string(section.offset) + "+" + std::to_string(section.size) + " ";
    EXPECT_EQ("512+512 1024+1024 8192+0 2048+512 ", layout);
    EXPECT_EQ(0x20u, table.entryPoint.value_or(0));
    // No sections (the entry point in the headers notwithstanding), an entry
    // point no section maps, a table past what the caller read or past the
    // end: clamscan cannot read the header.
    std::string none = image;
    none[0x46] = '\0';
    EXPECT_EQ(PeSections::Shape::Broken, read(none, none.size()).shape);
    put32(0x40 + 24 + 16, 0x9000);
    EXPECT_EQ(PeSections::Shape::Broken, read(image, image.size()).shape);
    EXPECT_EQ(PeSections::Shape::Broken, read(image, 0x100).shape);
    EXPECT_EQ(PeSections::Shape::Broken, read(image.substr(0, 0x150), 0x150).shape);
    EXPECT_EQ(PeSections::Shape::NotPe, read(image.substr(1), image.size() - 1).shape);
}

TEST(SignatureDatabase, NamesComeBackAsWrittenWhateverTheirDigits)
{
    NamePool pool;
    const std::string names[] = {"Win.Trojan.Agent-6268370-0",
                                 "Win.Trojan.Agent-6268371-0",
                                 "Win.Trojan.Agent-007",
                                 "Win.Trojan.Agent-98765432109",
                                 "NoDigits",
                                 "9",
                                 "Html.Phish-0-00",
                                 "a1b22c333"};
    std::vector<NameRef> references;
    for (const std::string& name : names)
        references.push_back(pool.Intern(name));
    pool.FinishAdding();
    for (std::size_t i = 0; i < references.size(); ++i)
        EXPECT_EQ(names[i], pool.At(references[i]));
    // One family, one pattern.
    EXPECT_EQ(references[0].pattern, references[1].pattern);
}

// Body signatures from a loose file and a container, at the offsets images
// have: each image below holds one planted pattern, at its place or one byte off.
TEST(SignatureDatabase, BodySignaturesFindTheirPlaceInAnImage)
{
    const Loaded loaded = Load({
        {"a.ndb",
         "Win.Trojan.Ep-1:1:EP+2:c0ffee11\nWin.Trojan.Sect-2:1:S1+4,3:dead0001\nWin.Trojan.Whole-3:1:SE0:beef02\n"
         "Win.Trojan.Last-4:1:SL+0:cafe03\nWin.Trojan.End-5:0:EOF-4:f00d0004\nWin.Trojan.Quiet-6:0:*:0badc0de\n"},
        {"b.cld",
         Header(3, 1) + Tar({{"b.ndb", "Win.Trojan.Boxed-7:0:16,2:b0c5b0c5\n"}, {"b.ign2", "Win.Trojan.Quiet-6\n"}})},
    });
    EXPECT_EQ("signatures loaded: 1 ign2, 7 ndb; containers: b.cld version 3", loaded.report.Summary());
    const SignatureDatabase& database = *loaded.database;
    // Sections at 0x200, 0x300 and 0x400, mapped at 0x1000, 0x2000 and 0x3000;
    // the entry point at 0x2010 lies at 0x310 in the file.
    std::string image = Pe({{0x200, 0x100}, {0x300, 0x100}, {0x400, 0x80}});
    image.resize(0x480, '\x90');
    for (std::uint32_t i = 0; i < 3; ++i) {
        const std::uint32_t rva = 0x1000 * (i + 1);
        std::memcpy(&image[0x40 + 24 + 0xE0 + 40 * i + 12], &rva, 4);
    }
    const std::uint32_t entry = 0x2010;
    std::memcpy(&image[0x40 + 24 + 16], &entry, 4);
    const auto found = [&](const std::string& bytes) -> std::string {
        const auto data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        BodyScanner scanner;
        scanner.Begin(database.Bodies(), PeSectionTable::Read(data, bytes.size(), bytes.size()), bytes.size());
        scanner.Feed(data, bytes.size());
        const auto index = scanner.End();
        if (!index)
            return "-";
        const SignatureMatch match = database.BodyMatch(*index);
        return std::string(match.name) + " #" + std::to_string(match.recordNumber);
    };
    const auto planted = [&](std::size_t at, const std::string& hex) {
        return std::string(image).replace(at, hex.size() / 2, Unhex(hex));
    };
    const struct {
        std::size_t at;
        const char* hex;
        const char* name;
    } rows[] = {
        // clang-format off
        {0x312, "c0ffee11", "Win.Trojan.Ep-1 #1"}, {0x313, "c0ffee11", "-"},
        {0x307, "dead0001", "Win.Trojan.Sect-2 #2"}, {0x308, "dead0001", "-"},
        {0x300, "beef02", "Win.Trojan.Whole-3 #3"}, {0x301, "beef02", "-"}, // SE0 ends just past the section
        {0x400, "cafe03", "Win.Trojan.Last-4 #4"}, {0x401, "cafe03", "-"},
        {0x47c, "f00d0004", "Win.Trojan.End-5 #5"}, {0x47b, "f00d0004", "-"},
        {0x100, "0badc0de", "-"}, // silenced
        {0x12, "b0c5b0c5", "Win.Trojan.Boxed-7 #7"}, {0x13, "b0c5b0c5", "-"},
    };
    // clang-format on
    for (const auto& row : rows)
        EXPECT_EQ(row.name, found(planted(row.at, row.hex))) << row.at << " " << row.hex;
    // Not an image: its entry point and sections are nowhere.
    std::string plain = planted(0x312, "c0ffee11");
    plain[0] = 'Z';
    EXPECT_EQ("-", found(plain));
}
