#include "foundation/RCSingletonLock.h"

RCCriticalSection& RCSingletonLock::Get()
{
    // A function-level static, so that a singleton built during another
    // file's static initialisation still finds the lock constructed.
    static RCCriticalSection s_lock;
    return s_lock;
}

namespace {
// Creates the lock while the library loads, before any worker thread exists.
const bool s_lockCreated = (RCSingletonLock::Get(), true);
} // namespace
