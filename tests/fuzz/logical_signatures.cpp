// Logical signature lines, then (after the first NUL) a file to scan: every
// sub-signature of a line read has a body, and the verdict does not depend on how the file is cut into reads.
#include "substitute/logical/LogicalSignature.h"
#include "substitute/logical/LogicalSignatureSet.h"
#include "substitute/match/BodyScanner.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <cstring>
#include <string_view>

using namespace Substitute;

namespace {

std::optional<std::uint32_t> Scan(const BodySignatureSet& bodies, const LogicalSignatureSet& logicals,
                                  const uint8_t* data, size_t size, size_t piece)
{
    BodyScanner scanner;
    const PeSections layout = PeSectionTable::Read(data, size, size);
    scanner.Begin(bodies, layout, size);
    for (size_t at = 0; at < size; at += piece)
        scanner.Feed(data + at, std::min(piece, size - at));
    FUZZ_CHECK(!scanner.End());
    return logicals.Match(scanner.SubCounts(), scanner.MatchedSubs(), layout, size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto* split = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t textSize = split == nullptr ? size : static_cast<size_t>(split - data);
    const std::string_view text(reinterpret_cast<const char*>(data), textSize);
    BodySignatureSet bodies;
    LogicalSignatureSet logicals;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        LogicalLine line = LogicalSignatureParser::ParseLine(text.substr(start, end - start));
        FUZZ_CHECK((line.status == LineStatus::Malformed) == !line.why.empty() ||
                   line.status == LineStatus::OtherLevel);
        if (line.status == LineStatus::Signature) {
            LogicalSignature& signature = line.signature;
            FUZZ_CHECK(signature.subCount >= 1 && signature.subCount <= LogicalExpression::kMaxSubSignatures);
            FUZZ_CHECK(signature.expression.HighestIndex() + 1 == signature.subCount);
            std::uint64_t covered = 0; // a bit per sub-signature with a body
            for (const BodySignature& body : signature.bodies)
                covered |= body.sub < signature.subCount ? std::uint64_t{1} << body.sub : 0;
            FUZZ_CHECK(covered + 1 == (signature.subCount == 64 ? 0 : std::uint64_t{1} << signature.subCount));
            std::vector<BodySignature> own = std::move(signature.bodies);
            const std::uint32_t first = logicals.Add(std::move(signature));
            for (BodySignature& body : own) {
                body.sub += first;
                bodies.Add(std::move(body));
            }
        }
        start = end + 1;
    }
    bodies.Finish();
    logicals.Finish();
    const uint8_t* file = split == nullptr ? data + size : split + 1;
    const size_t fileSize = static_cast<size_t>(data + size - file);
    const auto whole = Scan(bodies, logicals, file, fileSize, fileSize == 0 ? 1 : fileSize);
    FUZZ_CHECK(!whole || *whole < logicals.Size());
    FUZZ_CHECK(whole == Scan(bodies, logicals, file, fileSize, 7));
    return 0;
}
