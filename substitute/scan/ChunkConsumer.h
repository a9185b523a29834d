#pragma once
// Something that judges a file from the bytes the scanner reads anyway, fed
// each chunk of the one pass over the file: the hashes of PE sections now,
// body signatures later. One per worker thread, reused from file to file.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "substitute/database/SignatureDatabase.h"
#include "substitute/pe/PeSectionTable.h"

namespace Substitute {

class ChunkConsumer {
public:
    virtual ~ChunkConsumer() = default;
    // A new file: its PE layout (read once for every consumer) and its full size.
    virtual void Begin(const SignatureDatabase& database, const PeSections& layout, std::uint64_t fileSize) = 0;
    // Each chunk in order, the first included; offset is the chunk's in the file.
    virtual void Feed(std::uint64_t offset, const std::uint8_t* data, std::size_t size) = 0;
    // After the last chunk: what the file matched, if anything.
    virtual std::optional<SignatureMatch> Finish(const SignatureDatabase& database) = 0;
    // The file was not read to its end (cancelled, changed, unreadable).
    virtual void Drop() = 0;
};

} // namespace Substitute
