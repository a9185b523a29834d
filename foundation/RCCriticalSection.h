#pragma once

#include "foundation/RCNonCopyable.h"
#include "foundation/RCThreadAnnotations.h"

#include <windows.h>

// A Win32 critical section, held in the object itself so that it always
// exists: since Vista its initialisation cannot fail, and a lock that might
// silently not lock would guard nothing.
class RC_CAPABILITY("mutex") RCCriticalSection : private RC::RCNonCopyable {
public:
    RCCriticalSection();
    ~RCCriticalSection();

    void Lock() RC_ACQUIRE();
    bool TryLock() RC_TRY_ACQUIRE(true);
    void Unlock() RC_RELEASE();

private:
    CRITICAL_SECTION section_;
};
