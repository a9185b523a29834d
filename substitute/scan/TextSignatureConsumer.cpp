#include "substitute/scan/TextSignatureConsumer.h"

#include <algorithm>

#include "substitute/scan/WholeFileHashes.h"

namespace Substitute {

namespace {
// clamscan types no file this small, and scans nothing of it.
constexpr std::uint64_t kMinFileSize = 6;
// A kept copy larger than this is given back after its file.
constexpr std::size_t kKeptCopyBytes = 2u << 20;
constexpr std::size_t kPieceBytes = 1u << 20;

// A copy matched as it is written has no end to count from: the layout of a
// file whose offsets clamscan does not place.
PeSections Unplaced()
{
    PeSections layout;
    layout.shape = PeSections::Shape::Broken;
    return layout;
}
} // namespace

void TextSignatureConsumer::Begin(const SignatureDatabase& database, const PeSections&, std::uint64_t fileSize)
{
    const BodySignatureSet& bodies = database.Bodies();
    active_ = bodies.ReadsText() && fileSize >= kMinFileSize && fileSize <= TextNormaliser::kMaxFileSize;
    bodies_ = &bodies;
    fileSize_ = fileSize;
    kept_ = bodies.TextAsFile();
    kind_ = TextKind::None;
}

void TextSignatureConsumer::Feed(std::uint64_t offset, const std::uint8_t* data, std::size_t size)
{
    if (!active_)
        return;
    if (offset == 0) {
        // The first chunk holds the whole head the type is read from.
        kind_ = TextType::Of(data, std::min(size, TextType::kHeadBytes));
        if (kind_ == TextKind::None) {
            active_ = false;
            return;
        }
        markup_.Reset();
        normaliser_.Reset(fileSize_, bodies_->LongestTextPart(), kept_);
        normalised_.clear();
        if (!kept_)
            scanner_.Begin(*bodies_, Unplaced(), fileSize_, BodyPass::Text);
    }
    // Markup anywhere makes a plain text HTML to clamscan, which normalises it otherwise.
    if (kind_ == TextKind::Plain) {
        markup_.Feed(data, size);
        if (markup_.Found()) {
            active_ = false;
            return;
        }
    }
    if (kept_) {
        const std::size_t at = normalised_.size();
        normalised_.resize(at + size);
        normalised_.resize(at + normaliser_.Normalise(data, size, normalised_.data() + at));
    } else if (!scanner_.Matched()) {
        normalised_.resize(size);
        scanner_.Feed(normalised_.data(), normaliser_.Normalise(data, size, normalised_.data()));
    }
}

std::optional<SignatureMatch> TextSignatureConsumer::Finish(const SignatureDatabase& database)
{
    // A file never fed (an archive's empty entry) has no type: its scanner holds another file's state.
    if (!active_ || kind_ == TextKind::None) {
        Drop();
        return std::nullopt;
    }
    std::optional<SignatureMatch> match;
    std::uint64_t size = fileSize_;
    if (kept_) {
        size = normalised_.size();
        match = FinishKept(database);
    } else if (const std::optional<std::uint32_t> found = scanner_.End()) {
        match = database.BodyMatch(*found);
    }
    if (!match) {
        if (const auto found = database.Logicals().Match(scanner_.SubCounts(), scanner_.MatchedSubs(), PeSections(),
                                                         size, BodyPass::Text))
            match = database.LogicalMatch(*found);
    }
    Drop();
    return match;
}

std::optional<SignatureMatch> TextSignatureConsumer::FinishKept(const SignatureDatabase& database)
{
    const std::uint64_t size = normalised_.size();
    scanner_.Begin(*bodies_, PeSections(), size, BodyPass::Text);
    for (std::size_t at = 0; at < normalised_.size() && !scanner_.Matched(); at += kPieceBytes)
        scanner_.Feed(normalised_.data() + at, std::min(kPieceBytes, normalised_.size() - at));
    if (const std::optional<std::uint32_t> found = scanner_.End())
        return database.BodyMatch(*found);
    const WholeFileHashes::Wanted wanted = WholeFileHashes::For(database, size);
    // Without memory for the hashes the copy is judged by its bytes alone, as a file entry is.
    if (!hasher_.Begin(wanted) || !hasher_.Update(normalised_.data(), normalised_.size()) || !hasher_.Finish())
        return std::nullopt;
    return WholeFileHashes::Find(database, HashTable::File, hasher_, wanted, size);
}

void TextSignatureConsumer::Drop()
{
    active_ = false;
    if (normalised_.capacity() > kKeptCopyBytes)
        std::vector<std::uint8_t>().swap(normalised_);
}

} // namespace Substitute
