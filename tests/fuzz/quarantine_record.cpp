// The head of a quarantined item. A header that reads must write back to the
// very bytes it was read from.
#include "substitute/quarantine/QuarantineRecord.h"
#include "tests/fuzz/FuzzCheck.h"

using Substitute::QuarantineRecord;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto decoded = QuarantineRecord::DecodeHeader(bytes);
    if (!decoded)
        return 0;
    FUZZ_CHECK(decoded->second <= size);
    FUZZ_CHECK(decoded->first.EncodeHeader() == bytes.substr(0, decoded->second));
    return 0;
}
