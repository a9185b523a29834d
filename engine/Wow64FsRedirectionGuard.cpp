#include "engine/Wow64FsRedirectionGuard.h"

namespace RC {

namespace {

// Kept here rather than taken from the foundation so that the engine folder
// stays usable on its own (the substitute engine shares these headers).
bool IsWow64CurrentProcess(HMODULE kernel32)
{
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "IsWow64Process")));
    BOOL wow64 = FALSE;
    return isWow64 != nullptr && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

} // namespace

Wow64FsRedirectionGuard::Wow64FsRedirectionGuard()
{
    HMODULE kernel32 = LoadLibraryW(L"Kernel32.dll");
    if (kernel32 == nullptr)
        return;
    if (!IsWow64CurrentProcess(kernel32)) {
        FreeLibrary(kernel32);
        return;
    }
    kernel32_ = kernel32;
    revert_ = reinterpret_cast<RevertFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "Wow64RevertWow64FsRedirection")));
    disable_ = reinterpret_cast<DisableFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection")));
}

Wow64FsRedirectionGuard::~Wow64FsRedirectionGuard()
{
    Revert();
    if (kernel32_ != nullptr)
        FreeLibrary(kernel32_);
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
