#pragma once

#include "foundation/RCHandles.h"
#include "foundation/RCNonCopyable.h"

#include <string>

// A named Win32 mutex shared between processes. If it cannot be created,
// locks acquire nothing and the guarded work runs unlocked: losing the
// cross-process order is better than losing the work.
class RCMutex : private RC::RCNonCopyable {
public:
    RCMutex() = default;

    // Not initially owned. A handle already held is closed first.
    bool Create(const std::wstring& name, SECURITY_ATTRIBUTES* security);

    HANDLE GetHandle() const { return handle_.get(); }
    bool IsLocked() const { return locked_; }
    bool AlreadyExisted() const { return alreadyExisted_; }

private:
    friend class RCMutexLock;

    RC::unique_handle handle_;
    bool locked_ = false;
    bool alreadyExisted_ = false;
};

// Holds an RCMutex for the life of a scope, waiting without limit. A mutex
// abandoned by a process that died holding it counts as acquired.
class RCMutexLock : private RC::RCNonCopyable {
public:
    explicit RCMutexLock(RCMutex* mutex);
    ~RCMutexLock();

    bool Acquired() const { return acquired_; }

private:
    RCMutex* mutex_;
    bool acquired_ = false;
};
