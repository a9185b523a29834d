// A .cvd/.cld container, fed in pieces: header, gzip and tar reading, and
// the checks of its member list (with a stand-in digest: the count of bytes).
// The first byte picks the piece size, whether a ready header comes first
// and whether the container is checked.
#include "substitute/database/DatabaseReader.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <memory>
#include <string>

using namespace Substitute;

namespace {

class CountingDigest final : public ContainerChecks::Digest {
public:
    void Add(std::string_view bytes) override { count_ += bytes.size(); }
    std::string Hex() override { return std::to_string(count_); }

private:
    std::size_t count_ = 0;
};

} // namespace

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

    ContainerChecks checks;
    checks.md5 = checks.sha256 = [] { return std::make_unique<CountingDigest>(); };
    checks.signsDigest = [](std::string_view md5, std::string_view dsig) { return md5 == dsig; };
    SignatureDatabaseBuilder builder;
    SignatureLoadReport report;
    {
        DatabaseReader reader(data[0] & 0x40 ? "daily.cvd" : "daily.cld", builder, report,
                              data[0] & 0x20 ? &checks : nullptr);
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
