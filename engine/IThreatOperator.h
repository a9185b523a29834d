#pragma once
// Object 0x2001 of Halvane.dll: acts on found threats. Slots 3 to 5 belong to
// operations this product never asks for; they are placeholders that keep
// ApplyOperation4 at slot 6. No destructor slot: freed through "DestroyObj".

#include "engine/MsvcWString.h"
#include "engine/ScanResult.h"
#include "engine/ThreatOperation4Request.h"

namespace RC {

class IThreatOperator {
public:
    virtual void __thiscall Init() = 0;   // 0
    virtual void __thiscall UnInit() = 0; // 1
    // Quarantine. true = done.
    virtual bool __thiscall ApplyOperation1(const MsvcWString* path, const ScanResult* result) = 0; // 2
    virtual void __thiscall Reserved3() = 0;                                                        // 3, not called
    virtual void __thiscall Reserved4() = 0;                                                        // 4, not called
    virtual void __thiscall Reserved5() = 0;                                                        // 5, not called
    // Restore. true = done.
    virtual bool __thiscall ApplyOperation4(const ThreatOperation4Request* request) = 0; // 6

protected:
    ~IThreatOperator() = default;
};

} // namespace RC
