#include "foundation/RCModuleCache.h"

#include "foundation/RCAutoLock.h"
#include "foundation/RCSingletonLock.h"
#include "foundation/RCString.h"

RCModuleCache& RCModuleCache::GetInstance()
{
    return RCSingletonLock::Instance<RCModuleCache>();
}

HMODULE RCModuleCache::GetModule(const std::wstring& name)
{
    {
        RCAutoLock guard(lock_);
        if (name.empty())
            return nullptr;
        for (const Entry& entry : entries_) {
            if (RCEqualsNoCase(entry.name.c_str(), name.c_str()))
                return entry.module;
        }
    }

    // Loading runs the library's own start-up code, which may take locks of
    // its own; it must not run under ours.
    HMODULE module = ::LoadLibraryW(name.c_str());
    if (module) {
        RCAutoLock guard(lock_);
        entries_.push_back({name, module});
    }
    return module;
}
