// The file scan queue's own cost per file: RCAvFileScan and its events for
// every file under the given folders, through whatever Quentor.dll lies
// beside this program. Built beside a stand-in engine that answers at once
// without reading (bin/queue_bench), it measures the queue alone; copied
// beside the substitute engine, the queue plus the engine's real work.
//   queue-bench PATH...   (run without a KivoLog.xml)
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "Src/Engine/Scanner/RCAvFileScan.h"
#include "substitute/QuentorScan/FileList.h"
#include "foundation/RCDebugger.h"

namespace {

// Counts the events as the scan controller would receive them.
class CountingSink : public RC::IAvFileScanEvent {
public:
    bool OnQueryBegin() override { return true; }
    bool OnFileQueryBegin(RC::FileQueryTask*) override
    {
        ++begun;
        return true;
    }
    bool OnFileQueryEnd(RC::FileQueryTask* task) override
    {
        ++ended;
        if (task->level() != RC::ThreatLevel::Clean)
            ++threats;
        return true;
    }
    bool OnQueryEnd() override { return true; }

    std::atomic<unsigned long> begun{0};
    std::atomic<unsigned long> ended{0};
    std::atomic<unsigned long> threats{0};
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: queue-bench PATH...\n");
        return 2;
    }
    RC::RCDebugger::GetInstance()->Init(nullptr);
    const std::vector<std::wstring> files = Substitute::ListFiles(std::vector<std::wstring>(argv + 1, argv + argc));

    CountingSink sink;
    RC::RCAvFileScan scan;
    scan.SetSink(&sink);
    scan.Init(L"queue-bench");

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!scan.StartScan()) {
        std::fwprintf(stderr, L"queue-bench: the run did not start\n");
        return 2;
    }
    uint32_t taskId = 0;
    for (const std::wstring& path : files) {
        RC::FileQueryTask task;
        task.taskId = ++taskId;
        task.scanGroup = 1;
        task.path = path;
        scan.AddFileQueryTask(&task);
    }
    RC::FileQueryTask endOfRun;
    endOfRun.taskId = ++taskId;
    endOfRun.showType = RC::kEndOfRunShowType;
    scan.AddFileQueryTask(&endOfRun);
    scan.WaitingStop();
    QueryPerformanceCounter(&end);
    scan.UnInit();

    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    const unsigned long ended = sink.ended.load();
    std::fwprintf(stderr, L"files %u, ended %lu, threats %lu, in %.3f s: %.1f us/file, peak working set %.1f MiB\n",
                  static_cast<unsigned>(files.size()), ended, sink.threats.load(), seconds,
                  files.empty() ? 0.0 : seconds * 1e6 / files.size(), Substitute::PeakWorkingSetMiB());
    return ended == files.size() ? 0 : 2;
}
