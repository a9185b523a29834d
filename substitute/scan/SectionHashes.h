#pragma once
// Hashes the raw data of the PE sections whose size some section signature
// lists, as the scanner's chunks go by; the sections are those the file's
// layout (PeSectionTable) says clamscan hashes, bounded by the file's size.

#include <memory>
#include <vector>

#include "substitute/scan/ChunkConsumer.h"
#include "substitute/hash/FileHasher.h"
#include "substitute/pe/PeSectionTable.h"

namespace Substitute {

class SectionHashes final : public ChunkConsumer {
public:
    void Begin(const SignatureDatabase& database, const PeSections& layout, std::uint64_t fileSize) override;
    void Feed(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
    std::optional<SignatureMatch> Finish(const SignatureDatabase& database) override;
    void Drop() override;

private:
    struct Section {
        PeSection range;
        FileHasher* hasher;
    };

    std::vector<std::unique_ptr<FileHasher>> hashers_; // reused from file to file
    std::vector<Section> sections_;
};

} // namespace Substitute
