#pragma once
// The body signatures matched a second time, against the normalised copy of
// a text file (substitute/text), as clamscan does after matching the file's
// own bytes: target types 0 and 7 there, never 1, and the logical
// signatures judged by the counts of that pass alone. Only for files
// clamscan takes for text, up to its size for normalising, and only when the
// database holds a signature that could match such a copy: any other scan
// costs one comparison per file.
//
// The copy is matched as it is written, chunk by chunk, where it has no end
// and no size of its own: clamscan places no "EOF-n" in it and judges a
// logical signature's FileSize by the file's. When a signature of target
// type 7 counts from the end, clamscan scans the copy as a file instead, and
// so does this: the copy is kept (up to the size limit), then matched with
// its own end and size, and its hashes asked of the database too.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "substitute/hash/FileHasher.h"
#include "substitute/match/BodyScanner.h"
#include "substitute/scan/ChunkConsumer.h"
#include "substitute/text/MarkupMarkers.h"
#include "substitute/text/TextNormaliser.h"
#include "substitute/text/TextType.h"

namespace Substitute {

class TextSignatureConsumer final : public ChunkConsumer {
public:
    void Begin(const SignatureDatabase& database, const PeSections& layout, std::uint64_t fileSize) override;
    void Feed(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
    std::optional<SignatureMatch> Finish(const SignatureDatabase& database) override;
    void Drop() override;

private:
    // The normalised copy as a file of its own: its hashes, then its bytes.
    std::optional<SignatureMatch> FinishKept(const SignatureDatabase& database);

    BodyScanner scanner_;
    TextNormaliser normaliser_;
    MarkupMarkers markup_;
    FileHasher hasher_;
    std::vector<std::uint8_t> normalised_; // a chunk's copy, or the whole copy when kept
    const BodySignatureSet* bodies_ = nullptr;
    std::uint64_t fileSize_ = 0;
    TextKind kind_ = TextKind::None;
    bool active_ = false;
    bool kept_ = false;
};

} // namespace Substitute
