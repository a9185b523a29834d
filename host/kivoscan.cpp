// kivoscan: the command-line scanner. A peer on the reference bus: it loads
// RCTrevox.dll beside itself, sets up one task, starts it and reports what the
// task's events say, as clamscan does (exit 0 clean, 1 threats, 2 error).
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "foundation/RCFileSystem.h"
#include "foundation/RCHandles.h"
#include "foundation/RCTextConvert.h"
#include "host/KivoConsole.h"
#include "host/KivoQuarantine.h"
#include "host/KivoScanOptions.h"
#include "host/KivoTaskPeer.h"

using namespace KivoHost;

namespace {

constexpr int kClean = 0;
constexpr int kThreatsFound = 1;
constexpr int kError = 2;

// Task commands and operations of the bus requests.
constexpr uint32_t kCommandStart = 0;
constexpr uint32_t kCommandStop = 1;
constexpr uint32_t kOperationQuarantine = 1;
constexpr uint32_t kOperationRestore = 4;
// Run states of EVT_SCAN_STATE; operation phases of EVT_OPERATE_STATE.
constexpr uint32_t kStateStopped = 3;
constexpr uint32_t kStateCompleted = 4;
constexpr uint32_t kPhaseFinished = 4;
constexpr uint32_t kOutcomeFailed = 1;
constexpr uint32_t kOutcomeSucceeded = 2;

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

std::string U8(const std::wstring& text) { return RCWideToUtf8(text); }

std::wstring Upper(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

std::wstring FullPath(const std::wstring& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    full.resize(length < needed ? length : 0);
    // A folder's trailing backslash would double up in the paths the walk joins.
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/'))
        full.pop_back();
    return full;
}

int Fail(KivoConsole& console, const std::wstring& message)
{
    console.Err("kivoscan: " + U8(message));
    return kError;
}

// Copies DIR's hash databases into the engine's signatures folder, where the
// engine loads (and on each run reloads) them from.
bool InstallSignatures(const std::wstring& from, const std::wstring& engineFolder, std::wstring& error)
{
    if (!RCIsDirectory(from)) {
        error = from + L": no such folder";
        return false;
    }
    const std::wstring to = engineFolder + L"signatures";
    CreateDirectoryW(to.c_str(), nullptr);
    unsigned copied = 0;
    for (const wchar_t* pattern : {L"\\*.hdb", L"\\*.hsb"}) {
        WIN32_FIND_DATAW found{};
        RC::unique_hfind find(FindFirstFileW((from + pattern).c_str(), &found));
        if (!find)
            continue;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            const std::wstring source = from + L"\\" + found.cFileName;
            if (!CopyFileW(source.c_str(), (to + L"\\" + found.cFileName).c_str(), FALSE)) {
                error = L"cannot copy " + source + L" to " + to + L" (error " + std::to_wstring(GetLastError()) + L")";
                return false;
            }
            ++copied;
        } while (FindNextFileW(find.get(), &found));
    }
    if (copied == 0) {
        error = from + L" holds no .hdb or .hsb file";
        return false;
    }
    return true;
}

// What one run of a task showed; filled from its events.
struct RunResult {
    bool answered = false;       // the setup was answered
    bool started = false;
    uint32_t state = 0;          // the last run state
    uint32_t filesFound = 0;
    std::vector<RC::ThreatFoundEvent> threats;
    unsigned quarantined = 0;
};

class TaskRun {
public:
    // reportThreats false: threats are collected, not printed (the scan
    // inside a restore).
    TaskRun(KivoTaskPeer& peer, KivoConsole& console, const KivoScanOptions& options, bool reportThreats = true)
        : peer_(peer), console_(console), options_(options), reportThreats_(reportThreats)
    {
    }

