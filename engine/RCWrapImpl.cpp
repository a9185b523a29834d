#include "engine/RCWrapImpl.h"

#include "foundation/RCDebugger.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCPath.h"
#include "foundation/RCProcAddress.h"
#include "foundation/RCSingletonLock.h"

namespace RC {

namespace {

// One type per library, so that each gets its own process-wide instance.
struct HalvaneBinding : RCWrapImpl {
    HalvaneBinding() : RCWrapImpl(kAssistEngineDll) {}
};
struct QuentorBinding : RCWrapImpl {
    QuentorBinding() : RCWrapImpl(kScanEngineDll) {}
};

} // namespace

RCWrapImpl::RCWrapImpl(std::wstring dllName) : dllName_(std::move(dllName)) {}

bool RCWrapImpl::Init()
{
    RCAutoLock guard(lock_);
    if (module_)
        return true;
    if (loadFailed_)
        return false;

    const std::wstring path = RCPathJoin(RCGetExeFolder(), dllName_);
    if (!RCIsFile(path)) {
        RC_LOG(Failure, L"Dll missed");
        loadFailed_ = true;
        return false;
    }
    unique_hmodule module(LoadLibraryW(path.c_str()));
    if (!module) {
        RC_LOG(Failure, L"LoadLibrary failed %d", static_cast<int>(GetLastError()));
        loadFailed_ = true;
        return false;
    }
    createObj = RCGetProcAddress<CreateObjFn>(module.get(), kCreateObjExport);
    destroyObj = RCGetProcAddress<DestroyObjFn>(module.get(), kDestroyObjExport);
    module_ = std::move(module);
    return true;
}

RCWrapImpl* RCHalvaneWrap()
{
    return &RCSingletonLock::Instance<HalvaneBinding>();
}

RCWrapImpl* RCQuentorWrap()
{
    return &RCSingletonLock::Instance<QuentorBinding>();
}

} // namespace RC
