// quentor-scan: runs the substitute engine alone over files and folders, the
// way a product would (CreateObj, Init, Start, AddQuery per file,
// EndOfQueries, wait for every answer, Stop), and prints what it found.
//
//   quentor-scan [--quiet] PATH...
// Exit code: 0 clean, 1 threats found, 2 error.

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/EngineObjectIds.h"
#include "engine/IScanProxy.h"
#include "substitute/QuentorScan/FileList.h"
#include "substitute/system/SubstituteHandles.h"

namespace {

struct Tally {
    CRITICAL_SECTION lock;
    RC::unique_handle allAnswered;
    unsigned long accepted = 0;
    unsigned long answered = 0;
    unsigned long threats = 0;
    unsigned long long bytes = 0;
    bool submitting = true;
    bool quiet = false;
};

void CheckDone(Tally& tally)
{
    if (!tally.submitting && tally.answered >= tally.accepted)
        SetEvent(tally.allAnswered.get());
}

void __cdecl OnResult(void* context, std::uint32_t, const wchar_t* path, const RC::ScanResult* result)
{
    Tally& tally = *static_cast<Tally*>(context);
    EnterCriticalSection(&tally.lock);
    ++tally.answered;
    tally.bytes += result->fileSizeLow;
    if (result->level != RC::kLevelNothing) {
        ++tally.threats;
        std::fwprintf(stdout, L"%ls: %ls (level %u/%u)\n", path, result->threatName, result->level, result->subLevel);
    } else if (!tally.quiet) {
        std::fwprintf(stdout, L"%ls: OK\n", path);
    }
    CheckDone(tally);
    LeaveCriticalSection(&tally.lock);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Tally tally;
    std::vector<std::wstring> roots;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--quiet")
            tally.quiet = true;
        else
            roots.push_back(argv[i]);
    }
    if (roots.empty()) {
        std::fwprintf(stderr, L"usage: quentor-scan [--quiet] PATH...\n");
        return 2;
    }

    // The application's folder comes first in the search order: the engine beside this program.
    Substitute::UniqueLibrary engine(LoadLibraryW(L"Quentor.dll"));
    auto createObj = engine ? reinterpret_cast<RC::CreateObjFn>(
                                  reinterpret_cast<void*>(GetProcAddress(engine.get(), RC::kCreateObjExport)))
                            : nullptr;
    auto destroyObj = engine ? reinterpret_cast<RC::DestroyObjFn>(
                                   reinterpret_cast<void*>(GetProcAddress(engine.get(), RC::kDestroyObjExport)))
                             : nullptr;
    void* object = nullptr;
    if (createObj == nullptr || destroyObj == nullptr || createObj(RC::kScanProxyObjectId, &object) != 0 ||
        object == nullptr) {
        std::fwprintf(stderr, L"quentor-scan: cannot load the engine beside this program\n");
        return 2;
    }
    auto* proxy = static_cast<RC::IScanProxy*>(object);

    InitializeCriticalSection(&tally.lock);
    tally.allAnswered.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const std::vector<std::wstring> files = Substitute::ListFiles(roots);

    const ULONGLONG started = GetTickCount64();
    proxy->Init(L"quentor-scan");
    proxy->SetResultCallback(&tally, &OnResult);
    proxy->Start();
    unsigned long refused = 0;
    for (std::uint32_t i = 0; i < files.size(); ++i) {
        EnterCriticalSection(&tally.lock);
        ++tally.accepted; // counted first: the answer may come before AddQuery returns
        LeaveCriticalSection(&tally.lock);
        if (!proxy->AddQuery(i + 1, files[i].c_str())) {
            EnterCriticalSection(&tally.lock);
            --tally.accepted;
            ++refused;
            LeaveCriticalSection(&tally.lock);
        }
    }
    proxy->EndOfQueries();
    EnterCriticalSection(&tally.lock);
    tally.submitting = false;
    CheckDone(tally);
    LeaveCriticalSection(&tally.lock);
    WaitForSingleObject(tally.allAnswered.get(), INFINITE);
    const ULONGLONG elapsed = GetTickCount64() - started;
    proxy->Stop();
    proxy->UnInit();
    destroyObj(RC::kScanProxyObjectId, proxy);

    const double seconds = elapsed > 0 ? elapsed / 1000.0 : 0.001;
    // The peak shows whether memory stays flat whatever the files' sizes and number.
    std::fwprintf(stderr,
                  L"files %lu, refused %lu, threats %lu, %.1f MiB in %.3f s: %.1f files/s, %.1f MiB/s, "
                  L"peak working set %.1f MiB\n",
                  tally.answered, refused, tally.threats, tally.bytes / 1048576.0, seconds, tally.answered / seconds,
                  tally.bytes / 1048576.0 / seconds, Substitute::PeakWorkingSetMiB());
    DeleteCriticalSection(&tally.lock);
    return tally.threats != 0 ? 1 : 0;
}
