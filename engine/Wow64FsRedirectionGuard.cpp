#include "engine/Wow64FsRedirectionGuard.h"

#include "foundation/RCProcAddress.h"
#include "foundation/RCSystemInfo.h"

namespace RC {

Wow64FsRedirectionGuard::Wow64FsRedirectionGuard()
{
    // Only a 32-bit process on 64-bit Windows has redirection to turn off.
    if (!RCIsWow64())
        return;
    kernel32_.reset(LoadLibraryW(L"Kernel32.dll"));
    if (!kernel32_)
        return;
    revert_ = RCGetProcAddress<RevertFn>(kernel32_.get(), "Wow64RevertWow64FsRedirection");
    disable_ = RCGetProcAddress<DisableFn>(kernel32_.get(), "Wow64DisableWow64FsRedirection");
}

Wow64FsRedirectionGuard::~Wow64FsRedirectionGuard()
{
    Revert();
}

void Wow64FsRedirectionGuard::Disable()
{
    if (disable_ != nullptr && saved_ == nullptr)
        disable_(&saved_);
}

void Wow64FsRedirectionGuard::Revert()
{
    if (revert_ != nullptr)
        revert_(saved_);
}

} // namespace RC
