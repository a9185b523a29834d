#pragma once
// Reports the module files (executables and libraries) loaded in the running
// processes, each file once per run however many processes load it. Runs on
// the enumeration thread; SeDebugPrivilege is held by the whole host process
// for the length of the walk only, and removed from its token afterwards.
#include <cstdint>
#include <set>
#include <string>

#include "Src/Engine/Enumerator/RCAvEnumIMPL.h"

namespace RC {

class RCAvEnumMemFile : public RCAvEnumIMPL {
public:
    static constexpr int32_t kScanGroup = 0x01;

    // The scan group is fixed: the one given is not used.
    RCAvEnumMemFile(int32_t scanGroup, int32_t showType);

    // Enables the privilege, or removes it from the process token; failures
    // leave the token as it was.
    static void EnableDebugPrivilege(bool enable);

    // Reports a module path the first time its lower-case form is met; false
    // when the walk is to end (the sink refused the path, or a stop came).
    bool FireModuleOnce(const std::wstring& path, std::set<std::wstring>& seen);

protected:
    void EnumImpl() override;

private:
    void WalkModules();
};

} // namespace RC
