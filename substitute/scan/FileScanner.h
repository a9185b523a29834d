#pragma once
// Scans one file: reads it once in 1 MiB chunks, checks the built-in EICAR
// signature, and feeds each chunk to the whole file's hashes the databases
// need and to the chunk consumers (PE-section hashes, body signatures, and
// body signatures against the normalised copy of a text). A file whose hash an allow-list holds is never
// reported. A container (zip, gzip, tar) is kept in memory as it is read,
// up to max-filesize, and when its own bytes match nothing each entry is
// judged the same way, as a file of its own; the answer names the file
// handed over. One scanner per worker thread; it owns the read buffer, the
// hashers and the container's copy, so memory stays bounded however large the file.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/ScanResult.h"
#include "substitute/archive/ArchiveWalker.h"
#include "substitute/scan/BodySignatureConsumer.h"
#include "substitute/hash/FileHasher.h"
#include "substitute/scan/SectionHashes.h"
#include "substitute/scan/TextSignatureConsumer.h"
#include "substitute/scan/WholeFileHashes.h"
#include "substitute/database/SignatureDatabase.h"

namespace Substitute {

class FileScanner final : private EntryJudge {
public:
    static constexpr std::size_t kChunkBytes = 1u << 20;

    explicit FileScanner(const ArchiveLimits& limits = ArchiveLimits());

    // Always writes result: an unreadable file, or a scan cancelled midway,
    // answers level 0 with nothing else filled in. Returns ERROR_SUCCESS when
    // the file was read whole (or the scan was cancelled), else the system's
    // reason it could not be: level 0 then means "not read", never "clean".
    [[nodiscard]] unsigned long Scan(const wchar_t* path, const SignatureDatabase& database,
                                     const std::atomic<bool>& cancel, RC::ScanResult& result);
    // After a Scan that read the file: what inside it was left unread (a
    // limit, damage, an encrypted entry), as a user reads it; empty when
    // nothing was.
    const std::string& Shortfall() const { return shortfall_; }

private:
    struct Finding {
        std::wstring name;
        std::uint32_t recordNumber = 0;
    };

    void DropConsumers();
    void BeginHashes(const SignatureDatabase& database, std::uint64_t size);
    // The verdict on the bytes just hashed and fed to the consumers.
    Verdict Decide(const SignatureDatabase& database, std::uint64_t size, bool eicar);
    // The file's PE layout from its first headSize bytes in buffer_, reading
    // the headers apart when they lie past them; the system's error when
    // that read could not put the file back where the chunks go on.
    unsigned long ReadLayout(void* file, std::size_t headSize, std::uint64_t fileSize, PeSections& layout);
    std::optional<SignatureMatch> FindFile(const SignatureDatabase& database, std::uint64_t size) const;
    bool Allowed(const SignatureDatabase& database, std::uint64_t size) const;
    void LookInside(RC::ScanResult& result);
    void Report(const Finding& finding, RC::ScanResult& result) const;

    Verdict Judge(const std::uint8_t* data, std::size_t size) override;
    bool Cancelled() const override { return cancel_->load(std::memory_order_relaxed); }

    const ArchiveLimits limits_;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint8_t> container_;
    std::vector<std::uint8_t> farHeaders_; // emptied after each file: rarely needed, up to 2.6 MiB
    FileHasher hasher_;
    WholeFileHashes::Wanted wanted_{};
    SectionHashes sections_;
    BodySignatureConsumer bodies_;
    TextSignatureConsumer text_;
    // In the order their matches win: section hashes, body signatures, then
    // body signatures against a text's normalised copy.
    ChunkConsumer* const consumers_[3] = {&sections_, &bodies_, &text_};
    // Of the scan under way.
    const SignatureDatabase* database_ = nullptr;
    const std::atomic<bool>* cancel_ = nullptr;
    std::optional<Finding> finding_;
    std::string shortfall_;
    std::uint32_t unjudged_ = 0; // entries the hashers had no memory for
};

} // namespace Substitute
