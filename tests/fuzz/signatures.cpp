// A signature database's text; the first byte picks .hdb or .hsb.
#include "substitute/SignatureParser.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>

using namespace Substitute;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const SignatureFormat format = data[0] & 1 ? SignatureFormat::Hsb : SignatureFormat::Hdb;
    std::vector<HashSignature> signatures;
    const ParseCounts counts =
        SignatureParser::ParseText(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), format, signatures);
    FUZZ_CHECK(counts.added == signatures.size());
    for (const HashSignature& signature : signatures) {
        FUZZ_CHECK(signature.digest.size() == DigestBytes(signature.kind));
        FUZZ_CHECK(!signature.name.empty());
    }
    return 0;
}
