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
#include "bench/RunEndSignal.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCFileEnumerator.h"
#include "foundation/RCHandles.h"
#include "substitute/QuentorScan/FileList.h"

namespace {

// The files the controller's filter lets through and their bytes, for MiB/s.
// Counted during a walk and not kept: a list of every path would be the
// largest thing in this process and would hide the controller's own peak.
class ScannedFiles : public RC::RCFileEnumeratorCallback {
public:
    uint32_t OnFindFile(const std::wstring&, const std::wstring& name, const WIN32_FIND_DATAW& entry) override
    {
        Count(name, entry.nFileSizeHigh, entry.nFileSizeLow);
        return 0;
    }
    void Count(const std::wstring& name, DWORD sizeHigh, DWORD sizeLow)
    {
        const size_t dot = name.rfind(L'.');
        if (dot == std::wstring::npos || name.find(L'\\', dot) != std::wstring::npos ||
            !RC::RCAvEnumFileFilter::IsScanExtension(name.substr(dot)))
            return;
        bytes += (static_cast<unsigned long long>(sizeHigh) << 32) | sizeLow;
        ++files;
    }

    unsigned long files = 0;
    unsigned long long bytes = 0;
};

double ScannedMiB(const std::vector<std::wstring>& roots, unsigned long& files)
{
    ScannedFiles scanned;
    for (const std::wstring& root : roots) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExW(root.c_str(), GetFileExInfoStandard, &data))
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RCEnumerateFiles(root, &scanned);
        else
            scanned.Count(root, data.nFileSizeHigh, data.nFileSizeLow);
    }
    files = scanned.files;
    return scanned.bytes / 1048576.0;
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
    info.scanType = RC::ScanType::Custom;
    info.customPaths.assign(argv + 1, argv + argc);
    unsigned long listed = 0;
    const double mib = ScannedMiB(info.customPaths, listed);

    KivoBench::RunEndSignal signal;
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
    const uint32_t scanned = ctrl.GetObserver()->GetItemRow(RC::kCustomPathsShowType).counts.scanned;
    ctrl.UnInitialize();

    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    std::fwprintf(stderr,
                  L"files %u, scanned %u, threats %u, %.1f MiB in %.3f s: %.1f files/s, %.1f MiB/s, "
                  L"peak working set %.1f MiB\n",
                  status.counts.filesFound, scanned, status.counts.level2Found + status.counts.level3Found, mib,
                  seconds, scanned / seconds, mib / seconds, Substitute::PeakWorkingSetMiB());
    if (status.state != RC::ScanState::Completed || scanned != listed) {
        std::fwprintf(stderr, L"pipeline-bench: end state %u, %u of %lu files scanned\n", RC::WireValue(status.state),
                      scanned, listed);
        return 2;
    }
    return 0;
}
