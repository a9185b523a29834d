#pragma once
// A bus-module DLL loaded the way a host loads it: through its three exports.
#include <windows.h>

#include <cstdint>
#include <string>

#include "foundation/RCHandles.h"
#include "module/IVBusModule.h"

namespace KivoHost {

class RCModuleLibrary {
public:
    RCModuleLibrary() = default;
    RCModuleLibrary(const RCModuleLibrary&) = delete;
    RCModuleLibrary& operator=(const RCModuleLibrary&) = delete;

    // False, with the reason in error(), when the DLL or an export is missing.
    // A second Load lets go of the library the first one loaded.
    [[nodiscard]] bool Load(const std::wstring& path);
    uint32_t ModuleCount() const;
    RC::DmAvCore::IVBusModule* QueryModule(uint32_t index) const;
    void ReleaseModule(uint32_t index, RC::DmAvCore::IVBusModule* module) const;
    // Releases the module and frees the library at once, as the least
    // forgiving host does: no thread of the module may still run its code.
    void ReleaseModuleAndFree(uint32_t index, RC::DmAvCore::IVBusModule* module);
    const std::wstring& error() const { return error_; }

private:
    using GetModuleCountFn = bool(__cdecl*)(uint32_t*);
    using QueryModuleFn = bool(__cdecl*)(uint32_t, RC::DmAvCore::IVBusModule**);
    using ReleaseModuleFn = void(__cdecl*)(uint32_t, RC::DmAvCore::IVBusModule*);

    RC::unique_hmodule library_;
    GetModuleCountFn getModuleCount_ = nullptr;
    QueryModuleFn queryModule_ = nullptr;
    ReleaseModuleFn releaseModule_ = nullptr;
    std::wstring error_;
};

} // namespace KivoHost
