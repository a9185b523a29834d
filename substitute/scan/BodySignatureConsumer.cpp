#include "substitute/scan/BodySignatureConsumer.h"

namespace Substitute {

void BodySignatureConsumer::Begin(const SignatureDatabase& database, const PeSections& layout, std::uint64_t fileSize)
{
    active_ = !database.Bodies().Empty();
    if (active_)
        scanner_.Begin(database.Bodies(), layout, fileSize);
}

void BodySignatureConsumer::Feed(std::uint64_t, const std::uint8_t* data, std::size_t size)
{
    if (active_)
        scanner_.Feed(data, size);
}

std::optional<SignatureMatch> BodySignatureConsumer::Finish(const SignatureDatabase& database)
{
    if (!active_)
        return std::nullopt;
    active_ = false;
    const std::optional<std::uint32_t> found = scanner_.End();
    if (!found)
        return std::nullopt;
    return database.BodyMatch(*found);
}

} // namespace Substitute
