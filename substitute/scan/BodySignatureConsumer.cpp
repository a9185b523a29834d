#include "substitute/scan/BodySignatureConsumer.h"

namespace Substitute {

void BodySignatureConsumer::Begin(const SignatureDatabase& database, const PeSections& layout, std::uint64_t fileSize)
{
    active_ = !database.Bodies().Empty();
    if (!active_)
        return;
    layout_ = layout;
    fileSize_ = fileSize;
    scanner_.Begin(database.Bodies(), layout_, fileSize);
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
    if (const std::optional<std::uint32_t> found = scanner_.End())
        return database.BodyMatch(*found);
    const LogicalSignatureSet& logicals = database.Logicals();
    if (const auto found = logicals.Match(scanner_.SubCounts(), scanner_.MatchedSubs(), layout_, fileSize_))
        return database.LogicalMatch(*found);
    return std::nullopt;
}

} // namespace Substitute
