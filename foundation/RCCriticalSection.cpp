#include "foundation/RCCriticalSection.h"

#include <new>

RCCriticalSection::RCCriticalSection()
    : m_section(new (std::nothrow) CRITICAL_SECTION)
{
    if (m_section)
        ::InitializeCriticalSection(m_section);
}

RCCriticalSection::~RCCriticalSection()
{
    if (m_section) {
        ::DeleteCriticalSection(m_section);
        delete m_section;
    }
}

void RCCriticalSection::Lock()
{
    if (m_section)
        ::EnterCriticalSection(m_section);
}

bool RCCriticalSection::TryLock()
{
    return m_section && ::TryEnterCriticalSection(m_section);
}

void RCCriticalSection::Unlock()
{
    if (m_section)
        ::LeaveCriticalSection(m_section);
}
