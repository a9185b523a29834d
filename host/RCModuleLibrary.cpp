#include "host/RCModuleLibrary.h"

#include "foundation/RCProcAddress.h"

namespace KivoHost {

bool RCModuleLibrary::Load(const std::wstring& path)
{
    getModuleCount_ = nullptr;
    queryModule_ = nullptr;
    releaseModule_ = nullptr;
    library_.reset(LoadLibraryW(path.c_str()));
    if (!library_) {
        error_ = L"cannot load " + path + L" (error " + std::to_wstring(GetLastError()) + L")";
        return false;
    }
    getModuleCount_ = RCGetProcAddress<GetModuleCountFn>(library_.get(), "RCVBusGetModuleCount");
    queryModule_ = RCGetProcAddress<QueryModuleFn>(library_.get(), "RCVBusQueryModule");
    releaseModule_ = RCGetProcAddress<ReleaseModuleFn>(library_.get(), "RCVBusReleaseModule");
    if (getModuleCount_ == nullptr || queryModule_ == nullptr || releaseModule_ == nullptr) {
        error_ = path + L" does not export the three bus-module functions";
        return false;
    }
    return true;
}

uint32_t RCModuleLibrary::ModuleCount() const
{
    uint32_t count = 0;
    return getModuleCount_ != nullptr && getModuleCount_(&count) ? count : 0;
}

RC::DmAvCore::IVBusModule* RCModuleLibrary::QueryModule(uint32_t index) const
{
    RC::DmAvCore::IVBusModule* module = nullptr;
    return queryModule_ != nullptr && queryModule_(index, &module) ? module : nullptr;
}

void RCModuleLibrary::ReleaseModule(uint32_t index, RC::DmAvCore::IVBusModule* module) const
{
    if (releaseModule_ != nullptr)
        releaseModule_(index, module);
}

void RCModuleLibrary::ReleaseModuleAndFree(uint32_t index, RC::DmAvCore::IVBusModule* module)
{
    ReleaseModule(index, module);
    getModuleCount_ = nullptr;
    queryModule_ = nullptr;
    releaseModule_ = nullptr;
    library_.reset();
}

} // namespace KivoHost
