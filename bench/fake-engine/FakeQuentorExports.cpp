// Exports of the benchmark's stand-in Quentor.dll: only the scan proxy.
#include <cstdint>
#include <new>

#include "bench/fake-engine/InstantProxy.h"
#include "engine/EngineObjectIds.h"
#include "substitute/EngineResults.h"

extern "C" std::uint32_t __cdecl CreateObj(std::uint32_t objectId, void** object)
{
    if (object == nullptr)
        return Substitute::kEngineBadPointer;
    *object = nullptr;
    if (objectId != RC::kScanProxyObjectId)
        return Substitute::kEngineNoSuchObject;
    RC::IScanProxy* proxy = new (std::nothrow) Bench::InstantProxy();
    *object = proxy;
    return proxy != nullptr ? Substitute::kEngineOk : Substitute::kEngineNoMemory;
}

extern "C" void __cdecl DestroyObj(std::uint32_t objectId, void* object)
{
    if (object != nullptr && objectId == RC::kScanProxyObjectId)
        delete static_cast<Bench::InstantProxy*>(static_cast<RC::IScanProxy*>(object));
}
