#include "substitute/database/ContainerHeader.h"

namespace Substitute {

namespace {

std::optional<unsigned> Number(std::string_view text)
{
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

} // namespace

std::optional<ContainerHeader> ContainerHeader::Parse(std::string_view bytes)
{
    constexpr std::string_view kMagic = "ClamAV-VDB:";
    if (bytes.size() < kBytes || bytes.substr(0, kMagic.size()) != kMagic)
        return std::nullopt;
    std::string_view text = bytes.substr(0, kBytes);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.remove_suffix(1);
    std::string_view fields[4];
    std::size_t start = kMagic.size();
    for (std::string_view& field : fields) {
        const std::size_t colon = text.find(':', start);
        if (colon == std::string_view::npos)
            return std::nullopt;
        field = text.substr(start, colon - start);
        start = colon + 1;
    }
    ContainerHeader header;
    const std::optional<unsigned> version = Number(fields[1]);
    const std::optional<unsigned> signatures = Number(fields[2]);
    const std::optional<unsigned> level = Number(fields[3]);
    if (!version || !signatures || !level)
        return std::nullopt;
    header.buildTime = std::string(fields[0]);
    header.version = *version;
    header.signatures = *signatures;
    header.level = *level;
    // The digest of what follows the header and its signature, when given.
    const std::size_t md5End = text.find(':', start);
    if (md5End != std::string_view::npos) {
        header.md5 = std::string(text.substr(start, md5End - start));
        header.dsig = std::string(text.substr(md5End + 1, text.find(':', md5End + 1) - (md5End + 1)));
    }
    return header;
}

} // namespace Substitute
