#pragma once
// Scans one file: reads it once in 1 MiB chunks, checks the built-in EICAR
// signature, and feeds each chunk to the whole file's hashes the databases
// need and to the chunk consumers (PE-section hashes, body signatures). A file whose hash an allow-list holds is never
// reported. One scanner per worker thread; it owns the read buffer and the hashers, so memory stays flat however large
// the file.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/ScanResult.h"
#include "substitute/scan/BodySignatureConsumer.h"
#include "substitute/hash/FileHasher.h"
#include "substitute/scan/SectionHashes.h"
#include "substitute/database/SignatureDatabase.h"

namespace Substitute {

class FileScanner {
public:
    static constexpr std::size_t kChunkBytes = 1u << 20;

    FileScanner();

    // Always writes result: an unreadable file, or a scan cancelled midway,
    // answers level 0 with nothing else filled in. Returns ERROR_SUCCESS when
    // the file was read whole (or the scan was cancelled), else the system's
    // reason it could not be: level 0 then means "not read", never "clean".
    [[nodiscard]] unsigned long Scan(const wchar_t* path, const SignatureDatabase& database,
                                     const std::atomic<bool>& cancel, RC::ScanResult& result);

private:
    void DropConsumers();
    // The file's PE layout from its first headSize bytes in buffer_, reading
    // the headers apart when they lie past them; the system's error when
    // that read could not put the file back where the chunks go on.
    unsigned long ReadLayout(void* file, std::size_t headSize, std::uint64_t fileSize, PeSections& layout);
    std::optional<SignatureMatch> FindFile(const SignatureDatabase& database, std::uint64_t size) const;
    bool Allowed(const SignatureDatabase& database, std::uint64_t size) const;
    void Report(const wchar_t* name, std::uint32_t recordNumber, RC::ScanResult& result) const;

    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint8_t> farHeaders_; // emptied after each file: rarely needed, up to 2.6 MiB
    FileHasher hasher_;
    std::array<bool, kHashKindCount> wanted_{};
    SectionHashes sections_;
    BodySignatureConsumer bodies_;
    // In the order their matches win: section hashes, then body signatures.
    ChunkConsumer* const consumers_[2] = {&sections_, &bodies_};
};

} // namespace Substitute
