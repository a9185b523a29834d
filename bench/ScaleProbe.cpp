// Where the memory of a long custom scan goes: one stage of the pipeline
// after another over the given folders, sampled every N files, so that a
// growth can be pinned to the stage that adds it.
//   scale-probe walk|open|queue|ctrl [N] PATH...   (default N 20000)
// walk: the directory walk, each file's path and the file filter; open: the
// same and every file read through once; queue: the walk feeding the file
// scan queue and whatever Quentor.dll lies beside this program; ctrl: a
// custom scan through the controller (walk, filter, queue, engine,
// observer, trojan list). Each sample prints the private bytes, the working
// set and its peak so far.
//
// Threads: wmain walks (walk, open, queue) or waits for the run's end
// (ctrl); in ctrl the samples come from the enumeration thread's progress.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "Src/Engine/Enumerator/RCAvEnumFileFilter.h"
#include "Src/Engine/RCTrevoxCtrl.h"
#include "Src/Engine/Scanner/RCAvFileScan.h"
#include "bench/ProcessSample.h"
#include "bench/RunEndSignal.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCFileEnumerator.h"
#include "foundation/RCHandles.h"

namespace {

unsigned long g_every = 20000;
std::atomic<unsigned long> g_files{0};

void Sample(const wchar_t* what)
{
    const KivoBench::ProcessSample sample = KivoBench::SampleProcess();
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    std::fwprintf(stderr, L"%-10ls files %6lu: private %.1f MiB, working set %.1f MiB, peak %.1f MiB\n", what,
                  g_files.load(), sample.privateMiB, sample.workingSetMiB, counters.PeakWorkingSetSize / 1048576.0);
}

void CountUpTo(unsigned long files)
{
    while (g_files < files)
        if (++g_files % g_every == 0)
            Sample(L"at");
}

class NullSink : public RC::IAvFileScanEvent {
public:
    bool OnQueryBegin() override { return true; }
    bool OnFileQueryBegin(RC::FileQueryTask*) override { return true; }
    bool OnFileQueryEnd(RC::FileQueryTask*) override { return true; }
    bool OnQueryEnd() override { return true; }
};

class Walker : public RC::RCFileEnumeratorCallback {
public:
    Walker(bool read, RC::RCAvFileScan* queue) : read_(read), queue_(queue), buffer_(1 << 20)
    {
        filter_.checkExtension = 1;
    }
    uint32_t OnFindFile(const std::wstring& directory, const std::wstring& name, const WIN32_FIND_DATAW&) override
    {
        const std::wstring path = RCJoinFoundEntry(directory, name);
        if (filter_.IsFileFiltered(path))
            return 0;
        if (read_)
            ReadThrough(path);
        if (queue_ != nullptr) {
            RC::FileQueryTask task;
            task.taskId = ++lastTaskId;
            task.scanGroup = 1;
            task.path = path;
            queue_->AddFileQueryTask(&task);
        }
        CountUpTo(g_files + 1);
        return 0;
    }

    uint32_t lastTaskId = 0;

private:
    void ReadThrough(const std::wstring& path)
    {
        RC::unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        DWORD got = 0;
        while (file && ReadFile(file.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &got, nullptr) &&
               got != 0) {}
    }

    bool read_;
    RC::RCAvFileScan* queue_;
    RC::RCAvEnumFileFilter filter_;
    std::vector<char> buffer_;
};

void Walk(const std::wstring& mode, const std::vector<std::wstring>& roots)
{
    NullSink sink;
    RC::RCAvFileScan queue;
    const bool queued = mode == L"queue";
    if (queued) {
        queue.SetSink(&sink);
        queue.Init(L"scale-probe");
        if (!queue.StartScan()) {
            std::fwprintf(stderr, L"scale-probe: the queue did not start\n");
            return;
        }
    }
    Walker walker(mode == L"open", queued ? &queue : nullptr);
    for (const std::wstring& root : roots)
        RCEnumerateFiles(root, &walker);
    if (queued) {
        RC::FileQueryTask endOfRun;
        endOfRun.taskId = ++walker.lastTaskId;
        endOfRun.showType = RC::kEndOfRunShowType;
        queue.AddFileQueryTask(&endOfRun);
        queue.WaitingStop();
        Sample(L"run ended");
        queue.UnInit();
    }
}

// Samples as the run's progress reaches the bus (on the enumeration thread).
class ProgressSampler : public KivoBench::RunEndSignal {
public:
    void OnScanProgressChange(const RC::ScanProgressBlock* progress) override
    {
        CountUpTo(progress->counts.filesFound);
    }
};

void Controller(const std::vector<std::wstring>& roots)
{
    RC::ScanTypeInfo info;
    info.scanType = RC::ScanType::Custom;
    info.customPaths = roots;
    ProgressSampler sampler;
    RC::RCSafeTrevoxCtrl ctrl;
    ctrl.Initialize(L"scale-probe");
    ctrl.GetObserver()->SetCallback(&sampler);
    ctrl.SetScanTypeInfo(info);
    if (!ctrl.StartScan()) {
        std::fwprintf(stderr, L"scale-probe: the run did not start\n");
        return;
    }
    WaitForSingleObject(sampler.ended.get(), INFINITE);
    g_files = ctrl.GetObserver()->GetStatus().counts.filesFound;
    Sample(L"run ended");
    ctrl.UnInitialize();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    int first = 2;
    if (argc > 2 && iswdigit(argv[2][0])) {
        g_every = std::max(1ul, wcstoul(argv[2], nullptr, 10));
        first = 3;
    }
    if (first >= argc || (mode != L"walk" && mode != L"open" && mode != L"queue" && mode != L"ctrl")) {
        std::fwprintf(stderr, L"usage: scale-probe walk|open|queue|ctrl [N] PATH...\n");
        return 2;
    }
    RC::RCDebugger::GetInstance()->Init(nullptr);
    const std::vector<std::wstring> roots(argv + first, argv + argc);
    Sample(L"start");
    if (mode == L"ctrl")
        Controller(roots);
    else
        Walk(mode, roots);
    Sample(L"end");
    return 0;
}
