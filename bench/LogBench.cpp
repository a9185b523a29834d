// What a log call costs when its level is off, against formatting the same
// message: call sites on the per-file path must not pay for formatting.
//   wine log_bench.exe [calls]   (run without a KivoLog.xml)
#include "foundation/RCDebugger.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

double NanosecondsPerCall(LARGE_INTEGER start, LARGE_INTEGER end, LARGE_INTEGER frequency, long calls)
{
    return (end.QuadPart - start.QuadPart) * 1e9 / frequency.QuadPart / calls;
}

} // namespace

int main(int argc, char** argv)
{
    const long calls = argc > 1 ? std::atol(argv[1]) : 1000000;
    const wchar_t* path = L"C:\\Users\\Public\\Documents\\a rather long\\path to a scanned file.exe";
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);

    RC::RCDebugger::GetInstance()->Init(nullptr);
    if (RC::RCDebugger::GetInstance()->GetOutputMode(RC::RCLogLevel::Detail) != 0) {
        std::fprintf(stderr, "level 5 is being logged here: remove KivoLog.xml first\n");
        return 2;
    }

    ::QueryPerformanceCounter(&start);
    for (long i = 0; i < calls; ++i)
        RC_LOG(Detail, L"Add File Query Task %d, file = %s", static_cast<int>(i), path);
    ::QueryPerformanceCounter(&end);
    const double disabled = NanosecondsPerCall(start, end, frequency, calls);

    std::wstring message;
    ::QueryPerformanceCounter(&start);
    for (long i = 0; i < calls; ++i)
        RCFormatString(message, L"Add File Query Task %d, file = %s", static_cast<int>(i), path);
    ::QueryPerformanceCounter(&end);
    const double formatted = NanosecondsPerCall(start, end, frequency, calls);

    std::printf("disabled RC_LOG: %.1f ns/call; formatting alone: %.1f ns/call; ratio %.1f\n", disabled, formatted,
                formatted / disabled);
    return 0;
}
