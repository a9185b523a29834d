// Exports of the benchmark's stand-in Quentor.dll: only the scan proxy.
#include <cstdint>
#include <new>

#include "bench/fake-engine/InstantProxy.h"
#include "engine/EngineObjectIds.h"

extern "C" std::uint32_t __cdecl CreateObj(std::uint32_t objectId, void** object)
{
    if (object == nullptr)
        return 0x80004003; // E_POINTER
    *object = nullptr;
    if (objectId != RC::kScanProxyObjectId)
        return 0x80004002; // E_NOINTERFACE
    RC::IScanProxy* proxy = new (std::nothrow) Bench::InstantProxy();
    *object = proxy;
    return proxy != nullptr ? 0 : 0x8007000E;
}

extern "C" void __cdecl DestroyObj(std::uint32_t objectId, void* object)
{
    if (object != nullptr && objectId == RC::kScanProxyObjectId)
        delete static_cast<Bench::InstantProxy*>(static_cast<RC::IScanProxy*>(object));
}
