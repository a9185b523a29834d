#include "foundation/RCEvent.h"

#include "foundation/RCWorldAccessSecurity.h"

namespace RC {

RCEvent::RCEvent(bool manualReset, const std::wstring& name)
{
    Create(name, manualReset);
}

bool RCEvent::CreateNamed(const std::wstring& name, bool manualReset, bool initialState,
                          SECURITY_ATTRIBUTES* security)
{
    // Closed first: re-creating the same name must not find our own event.
    m_handle.reset();
    m_handle.reset(::CreateEventW(security, manualReset, initialState, name.empty() ? nullptr : name.c_str()));
    m_alreadyExisted = ::GetLastError() == ERROR_ALREADY_EXISTS;
    m_name = name;
    return m_handle.is_valid();
}

bool RCEvent::Create(const std::wstring& name, bool manualReset)
{
    return CreateNamed(name, manualReset, false, nullptr);
}

bool RCEvent::CreateWithSecurity(const std::wstring& name, bool manualReset, bool initialState)
{
    RCWorldAccessSecurity security(false);
    return CreateNamed(name, manualReset, initialState, security.Get());
}

bool RCEvent::Open(const std::wstring& name)
{
    if (name.empty())
        return false;
    m_handle.reset();
    m_handle.reset(::OpenEventW(EVENT_ALL_ACCESS, FALSE, name.c_str()));
    m_alreadyExisted = m_handle.is_valid();
    m_name = name;
    return m_handle.is_valid();
}

void RCEvent::Set()
{
    if (m_handle)
        ::SetEvent(m_handle.get());
}

void RCEvent::Reset()
{
    if (m_handle)
        ::ResetEvent(m_handle.get());
}

bool RCEvent::Wait(DWORD milliseconds)
{
    return m_handle && ::WaitForSingleObject(m_handle.get(), milliseconds) == WAIT_OBJECT_0;
}

bool RCEvent::Wait(DWORD milliseconds, bool& timedOut)
{
    timedOut = false;
    if (!m_handle)
        return false;
    const DWORD result = ::WaitForSingleObject(m_handle.get(), milliseconds);
    timedOut = result == WAIT_TIMEOUT;
    return result == WAIT_OBJECT_0;
}

bool RCEvent::Wait()
{
    return Wait(INFINITE);
}

void RCEvent::Close()
{
    m_handle.reset();
}

} // namespace RC
