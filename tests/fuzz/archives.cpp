// The archive readers (zip directory and local headers, tar, gzip and raw
// inflation, nesting) under small limits: whatever the bytes, every entry
// handed on fits max-filesize, the entries together fit max-scansize and
// max-files, and the walk ends. The first byte picks the limits.
#include "substitute/archive/ArchiveWalker.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>

using namespace Substitute;

namespace {

class CountingJudge final : public EntryJudge {
public:
    explicit CountingJudge(const ArchiveLimits& limits) : limits_(limits) {}
    Verdict Judge(const std::uint8_t* data, std::size_t size) override
    {
        FUZZ_CHECK(size <= limits_.maxFileSize);
        ++entries;
        bytes += size;
        // Touch every byte, so that a view past its container is caught.
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i < size; ++i)
            sum ^= data[i];
        return sum == 0x5A ? Verdict::Found : Verdict::Clean;
    }
    bool Cancelled() const override { return false; }

    std::uint32_t entries = 0;
    std::uint64_t bytes = 0;

private:
    const ArchiveLimits& limits_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    ArchiveLimits limits;
    limits.maxFileSize = 64u << (data[0] & 7);
    limits.maxScanSize = 4 * limits.maxFileSize;
    limits.maxFiles = 1 + (data[0] >> 3 & 15);
    limits.maxRecursion = 1 + (data[0] >> 7) * 4;
    limits.maxScanTimeMs = 5000;
    limits.alertEncrypted = (data[0] & 0x40) != 0;
    CountingJudge judge(limits);
    ArchiveWalker walker(limits, judge);
    const WalkOutcome outcome = walker.Walk(data + 1, size - 1);
    FUZZ_CHECK(outcome.entries == judge.entries && outcome.bytes == judge.bytes);
    FUZZ_CHECK(judge.entries <= limits.maxFiles);
    FUZZ_CHECK(judge.bytes <= limits.maxScanSize);
    FUZZ_CHECK(outcome.shortfall.empty() == (outcome.shortfalls == 0));
    return 0;
}
