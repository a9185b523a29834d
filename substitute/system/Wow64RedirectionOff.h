#pragma once
// Turns WOW64 file-system redirection off for the calling thread while it
// lives, so that a path means what it means to a 64-bit process: on 64-bit
// Windows the engine opens C:\Windows\System32\x.dll as the file the scan
// found, not its SysWOW64 namesake. Does nothing outside WOW64. Hold it only
// around opening and naming files: with redirection off, a library loaded on
// this thread would come from the 64-bit system folder.

#include <windows.h>

namespace Substitute {

// Keeps GetLastError across the redirection calls, so that the failure of a
// call made under the guard can still be read after the guard is gone.
class LastErrorKeeper {
public:
    LastErrorKeeper() noexcept : error_(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(error_); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    DWORD error_;
};

class Wow64RedirectionOff {
public:
    Wow64RedirectionOff() noexcept
    {
        LastErrorKeeper keep;
        BOOL wow64 = FALSE;
        if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64)
            off_ = Wow64DisableWow64FsRedirection(&saved_) != FALSE;
    }
    ~Wow64RedirectionOff()
    {
        LastErrorKeeper keep;
        if (off_)
            Wow64RevertWow64FsRedirection(saved_);
    }
    Wow64RedirectionOff(const Wow64RedirectionOff&) = delete;
    Wow64RedirectionOff& operator=(const Wow64RedirectionOff&) = delete;

private:
    PVOID saved_ = nullptr;
    bool off_ = false;
};

} // namespace Substitute
