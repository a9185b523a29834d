// Exports of Quentor.dll, the scanning library of the substitute engine.

#include "engine/EngineObjectIds.h"
#include "foundation/RCNoThrowBoundary.h"
#include "substitute/EngineFiles.h"
#include "substitute/ScanProxy.h"
#include "substitute/SignatureStore.h"

namespace {

constexpr std::uint32_t kNoSuchObject = 0x80004002; // E_NOINTERFACE
constexpr std::uint32_t kNoMemory = 0x8007000E;     // E_OUTOFMEMORY
constexpr std::uint32_t kBadPointer = 0x80004003;   // E_POINTER

// One store per library, shared by every proxy it creates.
Substitute::SignatureStore& Store()
{
    static Substitute::SignatureStore store(
        Substitute::EngineFiles::Join(Substitute::EngineFiles::ModuleFolder(), L"signatures"));
    return store;
}

} // namespace

extern "C" std::uint32_t __cdecl CreateObj(std::uint32_t objectId, void** object)
{
    if (object == nullptr)
        return kBadPointer;
    *object = nullptr;
    if (objectId != RC::kScanProxyObjectId)
        return kNoSuchObject;
    return RC::RCNoThrowBoundary("Quentor CreateObj", kNoMemory, [&] {
        RC::IScanProxy* proxy = new Substitute::ScanProxy(Store(), Substitute::EngineFiles::ModuleFolder());
        *object = proxy;
        return std::uint32_t{0};
    });
}

extern "C" void __cdecl DestroyObj(std::uint32_t objectId, void* object)
{
    RC::RCNoThrowBoundary("Quentor DestroyObj", [&] {
        if (object != nullptr && objectId == RC::kScanProxyObjectId)
            delete static_cast<Substitute::ScanProxy*>(static_cast<RC::IScanProxy*>(object));
    });
}

// Called by Halvane.dll's assist at the start of each run.
extern "C" int __cdecl ReloadSignatures()
{
    return RC::RCNoThrowBoundary("ReloadSignatures", 0, [] { return Store().ReloadIfChanged() ? 1 : 0; });
}
