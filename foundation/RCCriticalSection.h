#pragma once

#include "foundation/RCNonCopyable.h"

#include <windows.h>

// A Win32 critical section on the heap. If its allocation failed, locking
// does nothing rather than crash: callers then run unguarded, as they would
// with no lock at all.
class RCCriticalSection : private RC::RCNonCopyable
{
public:
    RCCriticalSection();
    ~RCCriticalSection();

    void Lock();
    bool TryLock();
    void Unlock();

private:
    CRITICAL_SECTION* section_;
};
