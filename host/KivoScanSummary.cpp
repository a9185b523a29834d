#include "host/KivoScanSummary.h"

#include <cstdio>
#include <utility>

#include "foundation/RCTextConvert.h"
#include "host/KivoTaskEvent.h"

using RC::ScanState;

namespace KivoHost {

KivoScanSummary KivoScanSummary::Of(const KivoRunResult& result, const KivoPathSurvey* survey,
                                    const std::vector<Substitute::UnreadFiles::Entry>& unread)
{
    KivoScanSummary summary;
    for (const Substitute::UnreadFiles::Entry& entry : unread)
        ++(Substitute::UnreadFiles::Partly(entry) ? summary.partly : summary.unread);
    const bool completed = result.state == ScanState::Completed;
    if (survey != nullptr) {
        summary.tooLong = survey->tooLong();
        summary.pathsRefused = static_cast<uint32_t>(survey->refused().size());
    }
    // A custom scan's count includes the files its filter passed over; the
    // other scan types count only what they scan. A stopped run knows only
    // how far item progress got.
    summary.found = result.filesFound + summary.tooLong;
    if (completed) {
        const uint32_t skipped = survey != nullptr ? survey->listed() - survey->scannable() : 0;
        summary.skippedByExtension = skipped < result.filesFound ? skipped : result.filesFound;
        summary.scanned = result.filesFound - summary.skippedByExtension;
    } else {
        summary.scanned = result.scanned;
    }
    summary.scanned -= summary.unread < summary.scanned ? summary.unread : summary.scanned;
    // As clamscan: threats first; else anything not scanned is an error.
    if (!result.threats.empty())
        summary.exitCode = kExitThreatsFound;
    else if (!completed || summary.tooLong > 0 || summary.unread > 0 || summary.partly > 0 || summary.pathsRefused > 0 ||
             (survey != nullptr && (!survey->namedNotScanned().empty() || !survey->caseTwins().empty())))
        summary.exitCode = kExitError;
    return summary;
}

std::string KivoScanSummary::Text(const KivoRunResult& result, const KivoScanOptions& options, uint64_t elapsedMs) const
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", elapsedMs / 1000.0);
    std::string text = "\n----------- SCAN SUMMARY -----------\nScan type: " + RCWideToUtf8(options.typeName) +
                       "\nState: " + RCWideToUtf8(KivoRunStateName(result.state)) +
                       "\nFiles found: " + std::to_string(found) +
                       "\nFiles scanned: " + std::to_string(scanned);
    const std::pair<uint32_t, const char*> notScanned[] = {{skippedByExtension, "extension"},
                                                           {tooLong, "path too long"},
                                                           {unread, "cannot read"},
                                                           {pathsRefused, "paths not found or not files"}};
    for (const auto& [count, reason] : notScanned)
        if (count > 0)
            text += "\nNot scanned: " + std::to_string(count) + " (" + reason + ")";
    if (partly > 0)
        text += "\nNot fully scanned: " + std::to_string(partly) + " (inside archives)";
    return text + "\nThreats found: " + std::to_string(result.threats.size()) + "\nDetections: " +
           std::to_string(result.detections > result.threats.size() ? result.detections : result.threats.size()) +
           "\nQuarantined: " + std::to_string(result.quarantined) + "\nTime: " + seconds + " sec";
}

std::string KivoScanSummary::Json(const KivoRunResult& result) const
{
    return "{\"event\":\"SUMMARY\",\"state\":" + std::to_string(RC::WireValue(result.state)) +
           ",\"stateName\":" + KivoJsonString(KivoRunStateName(result.state)) +
           ",\"filesFound\":" + std::to_string(found) + ",\"filesScanned\":" + std::to_string(scanned) +
           ",\"notScannedExtension\":" + std::to_string(skippedByExtension) +
           ",\"notScannedPathTooLong\":" + std::to_string(tooLong) +
           ",\"notScannedUnread\":" + std::to_string(unread) +
           ",\"notFullyScanned\":" + std::to_string(partly) +
           ",\"pathsNotScanned\":" + std::to_string(pathsRefused) +
           ",\"threats\":" + std::to_string(result.threats.size()) +
           ",\"detections\":" + std::to_string(result.detections) +
           ",\"quarantined\":" + std::to_string(result.quarantined) +
           ",\"exitCode\":" + std::to_string(exitCode) + "}";
}

} // namespace KivoHost
