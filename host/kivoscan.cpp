// kivoscan: the command-line scanner. A peer on the reference bus: it loads
// RCTrevox.dll beside itself, sets up one task, starts it and reports what the
// task's events say, as clamscan does (exit 1 threats; else 2 for an error or
// anything not scanned; 0 for a whole, clean scan).
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cwctype>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "foundation/RCFileSystem.h"
#include "foundation/RCHandles.h"
#include "foundation/RCTextConvert.h"
#include "host/KivoConsole.h"
#include "host/KivoEnglish.h"
#include "host/KivoPathSurvey.h"
#include "host/KivoQuarantine.h"
#include "host/KivoScanOptions.h"
#include "host/KivoSignatures.h"
#include "host/KivoTaskPeer.h"
#include "module/RCBusCodes.h"
#include "substitute/scan/UnreadFiles.h"

using namespace KivoHost;
using RC::Command;
using RC::ItemStatus;
using RC::OperateOutcome;
using RC::OperatePhase;
using RC::Operation;
using RC::ScanState;
using RC::ScanType;

namespace {

constexpr int kClean = 0;
constexpr int kThreatsFound = 1;
constexpr int kError = 2;
constexpr int kInterruptedBeforeStart = 130; // as a shell reports a program ended by Ctrl-C

// How long the module may take to answer a request that needs no scan.
constexpr unsigned kAnswerTimeoutMs = 60000;
constexpr unsigned kPollMs = 200;

std::atomic<int> g_interrupts{0};

BOOL WINAPI OnConsoleControl(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    // The first interrupt stops the task through the bus; a second one lets
    // the system end the process.
    return g_interrupts.fetch_add(1) == 0 ? TRUE : FALSE;
}

std::string U8(const std::wstring& text)
{
    return RCWideToUtf8(text);
}

std::wstring FullPath(const std::wstring& path)
{
    return KivoPathSurvey::FullPath(path);
}

// The Linux path of a file under Wine, as winepath -u gives it; the path
// itself where there is none (on Windows, or a path Wine cannot map).
std::wstring UnixPath(const std::wstring& path)
{
    using UnixFileName = char*(__cdecl*)(const wchar_t*);
    static const auto unixFileName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixFileName != nullptr ? unixFileName(path.c_str()) : nullptr;
    if (name == nullptr)
        return path;
    const std::wstring unix = RCUtf8ToWide(name);
    HeapFree(GetProcessHeap(), 0, name);
    return unix;
}

// A path in a message: its Linux form under --unix-paths.
std::wstring Shown(const KivoScanOptions& options, const std::wstring& path)
{
    return options.unixPaths ? UnixPath(path) : path;
}

std::wstring Upper(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

int Fail(KivoConsole& console, const std::wstring& message)
{
    console.Err("kivoscan: " + U8(message));
    return kError;
}

// What one run of a task showed; filled from its events.
struct RunResult {
    bool answered = false; // the setup was answered
    bool started = false;
    RC::ScanState state = ScanState::NotStarted; // the last one
    uint32_t filesFound = 0;
    uint32_t scanned = 0;                      // files answered, as far as item progress told
    uint32_t detections = 0;                   // findings per item: a file found by two items counts twice
    std::vector<RC::ThreatFoundEvent> threats; // one per file
    unsigned quarantined = 0;
};

class TaskRun {
public:
    // reportThreats false: threats are collected, not printed (the scan
    // inside a restore). toScan: the files the run will scan when kivoscan
    // knows it (a custom scan), or nothing.
    TaskRun(KivoTaskPeer& peer, KivoConsole& console, const KivoScanOptions& options, bool reportThreats = true,
            std::optional<uint32_t> toScan = std::nullopt)
        : peer_(peer), console_(console), options_(options), reportThreats_(reportThreats), toScan_(toScan),
          chinese_(KivoWantsChinese())
    {
    }

    // Sets the task up, starts it and follows it to its end state. The first
    // interrupt stops it through the bus; the end state still arrives.
    RunResult Scan(ScanType scanType, const std::vector<std::wstring>& paths)
    {
        peer_.Setup(scanType, paths);
        if (!Await([](const KivoTaskEvent& e) { return e.kind() == KivoTaskEvent::Kind::SetupDone; }))
            return result_;
        result_.answered = true;
        peer_.Command(Command::Start);
        bool stopSent = false;
        bool startAnswered = false;
        unsigned silentMs = 0;
        for (;;) {
            if (g_interrupts.load() > 0 && !stopSent) {
                peer_.Command(Command::Stop);
                stopSent = true;
            }
            std::optional<KivoTaskEvent> event = peer_.Next(kPollMs);
            if (!event) {
                // A running scan may be quiet for long; a start that is never answered is an error.
                silentMs += kPollMs;
                if (!startAnswered && silentMs >= kAnswerTimeoutMs)
                    return result_;
                continue;
            }
            silentMs = 0;
            Show(*event);
            if (event->kind() == KivoTaskEvent::Kind::CommandResult && event->commandResult.command == Command::Start) {
                startAnswered = true;
                if (!event->commandResult.result)
                    return result_;
            }
            // The run's own states may come before the start command's
            // result: a small scan can end before the reply is posted.
            if (event->kind() == KivoTaskEvent::Kind::ScanState && event->scanState.state != ScanState::NotStarted) {
                result_.started = startAnswered = true;
                if (event->scanState.state == ScanState::Stopped || event->scanState.state == ScanState::Completed) {
                    EndProgress();
                    return Finish();
                }
            }
        }
    }

    // Runs one threat operation over the query ids and counts what succeeded.
    // False when the module did not finish it in time.
    bool Operate(Operation operation, const std::vector<uint32_t>& queryIds, unsigned& succeeded)
    {
        peer_.Operate(operation, queryIds);
        succeeded = 0;
        return Await([&](const KivoTaskEvent& e) {
            if (e.kind() == KivoTaskEvent::Kind::OperateItem && e.operateItem.outcome == OperateOutcome::Succeeded)
                ++succeeded;
            return e.kind() == KivoTaskEvent::Kind::OperateState && e.operateState.phase == OperatePhase::Finished;
        });
    }

    const RunResult& result() const { return result_; }

    // A module text as the reader wants it.
    std::wstring ForPeople(const std::wstring& text) const { return chinese_ ? text : KivoEnglish(text); }

private:
    // Shows events until one satisfies done; false after a silence of the
    // answer time-out.
    template <class Done>
    bool Await(Done done)
    {
        for (;;) {
            std::optional<KivoTaskEvent> event = peer_.Next(kAnswerTimeoutMs);
            if (!event)
                return false;
            Show(*event);
            if (done(*event))
                return true;
        }
    }

    const RunResult& Finish()
    {
        result_.scanned = Answered();
        result_.detections = 0;
        for (const auto& [showType, item] : items_)
            result_.detections += item.level2 + item.level3;
        return result_;
    }

    void Show(const KivoTaskEvent& event)
    {
        if (options_.json)
            console_.Out(event.Json());
        switch (event.kind()) {
        case KivoTaskEvent::Kind::SetupDone:
            for (const RC::ScanItemEntry& item : event.setupDone.items)
                itemNames_[item.showType] = item.displayName;
            break;
        case KivoTaskEvent::Kind::ScanState:
            result_.state = event.scanState.state;
            result_.filesFound = event.scanState.counts.filesFound;
            break;
        case KivoTaskEvent::Kind::ScanProgress:
            result_.filesFound = event.scanProgress.counts.filesFound;
            modulePercent_ = event.scanProgress.percent;
            currentShowType_ = event.scanProgress.currentShowType;
            currentFile_ = event.scanProgress.currentFile;
            ShowProgress(false);
            break;
        case KivoTaskEvent::Kind::ItemProgress:
            items_[event.itemProgress.showType].scanned = event.itemProgress.counts.scanned;
            ShowProgress(false);
            break;
        case KivoTaskEvent::Kind::ItemStatus:
            ShowItemStatus(event.itemStatus);
            break;
        case KivoTaskEvent::Kind::ThreatFound:
            ShowThreat(event.threat);
            break;
        case KivoTaskEvent::Kind::OperateItem:
            ShowOperateItem(event.operateItem);
            break;
        default:
            break;
        }
    }

    std::wstring ItemName(uint32_t showType) const
    {
        auto found = itemNames_.find(showType);
        return found != itemNames_.end() ? ForPeople(found->second) : L"item " + std::to_wstring(showType);
    }

    std::wstring ShownPath(const std::wstring& path) const { return Shown(options_, path); }

    void ShowItemStatus(const RC::ItemStatusEvent& status)
    {
        // The status event carries no scanned count: the progress events keep it.
        RC::ItemCounts& item = items_[status.showType];
        item.level2 = status.counts.level2;
        item.level3 = status.counts.level3;
        if (status.status != ItemStatus::Finished || options_.quiet || options_.json || console_.interactive())
            return;
        const uint32_t found = status.counts.enumerated, detections = item.level2 + item.level3;
        console_.Out(U8(ItemName(status.showType)) + ": finished, " + std::to_string(found) +
                     (found == 1 ? " file" : " files") + " found, " + std::to_string(detections) +
                     (detections == 1 ? " detection" : " detections"));
    }

    // The files the engine has answered, as far as item progress told.
    uint32_t Answered() const
    {
        uint32_t answered = 0;
        for (const auto& [showType, item] : items_)
            answered += item.scanned;
        return answered;
    }

    // kivoscan's own percentage: of the files to scan when it knows them,
    // else the module's, which counts up to 99. 100 only at completion.
    uint32_t Percent(bool completed) const
    {
        if (completed)
            return 100;
        if (!toScan_)
            return modulePercent_ < 99 ? modulePercent_ : 99;
        const uint32_t scanned = Answered();
        if (*toScan_ == 0)
            return 0;
        return scanned >= *toScan_ ? 99 : static_cast<uint32_t>(uint64_t{scanned} * 100 / *toScan_);
    }

    void ShowProgress(bool completed)
    {
        if (options_.quiet || (!console_.interactive() && !options_.progress))
            return;
        const uint32_t percent = Percent(completed);
        // Lines written one under the other change only with the percentage.
        if (!console_.interactive() && percent == shownPercent_)
            return;
        shownPercent_ = percent;
        wchar_t head[16];
        std::swprintf(head, 16, L"[%3u%%] ", percent);
        // Files answered by the engine of those found so far: what was found
        // is not yet scanned.
        std::wstring line = head + ItemName(currentShowType_) + L" | files " + std::to_wstring(Answered()) + L"/" +
                            std::to_wstring(result_.filesFound) + L" | threats " +
                            std::to_wstring(result_.threats.size()) + L" | ";
        // The current file's tail, so the line fits a terminal of 80 columns.
        const size_t used = KivoColumns(line);
        std::wstring file = completed ? std::wstring() : ShownPath(currentFile_);
        const size_t full = file.size();
        const size_t room = used < 76 ? 76 - used : 0;
        while (!file.empty() && KivoColumns(file) > room)
            file.erase(0, 1);
        if (file.size() < full && file.size() > 3)
            file.replace(0, 3, L"...");
        console_.Progress(line + file);
    }

    // At completion the line shows 100 % and stays; after a stop it goes.
    void EndProgress()
    {
        if (result_.state == ScanState::Completed) {
            ShowProgress(true);
            console_.KeepProgress();
        }
        console_.ClearProgress();
    }

    void ShowThreat(const RC::ThreatFoundEvent& threat)
    {
        result_.threats.push_back(threat);
        if (options_.json || !reportThreats_)
            return;
        console_.Out(U8(ShownPath(threat.filePath) + L": " + threat.threatName + L" FOUND"));
        if (!options_.quiet)
            console_.Out(U8(L"    " + ForPeople(threat.categoryName) + L", " + ForPeople(threat.actionName) + L": " +
                            ForPeople(threat.advice)));
    }

    void ShowOperateItem(const RC::OperateItemEvent& item)
    {
        if (item.outcome != OperateOutcome::Succeeded && item.outcome != OperateOutcome::Failed)
            return;
        if (item.outcome == OperateOutcome::Succeeded && item.operation == Operation::Quarantine)
            ++result_.quarantined;
        if (options_.json || item.operation != Operation::Quarantine)
            return;
        std::wstring path = L"query " + std::to_wstring(item.queryId);
        for (const RC::ThreatFoundEvent& threat : result_.threats)
            if (threat.queryId == item.queryId)
                path = ShownPath(threat.filePath);
        console_.Out(
            U8(path + (item.outcome == OperateOutcome::Succeeded ? L": quarantined" : L": quarantine failed")));
    }

    KivoTaskPeer& peer_;
    KivoConsole& console_;
    const KivoScanOptions& options_;
    const bool reportThreats_;
    const std::optional<uint32_t> toScan_;
    const bool chinese_;
    RunResult result_;
    std::map<uint32_t, std::wstring> itemNames_;
    std::map<uint32_t, RC::ItemCounts> items_; // the last counts each item reported
    uint32_t modulePercent_ = 0;
    uint32_t currentShowType_ = 0;
    std::wstring currentFile_;
    uint32_t shownPercent_ = UINT32_MAX;
};

std::wstring TaskIdOfThisRun()
{
    return L"kivoscan-" + std::to_wstring(GetCurrentProcessId());
}

bool StartPeer(KivoTaskPeer& peer, const std::wstring& engineFolder, KivoConsole& console)
{
    if (peer.Start(engineFolder + L"RCTrevox.dll"))
        return true;
    Fail(console, peer.error());
    return false;
}

// One line for bench/engine-throughput, also with --quiet: the module runs in
// this process, so the peak working set is kivoscan's and the module's.
void PrintStats(KivoConsole& console, const RunResult& result, ULONGLONG elapsedMs)
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        counters.PeakWorkingSetSize = 0;
    char line[160];
    std::snprintf(line, sizeof line, "kivoscan: files %u, threats %u in %.3f s, peak working set %.1f MiB",
                  result.filesFound, static_cast<unsigned>(result.threats.size()), elapsedMs / 1000.0,
                  counters.PeakWorkingSetSize / 1048576.0);
    console.Err(line);
}

// The JSON object for a path or file that was not scanned, and why.
std::string NotScannedJson(const std::wstring& path, const std::wstring& reason)
{
    return "{\"event\":\"NOT_SCANNED\",\"path\":" + KivoJsonString(path) + ",\"reason\":" + KivoJsonString(reason) +
           "}";
}

// The given paths that will not be scanned, said before the scan: on stderr
// the ones that name nothing scannable (errors, as clamscan reports them), on
// stdout the files the module cannot take.
void ReportPaths(const KivoPathSurvey& survey, const KivoScanOptions& options, KivoConsole& console)
{
    const auto shown = [&](const std::wstring& path) { return options.unixPaths ? UnixPath(FullPath(path)) : path; };
    for (const KivoPathSurvey::Refused& refused : survey.refused()) {
        Fail(console, shown(refused.path) + L": " + refused.reason);
        if (options.json)
            console.Out(NotScannedJson(refused.path, refused.reason));
    }
    for (const std::wstring& path : survey.repeated())
        console.Err("kivoscan: " + U8(shown(path)) + ": already among the paths; scanned once");
    for (const std::wstring& path : survey.caseTwins()) {
        console.Err("kivoscan: " + U8(shown(path)) +
                    ": not reliably scanned (its folder holds a name that differs only in letter case)");
        if (options.json)
            console.Out(NotScannedJson(path, L"name differs only in case"));
    }
    for (const std::wstring& path : survey.namedNotScanned()) {
        console.Err("kivoscan: " + U8(shown(path)) +
                    ": not scanned (the module scans only files of its fifteen extensions)");
        if (options.json)
            console.Out(NotScannedJson(path, L"extension"));
    }
    for (const std::wstring& path : survey.tooLongPaths()) {
        if (options.json)
            console.Out(NotScannedJson(path, L"path too long"));
        else
            console.Out(U8(shown(path) + L": not scanned (path too long)"));
    }
    const uint32_t unlisted = survey.tooLong() - static_cast<uint32_t>(survey.tooLongPaths().size());
    if (unlisted > 0 && !options.json)
        console.Out("... and " + std::to_string(unlisted) + " more files not scanned (path too long)");
}

// The files the engine was handed but could not read, and those it read but
// could not look into whole (an archive cut short by a limit or damage): the
// module heard "nothing found" for them, so they are named here, after the scan.
void ReportUnread(const std::vector<Substitute::UnreadFiles::Entry>& unread, const KivoScanOptions& options,
                  KivoConsole& console)
{
    for (const Substitute::UnreadFiles::Entry& entry : unread) {
        if (options.json) {
            console.Out(NotScannedJson(entry.path, entry.reason));
        } else if (Substitute::UnreadFiles::Partly(entry)) {
            const std::wstring what = entry.reason.substr(std::wcslen(Substitute::UnreadFiles::kPartly));
            console.Out(U8(Shown(options, entry.path) + L": not fully scanned (" +
                           (what.rfind(L": ", 0) == 0 ? what.substr(2) : what) + L")"));
        } else {
            console.Out(U8(Shown(options, entry.path) + L": not scanned (" + entry.reason + L")"));
        }
    }
}

// What the summary says, computed once for the text and the JSON.
struct Summary {
    uint32_t found = 0;
    uint32_t scanned = 0;
    uint32_t skippedByExtension = 0;
    uint32_t tooLong = 0;
    uint32_t unread = 0;
    uint32_t partly = 0; // read, but not everything inside them
    uint32_t pathsRefused = 0;
    int exitCode = kClean;
};

Summary Summarize(const RunResult& result, const KivoPathSurvey* survey,
                  const std::vector<Substitute::UnreadFiles::Entry>& unread)
{
    Summary summary;
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
        summary.exitCode = kThreatsFound;
    else if (!completed || summary.tooLong > 0 || summary.unread > 0 || summary.partly > 0 || summary.pathsRefused > 0 ||
             (survey != nullptr && (!survey->namedNotScanned().empty() || !survey->caseTwins().empty())))
        summary.exitCode = kError;
    return summary;
}

std::string SummaryText(const Summary& summary, const RunResult& result, const KivoScanOptions& options,
                        ULONGLONG elapsedMs)
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", elapsedMs / 1000.0);
    std::string text = "\n----------- SCAN SUMMARY -----------\nScan type: " + U8(options.typeName) +
                       "\nState: " + U8(KivoRunStateName(result.state)) +
                       "\nFiles found: " + std::to_string(summary.found) +
                       "\nFiles scanned: " + std::to_string(summary.scanned);
    const std::pair<uint32_t, const char*> notScanned[] = {{summary.skippedByExtension, "extension"},
                                                           {summary.tooLong, "path too long"},
                                                           {summary.unread, "cannot read"},
                                                           {summary.pathsRefused, "paths not found or not files"}};
    for (const auto& [count, reason] : notScanned)
        if (count > 0)
            text += "\nNot scanned: " + std::to_string(count) + " (" + reason + ")";
    if (summary.partly > 0)
        text += "\nNot fully scanned: " + std::to_string(summary.partly) + " (inside archives)";
    return text + "\nThreats found: " + std::to_string(result.threats.size()) + "\nDetections: " +
           std::to_string(result.detections > result.threats.size() ? result.detections : result.threats.size()) +
           "\nQuarantined: " + std::to_string(result.quarantined) + "\nTime: " + seconds + " sec";
}

