#pragma once
// The body signatures as one of the scanner's chunk consumers: the PE layout
// from the first chunk, every chunk to the matcher, the signature found
// reported like a hash's; without one, the logical signatures judged by the
// sub-signature counts the matcher kept.

#include "substitute/match/BodyScanner.h"
#include "substitute/scan/ChunkConsumer.h"

namespace Substitute {

class BodySignatureConsumer final : public ChunkConsumer {
public:
    void Begin(const SignatureDatabase& database, const PeSections& layout, std::uint64_t fileSize) override;
    void Feed(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
    std::optional<SignatureMatch> Finish(const SignatureDatabase& database) override;
    void Drop() override { active_ = false; }

private:
    BodyScanner scanner_;
    PeSections layout_;
    std::uint64_t fileSize_ = 0;
    bool active_ = false;
};

} // namespace Substitute
