#pragma once

#include "foundation/RCCriticalSection.h"
#include "foundation/RCProcAddress.h"

#include <windows.h>

#include <string>
#include <vector>

// System libraries that the library does not link at build time, loaded once
// per name and kept loaded until the library unloads. Functions are looked up
// at every use, so a missing library or function just makes the caller fail.
class RCModuleCache {
public:
    static RCModuleCache& GetInstance();

    // The loaded library of that file name (any letter case), loading it on
    // first use; null for an empty name or when loading fails (a failure is
    // not remembered, so the next call tries again).
    HMODULE GetModule(const std::wstring& name);

    // The named export of the named library, cast to F; null when either is missing.
    template <typename F>
    static F GetProc(const wchar_t* library, const char* function)
    {
        return RCGetProcAddress<F>(GetInstance().GetModule(library), function);
    }

    RCModuleCache() = default;
    RCModuleCache(const RCModuleCache&) = delete;
    RCModuleCache& operator=(const RCModuleCache&) = delete;

private:
    struct Entry {
        std::wstring name;
        HMODULE module;
    };

    RCCriticalSection lock_;
    std::vector<Entry> entries_;
};
