#include "substitute/EngineAssist.h"

#include <windows.h>

#include "foundation/RCNoThrowBoundary.h"
#include "substitute/system/EngineFiles.h"

namespace Substitute {

EngineAssist::EngineAssist(std::wstring engineFolder) : folder_(std::move(engineFolder)) {}

void EngineAssist::BeginRun()
{
    // Only a loaded scanning library has databases to refresh; one loaded later
    // reads the current files anyway. The full path picks the library of this
    // engine folder, not another engine's copy in the same process.
    RC::RCNoThrowBoundary("EngineAssist::BeginRun", [&] {
        HMODULE scanner = GetModuleHandleW(EngineFiles::Join(folder_, L"Quentor.dll").c_str());
        if (scanner == nullptr)
            return;
        auto reload = reinterpret_cast<ReloadSignaturesFn>(
            reinterpret_cast<void*>(GetProcAddress(scanner, kReloadSignaturesExport)));
        if (reload != nullptr)
            reload();
    });
}

} // namespace Substitute
