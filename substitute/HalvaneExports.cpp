// Exports of Halvane.dll, the helper library of the substitute engine.

#include "engine/EngineObjectIds.h"
#include "foundation/RCNoThrowBoundary.h"
#include "substitute/EngineAssist.h"
#include "substitute/system/EngineFiles.h"
#include "substitute/EngineResults.h"
#include "substitute/quarantine/ThreatOperator.h"

extern "C" std::uint32_t __cdecl CreateObj(std::uint32_t objectId, void** object)
{
    if (object == nullptr)
        return Substitute::kEngineBadPointer;
    *object = nullptr;
    return RC::RCNoThrowBoundary("Halvane CreateObj", Substitute::kEngineNoMemory, [&] {
        const std::wstring folder = Substitute::EngineFiles::ModuleFolder();
        if (objectId == RC::kEngineAssistObjectId) {
            RC::IEngineAssist* assist = new Substitute::EngineAssist(folder);
            *object = assist;
            return Substitute::kEngineOk;
        }
        if (objectId == RC::kThreatOperatorObjectId) {
            RC::IThreatOperator* threatOperator = new Substitute::ThreatOperator(folder);
            *object = threatOperator;
            return Substitute::kEngineOk;
        }
        return Substitute::kEngineNoSuchObject;
    });
}

extern "C" void __cdecl DestroyObj(std::uint32_t objectId, void* object)
{
    if (object == nullptr)
        return;
    RC::RCNoThrowBoundary("Halvane DestroyObj", [&] {
        if (objectId == RC::kEngineAssistObjectId)
            delete static_cast<Substitute::EngineAssist*>(static_cast<RC::IEngineAssist*>(object));
        else if (objectId == RC::kThreatOperatorObjectId)
            delete static_cast<Substitute::ThreatOperator*>(static_cast<RC::IThreatOperator*>(object));
    });
}
