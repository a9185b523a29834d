// The request of threat operation 4 as the engine receives it.
#include "substitute/quarantine/RestoreRequest.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstring>

using Substitute::RestoreRequest;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RestoreRequest request;
    if (!RestoreRequest::Read(data, size, request))
        return 0;
    FUZZ_CHECK(!request.path.empty() && request.path.size() <= RestoreRequest::kPathUnits);
    FUZZ_CHECK(request.path.find(L'\0') == std::wstring::npos);
    FUZZ_CHECK(std::memcmp(request.md5, data + RestoreRequest::kMd5Offset, sizeof request.md5) == 0);
    return 0;
}
