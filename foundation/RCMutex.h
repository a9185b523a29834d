#pragma once

#include "foundation/RCHandles.h"
#include "foundation/RCNonCopyable.h"

#include <string>

// A named Win32 mutex shared between processes. If it cannot be created,
// locks acquire nothing and the guarded work runs unlocked: losing the
// cross-process order is better than losing the work.
class RCMutex : private RC::RCNonCopyable
{
public:
    RCMutex() = default;

    // Not initially owned. A handle already held is closed first.
    bool Create(const std::wstring& name, SECURITY_ATTRIBUTES* security);

    HANDLE GetHandle() const { return m_handle.get(); }
    bool IsLocked() const { return m_locked; }
    bool AlreadyExisted() const { return m_alreadyExisted; }

private:
    friend class RCMutexLock;

    RC::unique_handle m_handle;
    bool m_locked = false;
    bool m_alreadyExisted = false;
};

// Holds an RCMutex for the life of a scope, waiting without limit. A mutex
// abandoned by a process that died holding it counts as acquired.
class RCMutexLock : private RC::RCNonCopyable
{
public:
    explicit RCMutexLock(RCMutex* mutex);
    ~RCMutexLock();

    bool Acquired() const { return m_acquired; }

private:
    RCMutex* m_mutex;
    bool m_acquired = false;
};