    // Sets the task up, starts it and follows it to its end state. The first
    // interrupt stops it through the bus; the end state still arrives.
    RunResult Scan(uint32_t scanType, const std::vector<std::wstring>& paths)
    {
        peer_.Setup(scanType, paths);
        if (!Await([](const KivoTaskEvent& e) { return e.kind() == KivoTaskEvent::Kind::SetupDone; }))
            return result_;
        result_.answered = true;
        peer_.Command(kCommandStart);
        bool stopSent = false;
        bool startAnswered = false;
        unsigned silentMs = 0;
        for (;;) {
            if (g_interrupts.load() > 0 && !stopSent) {
                peer_.Command(kCommandStop);
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
            if (event->kind() == KivoTaskEvent::Kind::CommandResult && event->commandResult.command == kCommandStart) {
                startAnswered = true;
                if (!event->commandResult.result)
                    return result_;
            }
            // The run's own states may come before the start command's
            // result: a small scan can end before the reply is posted.
            if (event->kind() == KivoTaskEvent::Kind::ScanState && event->scanState.state != 0) {
                result_.started = startAnswered = true;
                if (event->scanState.state == kStateStopped || event->scanState.state == kStateCompleted) {
                    console_.ClearProgress();
                    return result_;
                }
            }
        }
    }

    // Runs one threat operation over the query ids and counts what succeeded.
    // False when the module did not finish it in time.
    bool Operate(uint32_t operation, const std::vector<uint32_t>& queryIds, unsigned& succeeded)
    {
        peer_.Operate(operation, queryIds);
        succeeded = 0;
        return Await([&](const KivoTaskEvent& e) {
            if (e.kind() == KivoTaskEvent::Kind::OperateItem && e.operateItem.outcome == kOutcomeSucceeded)
                ++succeeded;
            return e.kind() == KivoTaskEvent::Kind::OperateState && e.operateState.phase == kPhaseFinished;
        });
    }

    const RunResult& result() const { return result_; }

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
            result_.filesFound = event.scanState.filesFound;
            break;
        case KivoTaskEvent::Kind::ScanProgress:
            result_.filesFound = event.scanProgress.filesFound;
            if (!options_.quiet)
                ShowProgress(event.scanProgress);
            break;
        case KivoTaskEvent::Kind::ItemStatus:
            if (!options_.quiet && !options_.json && !console_.interactive() && event.itemStatus.status == 3)
                console_.Out(U8(ItemName(event.itemStatus.showType)) + ": done, " +
                             std::to_string(event.itemStatus.enumerated) + " files, " +
                             std::to_string(event.itemStatus.level2 + event.itemStatus.level3) + " threats");
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
        return found != itemNames_.end() ? found->second : L"item " + std::to_wstring(showType);
    }

    void ShowProgress(const RC::ScanProgressEvent& progress)
    {
        wchar_t head[96];
        std::swprintf(head, 96, L"[%3u%%] ", progress.percent > 100 ? 100u : progress.percent);
        std::wstring line = head + ItemName(progress.currentShowType) + L" | files " +
                            std::to_wstring(progress.filesFound) + L" | threats " +
                            std::to_wstring(result_.threats.size()) + L" | ";
        // The current file's tail, so the line fits a terminal of 80 columns.
        const size_t used = KivoColumns(line);
        std::wstring file = progress.currentFile;
        const size_t room = used < 76 ? 76 - used : 0;
        while (!file.empty() && KivoColumns(file) > room)
            file.erase(0, 1);
        if (file.size() < progress.currentFile.size() && file.size() > 3)
            file.replace(0, 3, L"...");
        console_.Progress(line + file);
    }

    void ShowThreat(const RC::ThreatFoundEvent& threat)
    {
        result_.threats.push_back(threat);
        if (options_.json || !reportThreats_)
            return;
        console_.Out(U8(threat.filePath + L": " + threat.threatName + L" FOUND"));
        if (!options_.quiet)
            console_.Out(U8(L"    " + threat.categoryName + L", " + threat.actionName + L": " + threat.advice));
    }

    void ShowOperateItem(const RC::OperateItemEvent& item)
    {
        if (item.outcome != kOutcomeSucceeded && item.outcome != kOutcomeFailed)
            return;
        if (item.outcome == kOutcomeSucceeded && item.operation == kOperationQuarantine)
            ++result_.quarantined;
        if (options_.json || item.operation != kOperationQuarantine)
            return;
        std::wstring path = L"query " + std::to_wstring(item.queryId);
        for (const RC::ThreatFoundEvent& threat : result_.threats)
            if (threat.queryId == item.queryId)
                path = threat.filePath;
        console_.Out(U8(path + (item.outcome == kOutcomeSucceeded ? L": quarantined" : L": quarantine failed")));
    }

