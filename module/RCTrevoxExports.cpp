// The three functions a bus host finds modules through. C linkage, caller
// cleans the stack, names undecorated by RCTrevox.def.
#include <windows.h>

#include <cstdint>
#include <new>

#include "foundation/RCDebugger.h"
#include "module/RCTrevoxModule.h"

using RC::DmAvCore::IVBusModule;

extern "C" {

bool __cdecl RCVBusGetModuleCount(uint32_t* count)
{
    if (count != nullptr)
        *count = 1;
    return true;
}

bool __cdecl RCVBusQueryModule(uint32_t index, IVBusModule** module)
{
    if (module == nullptr || index != 0)
        return false;
    try {
        *module = new RC::RCTrevoxModule();
    } catch (...) {
        *module = nullptr;  // out of memory: nothing to hand out, yet the call itself worked
    }
    return true;
}

void __cdecl RCVBusReleaseModule(uint32_t /*index*/, IVBusModule* module)
{
    if (module != nullptr)
        module->DeletingDestructor(1);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    // The log names this library after its own file, so it learns the handle here.
    if (reason == DLL_PROCESS_ATTACH)
        RC::RCDebugger::GetInstance()->Init(instance);
    return TRUE;
}

} // extern "C"
