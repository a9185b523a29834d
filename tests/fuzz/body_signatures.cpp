// Body signature lines, then (after the first NUL) the bytes of a file to
// scan with them: the verdict must not depend on how the file is cut into
// reads, no accepted pattern may match a file too short to hold two bytes,
// and no pattern may stall a scan: the file repeated to a MiB is scanned with
// the first few signatures within a time budget, far above what verifying
// each found fragment over its part's length costs.
#include "substitute/match/BodyScanner.h"
#include "substitute/match/BodySignature.h"
#include "tests/fuzz/FuzzCheck.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

using namespace Substitute;

namespace {

std::optional<std::uint32_t> Scan(const BodySignatureSet& set, const uint8_t* data, size_t size, size_t piece)
{
    BodyScanner scanner;
    const PeSections layout = PeSectionTable::Read(data, size, size);
    scanner.Begin(set, layout, size);
    for (size_t at = 0; at < size; at += piece)
        scanner.Feed(data + at, std::min(piece, size - at));
    return scanner.End();
}

constexpr size_t kMagnified = 1 << 20;
constexpr size_t kTimedSignatures = 4;
constexpr auto kBudget = std::chrono::seconds(2);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t textSize = split == nullptr ? size : static_cast<size_t>(split - data);
    const std::string_view text(reinterpret_cast<const char*>(data), textSize);
    BodySignatureSet set, timed;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        BodyLine line = BodySignatureParser::ParseLine(text.substr(start, end - start));
        FUZZ_CHECK((line.status == LineStatus::Malformed) == (line.why != nullptr));
        if (line.status == LineStatus::Signature) {
            for (const BodyPart& part : line.signature.pattern.parts) {
                FUZZ_CHECK(part.fragment.size() >= BodyPattern::kMinFragment);
                FUZZ_CHECK(part.maxLength <= BodyPattern::kMaxPartLength);
                FUZZ_CHECK(part.fragmentMax + part.fragment.size() <= part.maxLength);
            }
            if (timed.Size() < kTimedSignatures)
                timed.Add(line.signature);
            set.Add(std::move(line.signature));
        }
        start = end + 1;
    }
    set.Finish();
    const uint8_t* file = split == nullptr ? data + size : split + 1;
    const size_t fileSize = static_cast<size_t>(data + size - file);
    const auto whole = Scan(set, file, fileSize, fileSize == 0 ? 1 : fileSize);
    FUZZ_CHECK(!whole || *whole < set.Size());
    FUZZ_CHECK(whole.has_value() == Scan(set, file, fileSize, 7).has_value());
    FUZZ_CHECK(!Scan(set, file, std::min<size_t>(fileSize, 1), 1));
    if (fileSize != 0 && !timed.Empty()) {
        timed.Finish();
        std::vector<uint8_t> large;
        while (large.size() < kMagnified)
            large.insert(large.end(), file, file + fileSize);
        const auto started = std::chrono::steady_clock::now();
        Scan(timed, large.data(), large.size(), 1 << 16);
        FUZZ_CHECK(std::chrono::steady_clock::now() - started < kBudget);
    }
    return 0;
}
