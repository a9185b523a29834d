#include "foundation/RCEvent.h"

#include "foundation/RCWorldAccessSecurity.h"

namespace RC {

RCEvent::RCEvent(bool manualReset, const std::wstring& name)
{
    // A constructor cannot answer: without a handle every wait answers false,
    // which is where the owner learns of it.
    static_cast<void>(Create(name, manualReset));
}

bool RCEvent::CreateNamed(const std::wstring& name, bool manualReset, bool initialState, SECURITY_ATTRIBUTES* security)
{
    // Closed first: re-creating the same name must not find our own event.
    handle_.reset();
    handle_.reset(::CreateEventW(security, manualReset, initialState, name.empty() ? nullptr : name.c_str()));
    alreadyExisted_ = ::GetLastError() == ERROR_ALREADY_EXISTS;
    name_ = name;
    return handle_.is_valid();
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
    handle_.reset();
    handle_.reset(::OpenEventW(EVENT_ALL_ACCESS, FALSE, name.c_str()));
    alreadyExisted_ = handle_.is_valid();
    name_ = name;
    return handle_.is_valid();
}

void RCEvent::Set()
{
    if (handle_)
        ::SetEvent(handle_.get());
}

void RCEvent::Reset()
{
    if (handle_)
        ::ResetEvent(handle_.get());
}

bool RCEvent::Wait(DWORD milliseconds)
{
    return handle_ && ::WaitForSingleObject(handle_.get(), milliseconds) == WAIT_OBJECT_0;
}

bool RCEvent::Wait(DWORD milliseconds, bool& timedOut)
{
    timedOut = false;
    if (!handle_)
        return false;
    const DWORD result = ::WaitForSingleObject(handle_.get(), milliseconds);
    timedOut = result == WAIT_TIMEOUT;
    return result == WAIT_OBJECT_0;
}

bool RCEvent::Wait()
{
    return Wait(INFINITE);
}

void RCEvent::Close()
{
    handle_.reset();
}

} // namespace RC
