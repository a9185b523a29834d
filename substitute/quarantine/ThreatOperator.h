#pragma once
// The substitute engine's threat operator (object 0x2001 of Halvane.dll):
// operation 1 quarantines a file, operation 4 restores one by its MD5. Called
// from the product's operation worker, one file at a time.

#include "engine/IThreatOperator.h"
#include "substitute/quarantine/QuarantineStore.h"

namespace Substitute {

class ThreatOperator final : public RC::IThreatOperator {
public:
    explicit ThreatOperator(std::wstring engineFolder);

    void __thiscall Init() override {}
    void __thiscall UnInit() override {}
    bool __thiscall ApplyOperation1(const RC::MsvcWString* path, const RC::ScanResult* result) override;
    void __thiscall Reserved3() override {}
    void __thiscall Reserved4() override {}
    void __thiscall Reserved5() override {}
    bool __thiscall ApplyOperation4(const RC::ThreatOperation4Request* request) override;

private:
    QuarantineStore quarantine_;
};

} // namespace Substitute
