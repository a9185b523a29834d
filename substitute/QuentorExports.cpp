// Exports of Quentor.dll, the scanning library of the substitute engine.

#include <windows.h>

#include "engine/EngineObjectIds.h"
#include "foundation/RCNoThrowBoundary.h"
#include "substitute/system/EngineFiles.h"
#include "substitute/EngineResults.h"
#include "substitute/scan/ScanProxy.h"
#include "substitute/database/SignatureStore.h"

namespace {

// Where the databases are: the "signatures" folder beside the library, or
// the folder or file that QUENTOR_SIGNATURES names (kivoscan's --database,
// which scans with exactly those databases and installs nothing).
std::wstring SignatureSource()
{
    wchar_t named[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"QUENTOR_SIGNATURES", named, MAX_PATH);
    if (length != 0 && length < MAX_PATH)
        return named;
    return Substitute::EngineFiles::Join(Substitute::EngineFiles::ModuleFolder(), L"signatures");
}

// One store per library, shared by every proxy it creates.
Substitute::SignatureStore& Store()
{
    static Substitute::SignatureStore store(SignatureSource());
    return store;
}

} // namespace

extern "C" std::uint32_t __cdecl CreateObj(std::uint32_t objectId, void** object)
{
    if (object == nullptr)
        return Substitute::kEngineBadPointer;
    *object = nullptr;
    if (objectId != RC::kScanProxyObjectId)
        return Substitute::kEngineNoSuchObject;
    return RC::RCNoThrowBoundary("Quentor CreateObj", Substitute::kEngineNoMemory, [&] {
        RC::IScanProxy* proxy = new Substitute::ScanProxy(Store(), Substitute::EngineFiles::ModuleFolder());
        *object = proxy;
        return Substitute::kEngineOk;
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
