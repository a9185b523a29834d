// The three functions a bus host finds modules through. C linkage, caller
// cleans the stack, names undecorated by RCTrevox.def.
#include <windows.h>

#include <cstdint>

#include "foundation/RCDebugger.h"
#include "foundation/RCNoThrowBoundary.h"
#include "module/RCTrevoxModule.h"

using RC::DmAvCore::IVBusModule;

extern "C" {

bool __cdecl RCVBusGetModuleCount(uint32_t* count)
{
    return RC::RCNoThrowBoundary("RCVBusGetModuleCount", true, [&] {
        if (count != nullptr)
            *count = 1;
        return true;
    });
}

bool __cdecl RCVBusQueryModule(uint32_t index, IVBusModule** module)
{
    if (module == nullptr || index != 0)
        return false;
    // Out of memory: nothing to hand out, yet the call itself worked.
    *module =
        RC::RCNoThrowBoundary<IVBusModule*>("RCVBusQueryModule", nullptr, [] { return new RC::RCTrevoxModule(); });
    return true;
}

void __cdecl RCVBusReleaseModule(uint32_t /*index*/, IVBusModule* module)
{
    RC::RCNoThrowBoundary("RCVBusReleaseModule", [&] {
        if (module != nullptr)
            module->DeletingDestructor(1);
    });
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    // The log names this library after its own file, so it learns the handle here.
    // A logger that could not be set up logs nothing; the library still loads.
    if (reason == DLL_PROCESS_ATTACH)
        RC::RCNoThrowBoundary("DllMain", [&] { RC::RCDebugger::GetInstance()->Init(instance); });
    return TRUE;
}

} // extern "C"
