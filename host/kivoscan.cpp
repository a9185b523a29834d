// kivoscan: the command-line scanner. A peer on the reference bus: it loads
// RCTrevox.dll beside itself, sets up one task, starts it and reports what the
// task's events say, as clamscan does (exit 1 threats; else 2 for an error or
// anything not scanned; 0 for a whole, clean scan).
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "foundation/RCFileSystem.h"
#include "foundation/RCHandles.h"
#include "foundation/RCString.h"
#include "foundation/RCTextConvert.h"
#include "host/KivoConsole.h"
#include "host/KivoPathSurvey.h"
#include "host/KivoQuarantine.h"
#include "host/KivoScanOptions.h"
#include "host/KivoScanSummary.h"
#include "host/KivoSignatures.h"
#include "host/KivoTaskPeer.h"
#include "host/KivoTaskRun.h"
#include "host/KivoUnixPath.h"
#include "module/RCBusCodes.h"
#include "substitute/scan/UnreadFiles.h"

using namespace KivoHost;
using RC::Operation;
using RC::ScanState;
using RC::ScanType;

namespace {

constexpr int kInterruptedBeforeStart = 130; // as a shell reports a program ended by Ctrl-C

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

std::wstring Upper(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

bool IsCaseTwin(const KivoPathSurvey& survey, const std::wstring& path)
{
    for (const std::wstring& twin : survey.caseTwins())
        if (RCEqualsNoCase(twin, path))
            return true;
    return false;
}

int Fail(KivoConsole& console, const std::wstring& message)
{
    console.Err("kivoscan: " + U8(message));
    return kExitError;
}

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
void PrintStats(KivoConsole& console, const KivoRunResult& result, ULONGLONG surveyMs, ULONGLONG elapsedMs)
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        counters.PeakWorkingSetSize = 0;
    char line[200];
    std::snprintf(line, sizeof line,
                  "kivoscan: files %u, threats %u in %.3f s after a walk of %.3f s, peak working set %.1f MiB",
                  result.filesFound, static_cast<unsigned>(result.threats.size()), elapsedMs / 1000.0,
                  surveyMs / 1000.0, counters.PeakWorkingSetSize / 1048576.0);
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
    const auto shown = [&](const std::wstring& path) { return options.unixPaths ? KivoUnixPath(FullPath(path)) : path; };
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
            console.Out(U8(KivoShown(options, entry.path) + L": not fully scanned (" +
                           (what.rfind(L": ", 0) == 0 ? what.substr(2) : what) + L")"));
        } else {
            console.Out(U8(KivoShown(options, entry.path) + L": not scanned (" + entry.reason + L")"));
        }
    }
}

int Scan(const KivoScanOptions& options, const std::wstring& engineFolder, KivoConsole& console)
{
    // From the first moment: an interrupt at any point is a stopped scan.
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    std::optional<KivoPathSurvey> survey;
    std::optional<uint32_t> toScan;
    const ULONGLONG surveyed = GetTickCount64();
    if (options.scanType == ScanType::Custom) {
        survey.emplace(options.paths, &g_interrupts);
        if (survey->interrupted()) {
            console.Err("kivoscan: stopped before the scan began; nothing was scanned");
            return kInterruptedBeforeStart;
        }
        ReportPaths(*survey, options, console);
        if (survey->roots().empty())
            return kExitError;
        toScan = survey->scannable();
    }
    const ULONGLONG began = GetTickCount64();
    const ULONGLONG surveyMs = began - surveyed;

    KivoTaskPeer peer(TaskIdOfThisRun());
    static_cast<void>(Substitute::UnreadFiles::Take(engineFolder, TaskIdOfThisRun())); // an earlier process's, by id
    if (!StartPeer(peer, engineFolder, console))
        return kExitError;
    KivoTaskRun run(peer, console, options, g_interrupts, true, toScan);
    KivoRunResult result = run.Scan(options.scanType, survey ? survey->roots() : std::vector<std::wstring>());
    if (!result.answered)
        return Fail(console, L"the module did not answer the task setup");
    if (!result.started)
        return Fail(console, L"the module did not start the scan");
    if (options.quarantine && !result.threats.empty()) {
        std::vector<uint32_t> ids;
        for (const RC::ThreatFoundEvent& threat : result.threats) {
            // Windows opens either of two names that differ only in case by
            // both: the engine could move the other file, and the message
            // would name the wrong one. Nothing moves, and the user hears why.
            if (survey && IsCaseTwin(*survey, threat.filePath))
                Fail(console, KivoShown(options, threat.filePath) +
                                  L": not quarantined (its folder holds a name that differs only in letter case)");
            else
                ids.push_back(threat.queryId);
        }
        unsigned succeeded = 0;
        if (!ids.empty() && !run.Operate(Operation::Quarantine, ids, succeeded))
            Fail(console, L"the quarantine did not finish");
        result.quarantined = run.result().quarantined;
    }

    const std::vector<Substitute::UnreadFiles::Entry> unread =
        Substitute::UnreadFiles::Take(engineFolder, TaskIdOfThisRun());
    ReportUnread(unread, options, console);
    const KivoScanSummary summary = KivoScanSummary::Of(result, survey ? &*survey : nullptr, unread);
    if (options.json)
        console.Out(summary.Json(result));
    // With --json stdout carries events only.
    if (!options.quiet) {
        const std::string text = summary.Text(result, options, GetTickCount64() - began);
        options.json ? console.Err(text) : console.Out(text);
    }
    if (GetEnvironmentVariableW(L"KIVOSCAN_STATS", nullptr, 0) != 0)
        PrintStats(console, result, surveyMs, GetTickCount64() - began);
    if (g_interrupts.load() > 0)
        console.Err("kivoscan: interrupted; the scan was stopped before its end");
    return summary.exitCode;
}

