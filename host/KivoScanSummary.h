#pragma once
// The end of a scan in numbers: what was found, scanned and not scanned (and
// why), and the exit code that follows from it, as clamscan's: 1 when threats
// were found; otherwise 2 when anything was not scanned or went wrong; 0 only
// for a whole, clean scan. Computed once for the text and the JSON.
#include <cstdint>
#include <string>
#include <vector>

#include "host/KivoPathSurvey.h"
#include "host/KivoScanOptions.h"
#include "host/KivoTaskRun.h"
#include "substitute/scan/UnreadFiles.h"

namespace KivoHost {

// kivoscan's exit codes.
constexpr int kExitClean = 0;
constexpr int kExitThreatsFound = 1;
constexpr int kExitError = 2;

struct KivoScanSummary {
    uint32_t found = 0;
    uint32_t scanned = 0;
    uint32_t skippedByExtension = 0;
    uint32_t tooLong = 0;
    uint32_t unread = 0;
    uint32_t partly = 0; // read, but not everything inside them
    uint32_t pathsRefused = 0;
    int exitCode = kExitClean;

    // survey: what kivoscan found under a custom scan's paths, else null.
    // unread: what the engine listed as not read, or not read whole.
    static KivoScanSummary Of(const KivoRunResult& result, const KivoPathSurvey* survey,
                              const std::vector<Substitute::UnreadFiles::Entry>& unread);

    std::string Text(const KivoRunResult& result, const KivoScanOptions& options, uint64_t elapsedMs) const;
    std::string Json(const KivoRunResult& result) const;
};

} // namespace KivoHost
