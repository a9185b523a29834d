#include "foundation/RCMutex.h"

bool RCMutex::Create(const std::wstring& name, SECURITY_ATTRIBUTES* security)
{
    handle_.reset();
    handle_.reset(::CreateMutexW(security, FALSE, name.empty() ? nullptr : name.c_str()));
    alreadyExisted_ = ::GetLastError() == ERROR_ALREADY_EXISTS;
    return handle_.is_valid();
}

RCMutexLock::RCMutexLock(RCMutex* mutex) : mutex_(mutex)
{
    if (!mutex_ || !mutex_->handle_)
        return;
    const DWORD result = ::WaitForSingleObject(mutex_->handle_.get(), INFINITE);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
        acquired_ = true;
        mutex_->locked_ = true;
    }
}

RCMutexLock::~RCMutexLock()
{
    if (!acquired_)
        return;
    ::ReleaseMutex(mutex_->handle_.get());
    mutex_->locked_ = false;
}
