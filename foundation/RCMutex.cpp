#include "foundation/RCMutex.h"

bool RCMutex::Create(const std::wstring& name, SECURITY_ATTRIBUTES* security)
{
    m_handle.reset();
    m_handle.reset(::CreateMutexW(security, FALSE, name.empty() ? nullptr : name.c_str()));
    m_alreadyExisted = ::GetLastError() == ERROR_ALREADY_EXISTS;
    return m_handle.is_valid();
}

RCMutexLock::RCMutexLock(RCMutex* mutex) : m_mutex(mutex)
{
    if (!m_mutex || !m_mutex->m_handle)
        return;
    const DWORD result = ::WaitForSingleObject(m_mutex->m_handle.get(), INFINITE);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
        m_acquired = true;
        m_mutex->m_locked = true;
    }
}

RCMutexLock::~RCMutexLock()
{
    if (!m_acquired)
        return;
    ::ReleaseMutex(m_mutex->m_handle.get());
    m_mutex->m_locked = false;
}
