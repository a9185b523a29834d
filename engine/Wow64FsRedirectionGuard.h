#pragma once
// Turns WOW64 file-system redirection off for the thread that holds it, so a
// 32-bit walk of the system folder reaches the 64-bit files. Does nothing in a
// process that does not run under WOW64.

#include <windows.h>

#include "foundation/RCHandles.h"

namespace RC {

class Wow64FsRedirectionGuard {
public:
    Wow64FsRedirectionGuard();
    ~Wow64FsRedirectionGuard();
    Wow64FsRedirectionGuard(const Wow64FsRedirectionGuard&) = delete;
    Wow64FsRedirectionGuard& operator=(const Wow64FsRedirectionGuard&) = delete;

    void Disable();
    void Revert();

private:
    using RevertFn = BOOL(WINAPI*)(PVOID);
    using DisableFn = BOOL(WINAPI*)(PVOID*);

    unique_hmodule kernel32_;
    RevertFn revert_ = nullptr;
    DisableFn disable_ = nullptr;
    PVOID saved_ = nullptr;
};

} // namespace RC
