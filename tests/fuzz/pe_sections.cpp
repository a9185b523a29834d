// A PE file's first bytes; the section table reader must keep every section
// it returns inside the file.
#include "substitute/pe/PeSectionTable.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>

using namespace Substitute;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // The first two bytes make the file longer than what was read of it.
    const std::uint64_t fileSize = size - 2 + (static_cast<std::uint64_t>(data[0]) << 8 | data[1]);
    const PeSections table = PeSectionTable::Read(data + 2, size - 2, fileSize);
    FUZZ_CHECK(table.sections.size() <= PeSectionTable::kMaxSections);
    for (const PeSection& section : table.sections) {
        FUZZ_CHECK(section.size != 0);
        FUZZ_CHECK(section.offset + section.size <= fileSize);
    }
    FUZZ_CHECK(!table.entryPoint || *table.entryPoint < fileSize);
    if (table.shape != PeSections::Shape::Pe)
        FUZZ_CHECK(table.sections.empty());
    return 0;
}
