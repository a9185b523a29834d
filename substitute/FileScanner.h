#pragma once
// Scans one file: reads it in 1 MiB chunks, checks the built-in EICAR
// signature, and feeds each chunk to the hashes the databases need: the whole
// file's, and those of the PE sections whose size some section signature
// lists (the section table is read from the first chunk). A file whose hash
// an allow-list holds is never reported. One scanner per worker thread; it
// owns the read buffer and the hashers, so memory stays flat however large
// the file.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/ScanResult.h"
#include "substitute/FileHasher.h"
#include "substitute/PeSectionTable.h"
#include "substitute/SignatureDatabase.h"

namespace Substitute {

class FileScanner {
public:
    static constexpr std::size_t kChunkBytes = 1u << 20;

    FileScanner();

    // Always writes result: an unreadable file, or a scan cancelled midway,
    // answers level 0 with nothing else filled in.
    void Scan(const wchar_t* path, const SignatureDatabase& database, const std::atomic<bool>& cancel,
              RC::ScanResult& result);

private:
    // One PE section being hashed as the chunks go by.
    struct SectionHash {
        PeSection section;
        FileHasher* hasher;
    };

    void StartSections(const SignatureDatabase& database, std::uint64_t fileSize, std::size_t got);
    void FeedSections(std::uint64_t chunkOffset, std::size_t got);
    std::optional<SignatureMatch> FindSection(const SignatureDatabase& database);
    std::optional<SignatureMatch> FindFile(const SignatureDatabase& database, std::uint64_t size) const;
    bool Allowed(const SignatureDatabase& database, std::uint64_t size) const;
    void Report(const wchar_t* name, std::uint32_t recordNumber, RC::ScanResult& result) const;

    std::vector<std::uint8_t> buffer_;
    FileHasher hasher_;
    std::array<bool, kHashKindCount> wanted_{};
    std::vector<std::unique_ptr<FileHasher>> sectionHashers_; // reused from file to file
    std::vector<SectionHash> sections_;
};

} // namespace Substitute
