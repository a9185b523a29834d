#include "foundation/RCCriticalSection.h"

RCCriticalSection::RCCriticalSection()
{
    ::InitializeCriticalSection(&section_);
}

RCCriticalSection::~RCCriticalSection()
{
    ::DeleteCriticalSection(&section_);
}

void RCCriticalSection::Lock()
{
    ::EnterCriticalSection(&section_);
}

bool RCCriticalSection::TryLock()
{
    return ::TryEnterCriticalSection(&section_);
}

void RCCriticalSection::Unlock()
{
    ::LeaveCriticalSection(&section_);
}
