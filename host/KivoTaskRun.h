#pragma once
// One run of kivoscan's task on the bus: it sets the task up, starts it and
// follows its events to the end state, drawing progress and listing threats
// as they come; then, on request, a threat operation over what it found.
//
// Threads: the main thread only; the peer queues the bus's events for it.
#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/KivoConsole.h"
#include "host/KivoScanOptions.h"
#include "host/KivoTaskEvent.h"
#include "host/KivoTaskPeer.h"
#include "module/RCBusCodes.h"

namespace KivoHost {

// What one run of a task showed; filled from its events.
struct KivoRunResult {
    bool answered = false; // the setup was answered
    bool started = false;
    RC::ScanState state = RC::ScanState::NotStarted; // the last one
    uint32_t filesFound = 0;
    uint32_t scanned = 0;                      // files answered, as far as item progress told
    uint32_t detections = 0;                   // findings per item: a file found by two items counts twice
    std::vector<RC::ThreatFoundEvent> threats; // one per file
    unsigned quarantined = 0;
};

class KivoTaskRun {
public:
    // interrupts: how often the user pressed Ctrl-C. reportThreats false:
    // threats are collected, not printed (the scan inside a restore).
    // toScan: the files the run will scan when kivoscan knows it (a custom
    // scan), or nothing.
    KivoTaskRun(KivoTaskPeer& peer, KivoConsole& console, const KivoScanOptions& options,
                const std::atomic<int>& interrupts, bool reportThreats = true,
                std::optional<uint32_t> toScan = std::nullopt);

    // Sets the task up, starts it and follows it to its end state. The first
    // interrupt stops it through the bus; the end state still arrives.
    KivoRunResult Scan(RC::ScanType scanType, const std::vector<std::wstring>& paths);

    // Runs one threat operation over the query ids and counts what succeeded.
    // False when the module did not finish it in time.
    bool Operate(RC::Operation operation, const std::vector<uint32_t>& queryIds, unsigned& succeeded);

    const KivoRunResult& result() const { return result_; }

private:
    // Shows events until one satisfies done; false after a silence of the
    // answer time-out.
    template <class Done>
    bool Await(Done done);
    const KivoRunResult& Finish();

    void Show(const KivoTaskEvent& event);
    void ShowItemStatus(const RC::ItemStatusEvent& status);
    void ShowProgress(bool completed);
    // At completion the line shows 100 % and stays; after a stop it goes.
    void EndProgress();
    void ShowThreat(const RC::ThreatFoundEvent& threat);
    void ShowOperateItem(const RC::OperateItemEvent& item);

    // A module text as the reader wants it.
    std::wstring ForPeople(const std::wstring& text) const;
    std::wstring ItemName(uint32_t showType) const;
    // The files the engine has answered, as far as item progress told.
    uint32_t Answered() const;
    // kivoscan's own percentage: of the files to scan when it knows them,
    // else the module's, which counts up to 99. 100 only at completion.
    uint32_t Percent(bool completed) const;

    KivoTaskPeer& peer_;
    KivoConsole& console_;
    const KivoScanOptions& options_;
    const std::atomic<int>& interrupts_;
    const bool reportThreats_;
    const std::optional<uint32_t> toScan_;
    const bool chinese_;
    KivoRunResult result_;
    std::map<uint32_t, std::wstring> itemNames_;
    std::map<uint32_t, RC::ItemCounts> items_; // the last counts each item reported
    uint32_t modulePercent_ = 0;
    uint32_t currentShowType_ = 0;
    std::wstring currentFile_;
    uint32_t shownPercent_ = UINT32_MAX;
};

} // namespace KivoHost