std::string SummaryJson(const Summary& summary, const RunResult& result)
{
    return "{\"event\":\"SUMMARY\",\"state\":" + std::to_string(RC::WireValue(result.state)) +
           ",\"stateName\":" + KivoJsonString(KivoRunStateName(result.state)) +
           ",\"filesFound\":" + std::to_string(summary.found) + ",\"filesScanned\":" + std::to_string(summary.scanned) +
           ",\"notScannedExtension\":" + std::to_string(summary.skippedByExtension) +
           ",\"notScannedPathTooLong\":" + std::to_string(summary.tooLong) +
           ",\"notScannedUnread\":" + std::to_string(summary.unread) +
           ",\"notFullyScanned\":" + std::to_string(summary.partly) +
           ",\"pathsNotScanned\":" + std::to_string(summary.pathsRefused) +
           ",\"threats\":" + std::to_string(result.threats.size()) +
           ",\"detections\":" + std::to_string(result.detections) +
           ",\"quarantined\":" + std::to_string(result.quarantined) +
           ",\"exitCode\":" + std::to_string(summary.exitCode) + "}";
}

int Scan(const KivoScanOptions& options, const std::wstring& engineFolder, KivoConsole& console)
{
    // From the first moment: an interrupt at any point is a stopped scan.
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    std::optional<KivoPathSurvey> survey;
    std::optional<uint32_t> toScan;
    if (options.scanType == ScanType::Custom) {
        survey.emplace(options.paths, &g_interrupts);
        if (survey->interrupted()) {
            console.Err("kivoscan: stopped before the scan began; nothing was scanned");
            return kInterruptedBeforeStart;
        }
        ReportPaths(*survey, options, console);
        if (survey->roots().empty())
            return kError;
        toScan = survey->scannable();
    }
    const ULONGLONG began = GetTickCount64();

    KivoTaskPeer peer(TaskIdOfThisRun());
    static_cast<void>(Substitute::UnreadFiles::Take(engineFolder, TaskIdOfThisRun())); // an earlier process's, by id
    if (!StartPeer(peer, engineFolder, console))
        return kError;
    TaskRun run(peer, console, options, true, toScan);
    RunResult result = run.Scan(options.scanType, survey ? survey->roots() : std::vector<std::wstring>());
    if (!result.answered)
        return Fail(console, L"the module did not answer the task setup");
    if (!result.started)
        return Fail(console, L"the module did not start the scan");
    if (options.quarantine && !result.threats.empty()) {
        std::vector<uint32_t> ids;
        for (const RC::ThreatFoundEvent& threat : result.threats)
            ids.push_back(threat.queryId);
        unsigned succeeded = 0;
        if (!run.Operate(Operation::Quarantine, ids, succeeded))
            Fail(console, L"the quarantine did not finish");
        result.quarantined = run.result().quarantined;
    }

    const std::vector<Substitute::UnreadFiles::Entry> unread =
        Substitute::UnreadFiles::Take(engineFolder, TaskIdOfThisRun());
    ReportUnread(unread, options, console);
    const Summary summary = Summarize(result, survey ? &*survey : nullptr, unread);
    if (options.json)
        console.Out(SummaryJson(summary, result));
    // With --json stdout carries events only.
    if (!options.quiet) {
        const std::string text = SummaryText(summary, result, options, GetTickCount64() - began);
        options.json ? console.Err(text) : console.Out(text);
    }
    if (GetEnvironmentVariableW(L"KIVOSCAN_STATS", nullptr, 0) != 0)
        PrintStats(console, result, GetTickCount64() - began);
    if (g_interrupts.load() > 0)
        console.Err("kivoscan: interrupted; the scan was stopped before its end");
    return summary.exitCode;
}

