// A signature database's text, fed in pieces; the first byte picks the kind.
#include "substitute/database/SignatureDatabaseBuilder.h"
#include "substitute/database/SignatureLines.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>

using namespace Substitute;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const auto format = static_cast<SignatureFormat>(data[0] % kSignatureFormatCount);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    SignatureDatabaseBuilder builder;
    SignatureLoadReport report;
    SourceCounts counts;
    SignatureLines lines("fuzz", format, "fuzz", builder, counts, report);
    // Pieces of varying length, so that lines are cut at every place.
    for (std::size_t at = 0, piece = 1; at < text.size(); at += piece, piece = piece * 3 % 17 + 1)
        lines.Feed(text.substr(at, piece));
    lines.End();
    const auto database = builder.Finish();
    std::size_t loaded = 0;
    for (std::size_t count : counts.loaded)
        loaded += count;
    FUZZ_CHECK(database->Count() <= loaded);
    FUZZ_CHECK(report.problems.size() <= SignatureLoadReport::kProblemsKept);
    FUZZ_CHECK(report.problems.size() <= counts.malformed);
    // Every line that parses once parses the same way again.
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        const ParsedLine parsed = SignatureParser::ParseLine(line, format);
        if (parsed.status == LineStatus::Signature) {
            FUZZ_CHECK(!parsed.signature.name.empty());
            FUZZ_CHECK(parsed.signature.name.find(':') == std::string_view::npos);
        }
        start = end + 1;
    }
    return 0;
}
