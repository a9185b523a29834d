#include "host/KivoUnixPath.h"

#include <windows.h>

#include "foundation/RCTextConvert.h"

namespace KivoHost {

std::wstring KivoUnixPath(const std::wstring& path)
{
    // Wine's own export: absent on Windows, where the path is shown as it is.
    using UnixFileName = char*(__cdecl*)(const wchar_t*);
    static const auto unixFileName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixFileName != nullptr ? unixFileName(path.c_str()) : nullptr;
    if (name == nullptr)
        return path;
    const std::wstring unix = RCUtf8ToWide(name);
    HeapFree(GetProcessHeap(), 0, name);
    return unix;
}

std::wstring KivoShown(const KivoScanOptions& options, const std::wstring& path)
{
    return options.unixPaths ? KivoUnixPath(path) : path;
}

} // namespace KivoHost
