#include "foundation/RCCriticalSection.h"

#include <new>

RCCriticalSection::RCCriticalSection() : section_(new (std::nothrow) CRITICAL_SECTION)
{
    if (section_)
        ::InitializeCriticalSection(section_);
}

RCCriticalSection::~RCCriticalSection()
{
    if (section_) {
        ::DeleteCriticalSection(section_);
        delete section_;
    }
}

void RCCriticalSection::Lock()
{
    if (section_)
        ::EnterCriticalSection(section_);
}

bool RCCriticalSection::TryLock()
{
    return section_ && ::TryEnterCriticalSection(section_);
}

void RCCriticalSection::Unlock()
{
    if (section_)
        ::LeaveCriticalSection(section_);
}
