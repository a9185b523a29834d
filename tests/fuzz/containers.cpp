// A .cvd/.cld container, fed in pieces: header, gzip and tar reading. The
// first byte picks the piece size and whether a ready header comes first.
#include "substitute/database/DatabaseReader.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <string>

using namespace Substitute;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = data[0] % 64 + 1;
    std::string bytes;
    if (data[0] & 0x80) {
        bytes = "ClamAV-VDB:07 Dec 2026 12-00 +0000:27000:1000:90:x:y:builder:1";
        bytes.resize(ContainerHeader::kBytes, ' ');
    }
    bytes.append(reinterpret_cast<const char*>(data + 1), size - 1);

    SignatureDatabaseBuilder builder;
    SignatureLoadReport report;
    {
        DatabaseReader reader("daily.cld", builder, report);
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            reader.Feed(std::string_view(bytes).substr(at, piece));
        reader.End();
    }
    const auto database = builder.Finish();
    // A broken container leaves nothing behind.
    if (report.brokenSources != 0)
        FUZZ_CHECK(database->Count() == 0 && report.containers.empty());
    FUZZ_CHECK(report.brokenSources + report.containers.size() == 1);
    return 0;
}
