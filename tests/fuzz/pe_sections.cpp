// A file's bytes (after a first byte that picks the read size): its PE
// layout keeps every section inside the file, and the sections it says are
// hashed are hashed as the scanner's chunks go by, whatever their size: a
// database listing one section's digest (taken here in one piece) flags the
// file. The section table may hold 65535 headers: the per-input time limit
// (tests/fuzz/run) makes a slow table a finding.
#include "substitute/pe/PeSectionTable.h"
#include "substitute/database/SignatureDatabaseBuilder.h"
#include "substitute/scan/SectionHashes.h"
#include "tests/fuzz/FuzzCheck.h"

#include <gcrypt.h>

#include <cstdint>
#include <cstdio>
#include <string>

using namespace Substitute;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const size_t piece = 1 + data[0] * 17;
    ++data;
    --size;
    const PeSections layout = PeSectionTable::Read(data, size, size);
    const PeSection* hashed = nullptr;
    for (const PeSection& section : layout.sections) {
        FUZZ_CHECK(section.size == 0 || section.offset + section.size <= size);
        if (hashed == nullptr && section.size != 0 && layout.HashesSections())
            hashed = &section;
    }
    FUZZ_CHECK(!layout.entryPoint || *layout.entryPoint < size);
    FUZZ_CHECK(layout.PlacesOffsets() == layout.entryPoint.has_value());
    if (layout.shape == PeSections::Shape::NotPe || layout.shape == PeSections::Shape::Broken)
        FUZZ_CHECK(layout.sections.empty());
    if (hashed == nullptr)
        return 0;

    std::uint8_t md5[16];
    gcry_md_hash_buffer(GCRY_MD_MD5, md5, data + hashed->offset, static_cast<size_t>(hashed->size));
    std::string line;
    char hex[3];
    for (std::uint8_t byte : md5) {
        std::snprintf(hex, sizeof hex, "%02x", byte);
        line += hex;
    }
    line = std::to_string(hashed->size) + ":" + line + ":Win.Trojan.Section-1";
    SignatureDatabaseBuilder builder;
    const ParsedLine parsed = SignatureParser::ParseLine(line, SignatureFormat::Mdb);
    FUZZ_CHECK(parsed.status == LineStatus::Signature);
    builder.Add(parsed.signature);
    const auto database = builder.Finish();
    SectionHashes hashes;
    hashes.Begin(*database, layout, size);
    for (size_t at = 0; at < size; at += piece)
        hashes.Feed(at, data + at, std::min(piece, size - at));
    FUZZ_CHECK(hashes.Finish(*database).has_value());
    return 0;
}