    KivoTaskPeer& peer_;
    KivoConsole& console_;
    const KivoScanOptions& options_;
    const bool reportThreats_;
    RunResult result_;
    std::map<uint32_t, std::wstring> itemNames_;
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

int Scan(const KivoScanOptions& options, const std::wstring& engineFolder, KivoConsole& console)
{
    std::vector<std::wstring> paths;
    for (const std::wstring& path : options.paths) {
        const std::wstring full = FullPath(path);
        if (!RCPathExists(full))
            return Fail(console, path + L": no such file or folder");
        paths.push_back(full);
    }
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    const ULONGLONG began = GetTickCount64();

    KivoTaskPeer peer(TaskIdOfThisRun());
    if (!StartPeer(peer, engineFolder, console))
        return kError;
    TaskRun run(peer, console, options);
    RunResult result = run.Scan(options.scanType, paths);
    if (!result.answered)
        return Fail(console, L"the module did not answer the task setup");
    if (!result.started)
        return Fail(console, L"the module did not start the scan");
    if (options.quarantine && !result.threats.empty()) {
        std::vector<uint32_t> ids;
        for (const RC::ThreatFoundEvent& threat : result.threats)
            ids.push_back(threat.queryId);
        unsigned succeeded = 0;
        if (!run.Operate(kOperationQuarantine, ids, succeeded))
            Fail(console, L"the quarantine did not finish");
        result.quarantined = run.result().quarantined;
    }

    if (!options.quiet) {
        wchar_t seconds[32];
        std::swprintf(seconds, 32, L"%.3f", static_cast<double>(GetTickCount64() - began) / 1000.0);
        const std::wstring state = result.state == kStateCompleted ? L"completed"
                                   : result.state == kStateStopped ? L"stopped"
                                                                   : L"state " + std::to_wstring(result.state);
        const std::string summary = "\n----------- SCAN SUMMARY -----------\n"
                                    "Scan type: " + U8(options.typeName) +
                                    "\nState: " + U8(state) +
                                    "\nScanned files: " + std::to_string(result.filesFound) +
                                    "\nThreats found: " + std::to_string(result.threats.size()) +
                                    "\nQuarantined: " + std::to_string(result.quarantined) +
                                    "\nTime: " + U8(seconds) + " sec";
        // With --json stdout carries events only.
        options.json ? console.Err(summary) : console.Out(summary);
    }
    if (GetEnvironmentVariableW(L"KIVOSCAN_STATS", nullptr, 0) != 0)
        PrintStats(console, result, GetTickCount64() - began);
    return result.threats.empty() ? kClean : kThreatsFound;
}

int ListQuarantine(const std::wstring& engineFolder, KivoConsole& console)
{
    const std::vector<KivoQuarantine::Item> items = KivoQuarantine(engineFolder + L"Quarantine").List();
    for (const KivoQuarantine::Item& item : items) {
        FILETIME utc{static_cast<DWORD>(item.time), static_cast<DWORD>(item.time >> 32)};
        SYSTEMTIME when{};
        FileTimeToSystemTime(&utc, &when);
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02uT%02u:%02u:%02uZ", when.wYear, when.wMonth, when.wDay,
                      when.wHour, when.wMinute, when.wSecond);
        console.Out(U8(item.md5) + "  " + stamp + "  " + std::to_string(item.size) + "  " + U8(item.threatName) +
                    "  " + U8(item.originalPath));
    }
    console.Err(std::to_string(items.size()) + " quarantined file(s)");
    return kClean;
}

// The engine restores by the MD5 and path of a threat the task found. So the
// quarantined bytes are put at the path for a moment, scanned through the bus
// (which yields that threat), taken away again, and the engine's restore
// writes the file back from its quarantine item.
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
        return Fail(console, path + L" already exists");
    if (!KivoQuarantine::WriteCopy(*item, path))
        return Fail(console, L"cannot write " + path + L" (error " + std::to_wstring(GetLastError()) + L")");

    KivoTaskPeer peer(TaskIdOfThisRun());
    if (!StartPeer(peer, engineFolder, console)) {
        DeleteFileW(path.c_str());
        return kError;
    }
    KivoScanOptions quiet = options;
    quiet.quiet = true;
    TaskRun run(peer, console, quiet, false);
    const RunResult result = run.Scan(3, {path});
    DeleteFileW(path.c_str());
    const RC::ThreatFoundEvent* threat = nullptr;
    for (const RC::ThreatFoundEvent& found : result.threats)
        if (Upper(found.filePath) == Upper(path))
            threat = &found;
    if (!result.answered || !result.started)
        return Fail(console, L"the module did not run the scan that a restore needs");
    if (threat == nullptr)
        return Fail(console, L"the engine does not detect the quarantined file any more; nothing restored");
    unsigned succeeded = 0;
    if (!run.Operate(kOperationRestore, {threat->queryId}, succeeded) || succeeded != 1)
        return Fail(console, L"the engine could not restore " + path);
    if (!options.json)
        console.Out(U8(path) + ": restored");
    return kClean;
}

} // namespace

int wmain(int argc, wchar_t** argv)
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
        return ListQuarantine(engineFolder, console);
    for (const wchar_t* part : {L"RCTrevox.dll", L"Quentor.dll", L"Halvane.dll"})
        if (!RCIsFile(engineFolder + part))
            return Fail(console, L"engine missing: " + engineFolder + part + L" not found");
    if (!options.signatures.empty()) {
        std::wstring error;
        if (!InstallSignatures(FullPath(options.signatures), engineFolder, error))
            return Fail(console, error);
    }
    if (options.action == KivoScanOptions::Action::Restore)
        return Restore(options, engineFolder, console);
    return Scan(options, engineFolder, console);
}
