// A .lnk file's bytes through what the local-link enumerator reads of them.
#include "Src/Engine/Enumerator/RCShellLinkParser.h"
#include "tests/fuzz/FuzzCheck.h"

using RC::RCShellLinkParser;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RCShellLinkParser::Link link;
    if (RCShellLinkParser::Parse(data, size, link) != RCShellLinkParser::Result::Parsed)
        return 0;
    FUZZ_CHECK(link.linkInfoPosition <= size);
    if (!link.idList.empty())
        RCShellLinkParser::IsWellFormedIdList(link.idList.data(), link.idList.size());
    std::string basePath;
    RCShellLinkParser::ReadLinkInfoPath(data, size, link.linkInfoPosition, basePath);
    FUZZ_CHECK(basePath.size() <= RCShellLinkParser::kMaxBasePathBytes);
    return 0;
}