std::wstring Said(const KivoScanOptions& options, const KivoSignatures::Failure& failure)
{
    return (failure.path.empty() ? std::wstring() : Shown(options, failure.path)) + failure.what;
}

int ListQuarantine(const KivoScanOptions& options, const std::wstring& engineFolder, KivoConsole& console)
{
    const std::vector<KivoQuarantine::Item> items = KivoQuarantine(engineFolder + L"Quarantine").List();
    for (const KivoQuarantine::Item& item : items) {
        FILETIME utc{static_cast<DWORD>(item.time), static_cast<DWORD>(item.time >> 32)};
        SYSTEMTIME when{};
        FileTimeToSystemTime(&utc, &when);
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02uT%02u:%02u:%02uZ", when.wYear, when.wMonth, when.wDay,
                      when.wHour, when.wMinute, when.wSecond);
        console.Out(U8(item.md5) + "  " + stamp + "  " + std::to_string(item.size) + "  " + U8(item.threatName) + "  " +
                    U8(Shown(options, item.originalPath)));
    }
    console.Err(std::to_string(items.size()) + " quarantined file(s)");
    return kClean;
}

// The engine restores by the MD5 and path of a threat the task found. So the
// quarantined bytes are put at the path, with the original's times, and
// scanned through the bus. When that yields the threat, the copy goes again
// and the engine's restore writes the file back from its quarantine item.
// When the engine no longer detects the file (its signature was removed
// after a false positive), there is no threat to restore: the copy is the
// restored file, and kivoscan drops the item itself.
int Restore(const KivoScanOptions& options, const std::wstring& engineFolder, KivoConsole& console)
{
    const std::wstring path = FullPath(options.restorePath);
    const std::wstring md5 = Upper(options.restoreMd5);
    const std::vector<KivoQuarantine::Item> items = KivoQuarantine(engineFolder + L"Quarantine").List();
    const KivoQuarantine::Item* item = nullptr;
    for (const KivoQuarantine::Item& candidate : items)
        if (candidate.md5 == md5)
            item = &candidate;
    if (item == nullptr)
        return Fail(console, L"no quarantined file has the MD5 " + md5);
    if (RCPathExists(path))
        return Fail(console, Shown(options, path) + L" already exists");
    if (!KivoQuarantine::WriteCopy(*item, path))
        return Fail(console,
                    L"cannot write " + Shown(options, path) + L" (error " + std::to_wstring(GetLastError()) + L")");

    KivoTaskPeer peer(TaskIdOfThisRun());
    if (!StartPeer(peer, engineFolder, console)) {
        DeleteFileW(path.c_str());
        return kError;
    }
    KivoScanOptions quiet = options;
    quiet.quiet = true;
    TaskRun run(peer, console, quiet, false);
    const RunResult result = run.Scan(ScanType::Custom, {path});
    const RC::ThreatFoundEvent* threat = nullptr;
    for (const RC::ThreatFoundEvent& found : result.threats)
        if (Upper(found.filePath) == Upper(path))
            threat = &found;
    if (!result.answered || !result.started || result.state != ScanState::Completed) {
        DeleteFileW(path.c_str());
        return Fail(console, L"the module did not run the scan that a restore needs");
    }
    if (threat == nullptr) {
        if (!KivoQuarantine::Remove(*item))
            Fail(console, L"restored, but cannot remove " + item->itemPath + L" from the quarantine");
    } else {
        DeleteFileW(path.c_str());
        unsigned succeeded = 0;
        if (!run.Operate(Operation::Restore, {threat->queryId}, succeeded) || succeeded != 1)
            return Fail(console, L"the engine could not restore " + Shown(options, path));
    }
    if (!options.json)
        console.Out(U8(Shown(options, path) + L": restored"));
    return kClean;
}

