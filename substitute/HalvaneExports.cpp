// Exports of Halvane.dll, the helper library of the substitute engine.

#include "engine/EngineObjectIds.h"
#include "foundation/RCNoThrowBoundary.h"
#include "substitute/EngineAssist.h"
#include "substitute/EngineFiles.h"
#include "substitute/ThreatOperator.h"

namespace {
constexpr std::uint32_t kNoSuchObject = 0x80004002; // E_NOINTERFACE
constexpr std::uint32_t kNoMemory = 0x8007000E;     // E_OUTOFMEMORY
constexpr std::uint32_t kBadPointer = 0x80004003;   // E_POINTER
} // namespace

extern "C" std::uint32_t __cdecl CreateObj(std::uint32_t objectId, void** object)
{
    if (object == nullptr)
        return kBadPointer;
    *object = nullptr;
    return RC::RCNoThrowBoundary("Halvane CreateObj", kNoMemory, [&] {
        const std::wstring folder = Substitute::EngineFiles::ModuleFolder();
        if (objectId == RC::kEngineAssistObjectId) {
            RC::IEngineAssist* assist = new Substitute::EngineAssist(folder);
            *object = assist;
            return std::uint32_t{0};
        }
        if (objectId == RC::kThreatOperatorObjectId) {
            RC::IThreatOperator* threatOperator = new Substitute::ThreatOperator(folder);
            *object = threatOperator;
            return std::uint32_t{0};
        }
        return kNoSuchObject;
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
