#pragma once

#include "foundation/RCCriticalSection.h"

// Holds a critical section for the life of a scope.
class RC_SCOPED_CAPABILITY RCAutoLock : private RC::RCNonCopyable {
public:
    // A null section is a lock that could not be made: the scope runs
    // unguarded, as documented on RCCriticalSection.
    explicit RCAutoLock(RCCriticalSection* section) RC_ACQUIRE(section) RC_NO_THREAD_SAFETY_ANALYSIS : section_(section)
    {
        if (section_)
            section_->Lock();
    }
    explicit RCAutoLock(RCCriticalSection& section) RC_ACQUIRE(section) : RCAutoLock(&section) {}
    ~RCAutoLock() RC_RELEASE() RC_NO_THREAD_SAFETY_ANALYSIS
    {
        if (section_)
            section_->Unlock();
    }

private:
    RCCriticalSection* section_;
};
