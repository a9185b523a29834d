#pragma once

#include "foundation/RCNonCopyable.h"
#include "foundation/RCThreadAnnotations.h"

#include <windows.h>

// A Win32 critical section on the heap. If its allocation failed, locking
// does nothing rather than crash: callers then run unguarded, as they would
// with no lock at all.
class RC_CAPABILITY("mutex") RCCriticalSection : private RC::RCNonCopyable {
public:
    RCCriticalSection();
    ~RCCriticalSection();

    void Lock() RC_ACQUIRE();
    bool TryLock() RC_TRY_ACQUIRE(true);
    void Unlock() RC_RELEASE();

private:
    CRITICAL_SECTION* section_;
};
