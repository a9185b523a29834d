// Random lifecycle calls on the scan controller, run by hand: many custom
// scans of a small folder, each started and then suspended, resumed and
// stopped at random. Every run must end with exactly one end state within a
// bound, and the process's handles and memory must stay flat from the tenth
// run to the last.
//   controller-stress [RUNS [SEED]]   (default 1000 runs; exit 1 on a hang,
//                                      a second end state or growth)
//
// Threads: wmain makes every lifecycle call, so that suspend and resume come
// from the same thread (the pause gate is held by the suspending thread);
// the observer's callbacks come on the controller's worker threads.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "Src/Engine/RCTrevoxCtrl.h"
#include "bench/ProcessSample.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCHandles.h"

namespace {

constexpr auto kEndBound = std::chrono::seconds(60);
constexpr DWORD kHandleMargin = 8;
constexpr double kMemoryMarginMiB = 4.0; // the heaps settle for a few hundred runs (about 2 MiB)

class EndCounter : public RC::IScanObCallback {
public:
    void OnScanStateChange(const RC::ScanStatusBlock* status) override
    {
        if (status->state != RC::ScanState::Stopped && status->state != RC::ScanState::Completed)
            return;
        std::lock_guard<std::mutex> guard(lock_);
        ++ends_;
        lastEnd_ = status->state;
        changed_.notify_all();
    }
    void OnScanProgressChange(const RC::ScanProgressBlock*) override {}
    void OnItemStatusChange(uint32_t, const RC::ItemRow*) override {}
    void OnItemProgressChange(uint32_t, const RC::ItemRow*) override {}

    // The number of end states once it reaches count, or what it was at the bound.
    long WaitFor(long count)
    {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait_for(guard, kEndBound, [&] { return ends_ >= count; });
        return ends_;
    }
    RC::ScanState LastEnd()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return lastEnd_;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    long ends_ = 0;
    RC::ScanState lastEnd_ = RC::ScanState::NotStarted;
};

using KivoBench::ProcessSample;

ProcessSample Measure(long run)
{
    const ProcessSample sample = KivoBench::SampleProcess();
    std::fwprintf(stderr, L"run %ld: handles %lu, private bytes %.1f MiB, working set %.1f MiB\n", run, sample.handles,
                  sample.privateMiB, sample.workingSetMiB);
    return sample;
}

// A hung worker would hold up every destructor: leave at once.
[[noreturn]] void Fail()
{
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 1);
    std::abort();
}

// A few files the engine is asked about, one the filter skips, and a test virus.
std::vector<std::wstring> PlantFolder(const std::wstring& folder)
{
    CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<std::wstring> files;
    const wchar_t* const kinds[] = {L"exe", L"dll", L"sys", L"com", L"zip", L"txt"};
    for (int i = 0; i < 30; ++i) {
        files.push_back(folder + L"\\f" + std::to_wstring(i) + L"." + kinds[i % 6]);
        const std::string bytes = i == 0 ? "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*"
                                         : std::string(512 + 97 * i, static_cast<char>('a' + i % 26));
        RC::unique_hfile file(CreateFileW(files.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    return files;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const long runs = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 1000;
    const unsigned long seed = argc > 2 ? std::wcstoul(argv[2], nullptr, 10) : GetTickCount();
    if (runs < 10) {
        std::fwprintf(stderr, L"usage: controller-stress [RUNS (at least 10) [SEED]]\n");
        return 2;
    }
    RC::RCDebugger::GetInstance()->Init(nullptr);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"KivoStress" + std::to_wstring(GetCurrentProcessId());
    const std::vector<std::wstring> files = PlantFolder(folder);
    std::fwprintf(stderr, L"controller-stress: %ld runs over %u files, seed %lu\n", runs,
                  static_cast<unsigned>(files.size()), seed);

    std::mt19937 random(seed);
    EndCounter counter;
    RC::RCSafeTrevoxCtrl ctrl;
    ctrl.Initialize(L"controller-stress");
    ctrl.GetObserver()->SetCallback(&counter);
    RC::ScanTypeInfo info;
    info.scanType = RC::ScanType::Custom;
    info.customPaths = {folder};
    ctrl.SetScanTypeInfo(info);

    ProcessSample tenth, last;
    long stoppedRuns = 0; // runs with a stop call
    for (long run = 1; run <= runs; ++run) {
        // The end state comes just before the run lets go of its flags.
        for (int tries = 0; !ctrl.StartScan(); ++tries) {
            if (tries == 3000) {
                std::fwprintf(stderr, L"run %ld: the controller refused to start for 30 s\n", run);
                Fail();
            }
            Sleep(10);
        }
        bool suspended = false, stopped = false;
        for (int step = random() % 5; step > 0; --step) {
            const unsigned call = random() % 4;
            if (call == 0)
                suspended = ctrl.SuspendScan() || suspended;
            else if (call == 1)
                suspended = suspended && !ctrl.ResumeScan();
            else if (call == 2)
                ctrl.StopScan(), stopped = true;
            else
                Sleep(random() % 20);
        }
        if (suspended)
            ctrl.ResumeScan();
        const long ends = counter.WaitFor(run);
        if (ends != run) {
            std::fwprintf(stderr, L"run %ld: %ld end states where %ld were due (%ls)\n", run, ends, run,
                          ends < run ? L"a hang: none within the bound" : L"a second end state");
            Fail();
        }
        stoppedRuns += stopped;
        if (!stopped && counter.LastEnd() != RC::ScanState::Completed) {
            std::fwprintf(stderr, L"run %ld: ended in state %u without a stop\n", run,
                          RC::WireValue(counter.LastEnd()));
            Fail();
        }
        if (run == 10)
            tenth = Measure(run);
        else if (run == runs / 2 || run == runs)
            last = Measure(run);
    }
    // A late second end state of the last run would show here.
    Sleep(500);
    const long ends = counter.WaitFor(runs);
    ctrl.UnInitialize();
    for (const std::wstring& file : files)
        DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());

    const bool grew = last.handles > tenth.handles + kHandleMargin ||
                      last.privateMiB > tenth.privateMiB + kMemoryMarginMiB ||
                      last.workingSetMiB > tenth.workingSetMiB + kMemoryMarginMiB;
    std::fwprintf(stderr,
                  L"controller-stress: %ld runs, %ld end states, %ld of them stopped; from run 10 to run %ld: "
                  L"handles %+ld, private bytes %+.1f MiB, working set %+.1f MiB%ls\n",
                  runs, ends, stoppedRuns, runs, static_cast<long>(last.handles) - static_cast<long>(tenth.handles),
                  last.privateMiB - tenth.privateMiB, last.workingSetMiB - tenth.workingSetMiB, grew ? L": GREW" : L"");
    return ends == runs && !grew ? 0 : 1;
}