std::wstring Said(const KivoScanOptions& options, const KivoSignatures::Failure& failure)
{
    return (failure.path.empty() ? std::wstring() : KivoShown(options, failure.path)) + failure.what;
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
                    U8(KivoShown(options, item.originalPath)));
    }
    console.Err(std::to_string(items.size()) + " quarantined file(s)");
    return kExitClean;
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
        return Fail(console, KivoShown(options, path) + L" already exists");
    if (!KivoQuarantine::WriteCopy(*item, path))
        return Fail(console,
                    L"cannot write " + KivoShown(options, path) + L" (error " + std::to_wstring(GetLastError()) + L")");

    KivoTaskPeer peer(TaskIdOfThisRun());
    if (!StartPeer(peer, engineFolder, console)) {
        DeleteFileW(path.c_str());
        return kExitError;
    }
    KivoScanOptions quiet = options;
    quiet.quiet = true;
    KivoTaskRun run(peer, console, quiet, g_interrupts, false);
    const KivoRunResult result = run.Scan(ScanType::Custom, {path});
    const RC::ThreatFoundEvent* threat = nullptr;
    for (const RC::ThreatFoundEvent& found : result.threats)
        if (RCEqualsNoCase(found.filePath, path))
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
            return Fail(console, L"the engine could not restore " + KivoShown(options, path));
    }
    if (!options.json)
        console.Out(U8(KivoShown(options, path) + L": restored"));
    return kExitClean;
}

int Run(int argc, wchar_t** argv)
{
    KivoConsole console;
    KivoScanOptions options;
    if (!options.Parse(std::vector<std::wstring>(argv + 1, argv + argc))) {
        Fail(console, options.error());
        console.Err("Try 'kivoscan --help'.");
        return kExitError;
    }
    if (options.action == KivoScanOptions::Action::Help) {
        console.Out(U8(KivoScanOptions::Usage()));
        return kExitClean;
    }
    const std::wstring engineFolder = RCGetExeFolder();
    // Before anything reads a database: the engine, in this process, asks.
    if (options.unsignedContainers)
        SetEnvironmentVariableW(L"QUENTOR_UNSIGNED_CONTAINERS", L"1");
    if (options.alertEncrypted)
        SetEnvironmentVariableW(L"QUENTOR_ALERT_ENCRYPTED", L"1");
    if (options.action == KivoScanOptions::Action::ListQuarantine)
        return ListQuarantine(options, engineFolder, console);
    if (options.action == KivoScanOptions::Action::ListSignatures) {
        KivoSignatures::List(engineFolder, console);
        KivoSignatures::PrintSummary(KivoSignatures::Installed(engineFolder), false, console);
        return kExitClean;
    }
    if (options.action == KivoScanOptions::Action::RemoveSignatures) {
        KivoSignatures::Failure failure;
        if (!KivoSignatures::Remove(options.signatureFile, engineFolder, failure))
            return Fail(console, Said(options, failure));
        KivoSignatures::PrintSummary(KivoSignatures::Installed(engineFolder), false, console);
        return kExitClean;
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
            return kExitClean;
    }
    if (!options.database.empty()) {
        // The engine reads its databases from there, in this process, and
        // nothing is installed.
        const std::wstring source = FullPath(options.database);
        if (!RCPathExists(source))
            return Fail(console, KivoShown(options, source) + L": no such folder or file");
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
