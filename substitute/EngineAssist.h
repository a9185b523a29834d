#pragma once
// The substitute engine's assist object (object 0x1003 of Halvane.dll). The
// signature databases live in Quentor.dll beside this library, shared by all
// its proxies; BeginRun asks that library to reload them when they changed,
// so a run always scans with the databases on disk at its start.

#include <string>

#include "engine/IEngineAssist.h"

namespace Substitute {

constexpr char kReloadSignaturesExport[] = "ReloadSignatures";
using ReloadSignaturesFn = int(__cdecl*)();

class EngineAssist final : public RC::IEngineAssist {
public:
    explicit EngineAssist(std::wstring engineFolder);

    void __thiscall Reserved0() override {}
    void __thiscall BeginRun() override;

private:
    const std::wstring folder_;
};

} // namespace Substitute
