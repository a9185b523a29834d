#pragma once
// Scans one file: reads it in 1 MiB chunks, checks the built-in EICAR
// signature, hashes what the databases need and fills the engine's answer.
// One scanner per worker thread; it owns the read buffer and the hasher, so
// memory stays flat however large the file.

#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/ScanResult.h"
#include "substitute/FileHasher.h"
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
    void Report(const wchar_t* name, std::uint32_t recordNumber, RC::ScanResult& result) const;

    std::vector<std::uint8_t> buffer_;
    FileHasher hasher_;
};

} // namespace Substitute
