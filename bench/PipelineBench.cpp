// The whole scan pipeline per file: one custom scan through the controller
// (enumeration, file filter, file scan queue, engine, observer) over the
// given folders, with whatever Quentor.dll and signatures lie beside this
// program. Read against quentor-scan over the same files, it gives the
// controller's own cost.
//   pipeline-bench PATH...   (run without a KivoLog.xml)
//
// Threads: wmain drives the run; the observer's callbacks come on the
// controller's worker threads and only signal the end.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "Src/Engine/Enumerator/RCAvEnumFileFilter.h"
#include "Src/Engine/RCTrevoxCtrl.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCHandles.h"
#include "substitute/FileList.h"

namespace {

constexpr uint32_t kCustomItem = 26;

class EndSignal : public RC::IScanObCallback {
public:
    EndSignal() : ended(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    void OnScanStateChange(const RC::ScanStatusBlock* status) override
    {
        if (status->state == 3 || status->state == 4)
            SetEvent(ended.get());
    }
    void OnScanProgressChange(const RC::ScanProgressBlock*) override {}
    void OnItemStatusChange(uint32_t, const RC::ItemRow*) override {}
    void OnItemProgressChange(uint32_t, const RC::ItemRow*) override {}

    RC::unique_handle ended;
};

// The bytes of the files the controller's filter lets through, for MiB/s.
double ScannedMiB(const std::vector<std::wstring>& roots, unsigned long& files)
{
    unsigned long long bytes = 0;
    files = 0;
    for (const std::wstring& path : Substitute::ListFiles(roots)) {
        const size_t dot = path.rfind(L'.');
        if (dot == std::wstring::npos || path.find(L'\\', dot) != std::wstring::npos ||
            !RC::RCAvEnumFileFilter::IsScanExtension(path.substr(dot)))
            continue;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
            bytes += (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            ++files;
        }
    }
    return bytes / 1048576.0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: pipeline-bench PATH...\n");
        return 2;
    }
    RC::RCDebugger::GetInstance()->Init(nullptr);
    RC::ScanTypeInfo info;
    info.scanType = 3;
    info.customPaths.assign(argv + 1, argv + argc);
    unsigned long listed = 0;
    const double mib = ScannedMiB(info.customPaths, listed);

    EndSignal signal;
    RC::RCSafeTrevoxCtrl ctrl;
    ctrl.Initialize(L"pipeline-bench");
    ctrl.GetObserver()->SetCallback(&signal);
    ctrl.SetScanTypeInfo(info);

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!ctrl.StartScan()) {
        std::fwprintf(stderr, L"pipeline-bench: the run did not start\n");
        return 2;
    }
    WaitForSingleObject(signal.ended.get(), INFINITE);
    QueryPerformanceCounter(&end);
    const RC::ScanStatusBlock status = ctrl.GetObserver()->GetStatus();
    const uint32_t scanned = ctrl.GetObserver()->GetItemRow(kCustomItem).counts.scanned;
    ctrl.UnInitialize();

    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    std::fwprintf(stderr,
                  L"files %u, scanned %u, threats %u, %.1f MiB in %.3f s: %.1f files/s, %.1f MiB/s, "
                  L"peak working set %.1f MiB\n",
                  status.counts.filesFound, scanned, status.counts.level2Found + status.counts.level3Found, mib,
                  seconds, scanned / seconds, mib / seconds, Substitute::PeakWorkingSetMiB());
    if (status.state != 4 || scanned != listed) {
        std::fwprintf(stderr, L"pipeline-bench: end state %u, %u of %lu files scanned\n", status.state, scanned,
                      listed);
        return 2;
    }
    return 0;
}
