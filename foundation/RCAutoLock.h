#pragma once

#include "foundation/RCCriticalSection.h"

// Holds a critical section for the life of a scope.
class RCAutoLock : private RC::RCNonCopyable
{
public:
    explicit RCAutoLock(RCCriticalSection* section) : section_(section)
    {
        if (section_)
            section_->Lock();
    }
    explicit RCAutoLock(RCCriticalSection& section) : RCAutoLock(&section) {}
    ~RCAutoLock()
    {
        if (section_)
            section_->Unlock();
    }

private:
    RCCriticalSection* section_;
};
