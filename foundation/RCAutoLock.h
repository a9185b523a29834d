#pragma once

#include "foundation/RCCriticalSection.h"

// Holds a critical section for the life of a scope.
class RCAutoLock : private RC::RCNonCopyable
{
public:
    explicit RCAutoLock(RCCriticalSection* section) : m_section(section)
    {
        if (m_section)
            m_section->Lock();
    }
    explicit RCAutoLock(RCCriticalSection& section) : RCAutoLock(&section) {}
    ~RCAutoLock()
    {
        if (m_section)
            m_section->Unlock();
    }

private:
    RCCriticalSection* m_section;
};
