// Runs the scheduled-task walk once and writes, as UTF-16 lines on its
// standard output, the major version Windows reports to it ("major N") and
// then every path the walk reported; with the argument "stop" the walk is
// stopped at the first path it reports. A program of its own because Wine sets
// the Windows version per program name, which the tests choose before
// starting it.
#include <windows.h>

#include <string>

#include "Src/Engine/Enumerator/RCAvEnumSystemTask.h"
#include "EnumTestSupport.h"
#include "foundation/RCSystemInfo.h"

int main(int argc, char** argv)
{
    OSVERSIONINFOEXW version;
    if (!RCGetReportedOsVersion(version))
        return 2;

    RC::test::RecordingSink sink;
    sink.stopAtFirst = argc > 1 && std::string(argv[1]) == "stop";
    std::wstring out = L"major " + std::to_wstring(version.dwMajorVersion) + L"\n";
    for (const std::wstring& path : RC::test::RunOnce(new RC::RCAvEnumSystemTask(0x20, 24), sink))
        out += path + L"\n";
    DWORD written = 0;
    return ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size() * sizeof(wchar_t)),
                       &written, nullptr)
               ? 0
               : 3;
}