int Run(int argc, wchar_t** argv)
{
    KivoConsole console;
    KivoScanOptions options;
    if (!options.Parse(std::vector<std::wstring>(argv + 1, argv + argc))) {
        Fail(console, options.error());
        console.Err("Try 'kivoscan --help'.");
        return kError;
    }
    if (options.action == KivoScanOptions::Action::Help) {
        console.Out(U8(KivoScanOptions::Usage()));
        return kClean;
    }
    const std::wstring engineFolder = RCGetExeFolder();
    if (options.action == KivoScanOptions::Action::ListQuarantine)
        return ListQuarantine(options, engineFolder, console);
    if (options.action == KivoScanOptions::Action::ListSignatures) {
        KivoSignatures::List(engineFolder, console);
        KivoSignatures::PrintSummary(KivoSignatures::Installed(engineFolder), false, console);
        return kClean;
    }
    if (options.action == KivoScanOptions::Action::RemoveSignatures) {
        KivoSignatures::Failure failure;
        if (!KivoSignatures::Remove(options.signatureFile, engineFolder, failure))
            return Fail(console, Said(options, failure));
        KivoSignatures::PrintSummary(KivoSignatures::Installed(engineFolder), false, console);
        return kClean;
    }
    for (const wchar_t* part : {L"RCTrevox.dll", L"Quentor.dll", L"Halvane.dll"})
        if (!RCIsFile(engineFolder + part))
            return Fail(console, L"engine missing: " + engineFolder + part + L" not found");
    if (!options.signatures.empty()) {
        KivoSignatures::Failure failure;
        if (!KivoSignatures::Install(FullPath(options.signatures), engineFolder, failure))
            return Fail(console, Said(options, failure));
        KivoSignatures::PrintSummary(KivoSignatures::Installed(engineFolder), options.json, console);
        if (options.action == KivoScanOptions::Action::InstallSignatures)
            return kClean;
    }
    if (!options.database.empty()) {
        // The engine reads its databases from there, in this process, and
        // nothing is installed.
        const std::wstring source = FullPath(options.database);
        if (!RCPathExists(source))
            return Fail(console, Shown(options, source) + L": no such folder or file");
        SetEnvironmentVariableW(L"QUENTOR_SIGNATURES", source.c_str());
        KivoSignatures::PrintSummary(source, options.json, console);
    }
    if (options.action == KivoScanOptions::Action::Restore)
        return Restore(options, engineFolder, console);
    return Scan(options, engineFolder, console);
}

// A wrapper cannot tell a kivoscan that ended from one that was killed: Wine
// answers 0 for a process whose server was stopped under it. So kivoscan
// writes its exit code, as its last act, where KIVOSCAN_EXIT_FILE says.
void NoteExit(int exitCode)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"KIVOSCAN_EXIT_FILE", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    RC::unique_hfile file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const std::string text = std::to_string(exitCode);
    DWORD written = 0;
    if (file)
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int exitCode = Run(argc, argv);
    NoteExit(exitCode);
    return exitCode;
}
